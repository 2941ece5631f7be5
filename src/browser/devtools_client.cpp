#include "browser/devtools_client.h"

#include "platform/fixed_wait.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QWebSocket>

#include <cstdlib>

namespace devtools {

namespace {

// Runs a local loop until `done` holds or the time is up; input stays queued meanwhile.
template <typename Connect>
void WaitFor(int timeoutMs, Connect&& connect) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(loop);
    timer.start(timeoutMs);
    const platform::InputHold hold;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

int EndpointPort() {
    if (const char* text = std::getenv("QUILLET_CDP_PORT")) {
        char* end = nullptr;
        const long port = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && port > 0 && port < 65536) return int(port);
    }
    return 9222;
}

std::optional<QByteArray> HttpGet(int port, const QString& path, int timeoutMs) {
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QString("http://127.0.0.1:%1%2").arg(port).arg(path)));
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = manager.get(request);
    QByteArray body;
    bool tooLarge = false;
    bool finished = false;
    WaitFor(timeoutMs, [&](QEventLoop& loop) {
        QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
            body += reply->readAll();
            if (body.size() > kMaxHttpBytes) {
                tooLarge = true;
                reply->abort();
            }
        });
        QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
            finished = true;
            loop.quit();
        });
    });
    if (!finished) reply->abort();
    if (finished && !tooLarge) body += reply->readAll();
    const bool ok = finished && !tooLarge && reply->error() == QNetworkReply::NoError &&
                    body.size() <= kMaxHttpBytes;
    delete reply;
    if (!ok) return std::nullopt;
    return body;
}

Session::Session() = default;

Session::~Session() {
    if (socket_) socket_->abort();
}

bool Session::IsOpen() const {
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

bool Session::Open(int port, const QString& path, int timeoutMs) {
    // An empty origin: the handshake goes without an Origin header, which browsers accept
    // from tools on the same machine.
    socket_ = std::make_unique<QWebSocket>(QString(), QWebSocketProtocol::VersionLatest);
    socket_->setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
    socket_->setMaxAllowedIncomingFrameSize(kMaxMessageBytes);
    QWebSocket* socket = socket_.get();
    WaitFor(timeoutMs, [&](QEventLoop& loop) {
        QObject::connect(socket, &QWebSocket::connected, &loop, &QEventLoop::quit);
        QObject::connect(socket, &QWebSocket::disconnected, &loop, &QEventLoop::quit);
        QObject::connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error),
                         &loop, &QEventLoop::quit);
        socket->open(QUrl(QString("ws://127.0.0.1:%1/devtools/%2").arg(port).arg(path)));
    });
    if (IsOpen()) return true;
    socket_->abort();
    socket_.reset();
    return false;
}

std::optional<QJsonObject> Session::Call(const QString& method, const QJsonObject& params,
                                         int timeoutMs) {
    if (!IsOpen()) return std::nullopt;
    const int id = nextId_++;
    QJsonObject message{{"id", id}, {"method", method}};
    if (!params.isEmpty()) message["params"] = params;
    std::optional<QJsonObject> result;
    bool answered = false;
    QWebSocket* socket = socket_.get();
    QMetaObject::Connection received;
    WaitFor(timeoutMs, [&](QEventLoop& loop) {
        received = QObject::connect(
            socket, &QWebSocket::textMessageReceived, &loop, [&](const QString& text) {
                const QJsonObject answer = QJsonDocument::fromJson(text.toUtf8()).object();
                if (answer.value("id").toInt(-1) != id) return;  // events and stale answers
                answered = true;
                if (answer.contains("result")) result = answer.value("result").toObject();
                loop.quit();
            });
        QObject::connect(socket, &QWebSocket::disconnected, &loop, &QEventLoop::quit);
        socket->sendTextMessage(
            QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    });
    QObject::disconnect(received);
    if (!answered) {
        socket_->abort();
        socket_.reset();
    }
    return result;
}

std::optional<QJsonValue> Session::Evaluate(const QString& expression, int contextId, int timeoutMs,
                                            bool awaitPromise) {
    QJsonObject params{{"expression", expression}, {"returnByValue", true}};
    if (awaitPromise) params["awaitPromise"] = true;
    if (contextId) params["contextId"] = contextId;
    const std::optional<QJsonObject> result = Call("Runtime.evaluate", params, timeoutMs);
    if (!result || result->contains("exceptionDetails")) return std::nullopt;
    return result->value("result").toObject().value("value");
}

}  // namespace devtools
