#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <memory>
#include <optional>

class QWebSocket;

// A synchronous client of a Chromium-family browser's DevTools protocol on a loopback port.
// Every request has a timeout and every answer a size limit: a browser that is busy (an open
// alert() blocks evaluation), hung or hostile costs at most the timeout, never a hang. While a
// call waits, only non-input events are processed.
namespace devtools {

constexpr int kHttpTimeoutMs = 2000;
constexpr int kCallTimeoutMs = 4000;
constexpr qint64 kMaxHttpBytes = 4 << 20;
constexpr qint64 kMaxMessageBytes = 192 << 20;

// QUILLET_CDP_PORT, else 9222.
int EndpointPort();

// GET of a path on the loopback endpoint; nothing when it does not answer in time, answers with
// an error status or sends more than kMaxHttpBytes.
std::optional<QByteArray> HttpGet(int port, const QString& path, int timeoutMs = kHttpTimeoutMs);

// One WebSocket session with a target (a page or the browser itself).
class Session {
  public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Connects to ws://127.0.0.1:port/devtools/<path>; the handshake carries no Origin header.
    bool Open(int port, const QString& path, int timeoutMs = kHttpTimeoutMs);
    bool IsOpen() const;

    // Sends a command and waits for its result; nothing on an error, a timeout or a closed
    // connection. A timed-out session is closed: its answer could arrive out of order later.
    std::optional<QJsonObject> Call(const QString& method, const QJsonObject& params = {},
                                    int timeoutMs = kCallTimeoutMs);

    // Evaluates an expression (in the execution context when it is not 0) and returns its value
    // by value, a promise's once it settles when `awaitPromise`; nothing when the call fails or
    // the expression throws.
    std::optional<QJsonValue> Evaluate(const QString& expression, int contextId = 0,
                                       int timeoutMs = kCallTimeoutMs, bool awaitPromise = false);

  private:
    std::unique_ptr<QWebSocket> socket_;
    int nextId_ = 1;
};

}  // namespace devtools
