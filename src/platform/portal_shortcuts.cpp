#include "platform/portal_shortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QRegularExpression>

#include <cstdio>

#include <unistd.h>

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";

// What the portal hands back is held to these sizes.
constexpr int kMaxPathLength = 255;
constexpr int kMaxResults = 64;
constexpr int kMaxIdLength = 64;

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

}  // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace platform {
namespace {

bool ValidObjectPath(const QString& path) {
    static const QRegularExpression form("^(/[A-Za-z0-9_]+)+$");
    return path.size() <= kMaxPathLength && form.match(path).hasMatch();
}

// An object path sent as 'o' or, by some portals, as 's'; empty when it is neither or malformed.
QString ObjectPathOf(const QVariant& value) {
    QString path;
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        path = value.value<QDBusObjectPath>().path();
    else if (value.metaType() == QMetaType::fromType<QString>())
        path = value.toString();
    return ValidObjectPath(path) ? path : QString();
}

// Where the portal answers a request carrying `token` from this connection.
QString RequestPath(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService();
    sender.remove(0, sender.startsWith(':') ? 1 : 0).replace('.', '_');
    return QString(kPortalPath) + "/request/" + sender + "/" + token;
}

}  // namespace

PortalShortcuts::PortalShortcuts(QObject* parent) : QObject(parent) {
    requestTimer_.setSingleShot(true);
    connect(&requestTimer_, &QTimer::timeout, this, [this] {
        // The portal keeps the request open no longer than we wait for it.
        QDBusMessage close =
            QDBusMessage::createMethodCall(kPortal, requestPath_, kRequestInterface, "Close");
        QDBusConnection::sessionBus().send(close);
        GiveUp("the desktop portal did not answer in time");
    });
}

PortalShortcuts::~PortalShortcuts() {
    if (!sessionPath_.isEmpty())
        QDBusConnection::sessionBus().send(
            QDBusMessage::createMethodCall(kPortal, sessionPath_, kSessionInterface, "Close"));
}

QString PortalShortcuts::NewToken() {
    return QString("quillet%1_%2").arg(getpid()).arg(++tokens_);
}

void PortalShortcuts::Register(std::vector<Shortcut> shortcuts) {
    if (state_ != State::kIdle) return;
    shortcuts_ = std::move(shortcuts);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    state_ = State::kAsking;
    // Only a portal that names a version of the interface offers it.
    QDBusMessage ask = QDBusMessage::createMethodCall(kPortal, kPortalPath,
                                                      "org.freedesktop.DBus.Properties", "Get");
    ask << QString(kShortcutsInterface) << QString("version");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask, kReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusMessage reply = call->reply();
                bool offered = false;
                if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
                    const QVariant version = reply.arguments()[0].value<QDBusVariant>().variant();
                    offered =
                        version.metaType() == QMetaType::fromType<uint>() && version.toUInt() >= 1;
                }
                if (!offered) {
                    state_ = State::kGivenUp;  // the desktop's own key settings are the way
                    return;
                }
                CreateSession();
            });
}

void PortalShortcuts::CreateSession() {
    state_ = State::kCreating;
    QVariantMap options;
    options["handle_token"] = NewToken();
    options["session_handle_token"] = NewToken();
    CallWithRequest("CreateSession", {options}, kSessionTimeoutMs);
}

void PortalShortcuts::BindShortcuts() {
    state_ = State::kBinding;
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        return true;
    }();
    (void)registered;
    QList<PortalShortcut> list;
    for (const Shortcut& shortcut : shortcuts_)
        list.append({shortcut.id,
                     {{"description", shortcut.description},
                      {"preferred_trigger", shortcut.preferredTrigger}}});
    QVariantMap options;
    options["handle_token"] = NewToken();
    QDBusConnection::sessionBus().connect(kPortal, kPortalPath, kShortcutsInterface, "Activated",
                                          this, SLOT(OnActivated(QDBusMessage)));
    CallWithRequest("BindShortcuts",
                    {QVariant::fromValue(QDBusObjectPath(sessionPath_)), QVariant::fromValue(list),
                     QString(), options},
                    kBindTimeoutMs);
}

void PortalShortcuts::CallWithRequest(const QString& method, const QVariantList& arguments,
                                      int timeoutMs) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QVariantMap options = arguments.back().toMap();
    // Listening before the call: the answer may come before the call's reply.
    const QString expected = RequestPath(bus, options.value("handle_token").toString());
    ListenToRequest(expected);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kPortal, kPortalPath, kShortcutsInterface, method);
    call.setArguments(arguments);
    requestTimer_.start(timeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method, expected](QDBusPendingCallWatcher* pending) {
                pending->deleteLater();
                // Answered already (or given up): the reply has nothing more to say.
                if (requestPath_ != expected) return;
                const QDBusMessage reply = pending->reply();
                if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
                    GiveUp(qPrintable("the desktop portal refused " + method + ": " +
                                      reply.errorMessage().left(200)));
                    return;
                }
                const QString handle = ObjectPathOf(reply.arguments()[0]);
                if (handle.isEmpty()) {
                    GiveUp("the desktop portal's answer was malformed");
                    return;
                }
                // Older portals choose the request's path themselves.
                if (handle != expected) ListenToRequest(handle);
            });
}

void PortalShortcuts::ListenToRequest(const QString& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!requestPath_.isEmpty())
        bus.disconnect(kPortal, requestPath_, kRequestInterface, "Response", this,
                       SLOT(OnResponse(QDBusMessage)));
    requestPath_ = path;
    if (!path.isEmpty())
        bus.connect(kPortal, requestPath_, kRequestInterface, "Response", this,
                    SLOT(OnResponse(QDBusMessage)));
}

void PortalShortcuts::OnResponse(const QDBusMessage& message) {
    if (message.path() != requestPath_) return;
    if (state_ != State::kCreating && state_ != State::kBinding) return;
    requestTimer_.stop();
    ListenToRequest(QString());
    const QVariantList arguments = message.arguments();
    if (arguments.size() != 2 || arguments[0].metaType() != QMetaType::fromType<uint>() ||
        arguments[1].metaType() != QMetaType::fromType<QDBusArgument>()) {
        GiveUp("the desktop portal's answer was malformed");
        return;
    }
    const QDBusArgument resultsArgument = arguments[1].value<QDBusArgument>();
    if (resultsArgument.currentSignature() != "a{sv}") {
        GiveUp("the desktop portal's answer was malformed");
        return;
    }
    QVariantMap results;
    resultsArgument >> results;
    if (results.size() > kMaxResults) {
        GiveUp("the desktop portal's answer was too large");
        return;
    }
    if (arguments[0].toUInt() != 0) {
        // The user said no, or the desktop would not: its own key settings are the way then.
        GiveUp(state_ == State::kBinding ? "the desktop did not take Quillet's keys"
                                         : "the desktop portal opened no session");
        return;
    }
    if (state_ == State::kCreating) {
        sessionPath_ = ObjectPathOf(results.value("session_handle"));
        if (sessionPath_.isEmpty()) {
            GiveUp("the desktop portal named no session");
            return;
        }
        BindShortcuts();
        return;
    }
    state_ = State::kBound;
}

void PortalShortcuts::OnActivated(const QDBusMessage& message) {
    if (state_ != State::kBound) return;
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2 || ObjectPathOf(arguments[0]) != sessionPath_ ||
        arguments[1].metaType() != QMetaType::fromType<QString>())
        return;
    const QString id = arguments[1].toString();
    if (id.size() > kMaxIdLength) return;
    for (const Shortcut& shortcut : shortcuts_)
        if (shortcut.id == id) emit activated(id);
}

void PortalShortcuts::GiveUp(const char* reason) {
    requestTimer_.stop();
    ListenToRequest(QString());
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(kPortal, kPortalPath, kShortcutsInterface, "Activated", this,
                   SLOT(OnActivated(QDBusMessage)));
    if (!sessionPath_.isEmpty()) {
        bus.send(QDBusMessage::createMethodCall(kPortal, sessionPath_, kSessionInterface, "Close"));
        sessionPath_.clear();
    }
    state_ = State::kGivenUp;
    std::fprintf(stderr, "Quillet goes on without desktop-wide keys: %s.\n", reason);
}

}  // namespace platform
