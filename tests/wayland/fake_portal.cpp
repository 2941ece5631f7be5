// A desktop portal for the tests: owns org.freedesktop.portal.Desktop on the session bus and
// offers GlobalShortcuts (version 1), or with --without-shortcuts no interface at all, or with
// --never-answer takes requests but never answers them. Every call it gets is written to LOG
// ("CALL interface.member"), every shortcut bound as
// "SHORTCUT id|description|preferred_trigger". org.quillet.test.FakePortal.Activate(s id) on the
// same object presses a bound shortcut: Activated goes out for the last session.
// Usage: fake_portal LOG [--without-shortcuts | --never-answer]
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace {

constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcuts = "org.freedesktop.portal.GlobalShortcuts";

class FakePortal : public QDBusVirtualObject {
  public:
    FakePortal(const QString& log, const QString& mode)
        : log_(log), offer_(mode != "--without-shortcuts"), answer_(mode != "--never-answer") {
        log_.open(QIODevice::WriteOnly | QIODevice::Append);
    }

    QString introspect(const QString&) const override {
        return offer_ ? QString(
                            "<interface name=\"%1\"><property name=\"version\" type=\"u\" "
                            "access=\"read\"/></interface>")
                            .arg(kShortcuts)
                      : QString();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        const QString member = message.interface() + "." + message.member();
        Log("CALL " + member);
        const QVariantList args = message.arguments();
        if (member == "org.freedesktop.DBus.Properties.Get" && args.size() == 2 && offer_ &&
            args[0].toString() == kShortcuts && args[1].toString() == "version") {
            bus.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
        } else if (offer_ && member == QString(kShortcuts) + ".CreateSession" && args.size() == 1) {
            const QVariantMap options = qdbus_cast<QVariantMap>(args[0]);
            session_ = Path("session", message, options.value("session_handle_token").toString());
            Answer(message, bus, options, {{"session_handle", session_}});
        } else if (offer_ && member == QString(kShortcuts) + ".BindShortcuts" && args.size() == 4) {
            const QDBusArgument list = args[1].value<QDBusArgument>();
            list.beginArray();
            while (!list.atEnd()) {
                QString id;
                QVariantMap properties;
                list.beginStructure();
                list >> id >> properties;
                list.endStructure();
                Log("SHORTCUT " + id + "|" + properties.value("description").toString() + "|" +
                    properties.value("preferred_trigger").toString());
            }
            list.endArray();
            Answer(message, bus, qdbus_cast<QVariantMap>(args[3]), {});
        } else if (member == "org.quillet.test.FakePortal.Activate" && args.size() == 1) {
            QDBusMessage activated = QDBusMessage::createSignal(kPath, kShortcuts, "Activated");
            activated << QVariant::fromValue(QDBusObjectPath(session_)) << args[0].toString()
                      << qulonglong(QDateTime::currentMSecsSinceEpoch())
                      << QVariant::fromValue(QVariantMap());
            bus.send(activated);
            bus.send(message.createReply());
        } else {
            bus.send(message.createErrorReply("org.freedesktop.DBus.Error.UnknownMethod",
                                              "no such method here: " + member));
        }
        return true;
    }

  private:
    static QString Path(const char* kind, const QDBusMessage& message, const QString& token) {
        QString sender = message.service().mid(1).replace('.', '_');
        return QString("%1/%2/%3/%4").arg(kPath, kind, sender, token);
    }

    // Replies with the request's path and answers through it a moment later, as portals do.
    void Answer(const QDBusMessage& message, const QDBusConnection& bus, const QVariantMap& options,
                const QVariantMap& results) {
        const QString request = Path("request", message, options.value("handle_token").toString());
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (!answer_) return;
        QTimer::singleShot(50, [bus, request, results] {
            QDBusMessage response =
                QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
            response << uint(0) << results;
            QDBusConnection(bus).send(response);
        });
    }

    void Log(const QString& line) {
        log_.write((line + "\n").toUtf8());
        log_.flush();
    }

    QFile log_;
    bool offer_;
    bool answer_;
    QString session_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: fake_portal LOG [--without-shortcuts | --never-answer]\n");
        return 2;
    }
    FakePortal portal(argv[1], argc > 2 ? argv[2] : "");
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The requests' and sessions' objects below it too.
    if (!bus.registerVirtualObject(kPath, &portal, QDBusConnection::SubPath) ||
        !bus.registerService("org.freedesktop.portal.Desktop")) {
        std::fprintf(stderr, "fake_portal: the portal's name or object is taken\n");
        return 1;
    }
    return app.exec();
}
