#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <vector>

namespace platform {

// Keys for the whole desktop in a Wayland session, where no program may hold keys itself: the
// desktop portal's GlobalShortcuts interface binds them for us (the desktop may ask the user
// first, or let them choose other keys). Where the portal does not offer that interface nothing
// is asked and nothing is said: the desktop's own key settings are the way then.
class PortalShortcuts : public QObject {
    Q_OBJECT

  public:
    struct Shortcut {
        QString id;                // e.g. "desktop"
        QString description;       // as the desktop shows it to the user
        QString preferredTrigger;  // e.g. "SHIFT+Print"
    };

    // Waits for each of the portal's answers at most this long; binding may wait on the user.
    static constexpr int kReplyTimeoutMs = 5000;
    static constexpr int kSessionTimeoutMs = 10000;
    static constexpr int kBindTimeoutMs = 120000;

    explicit PortalShortcuts(QObject* parent = nullptr);
    ~PortalShortcuts() override;
    PortalShortcuts(const PortalShortcuts&) = delete;
    PortalShortcuts& operator=(const PortalShortcuts&) = delete;

    // Asks the portal on the session bus for the shortcuts; returns at once, the rest follows
    // from the event loop.
    void Register(std::vector<Shortcut> shortcuts);
    // The portal took the shortcuts.
    bool Bound() const { return state_ == State::kBound; }

  signals:
    // One of the shortcuts was pressed.
    void activated(const QString& id);

  private slots:
    void OnResponse(const QDBusMessage& message);
    void OnActivated(const QDBusMessage& message);

  private:
    enum class State { kIdle, kAsking, kCreating, kBinding, kBound, kGivenUp };

    void CreateSession();
    void BindShortcuts();
    // Calls a portal method that answers through a Request object, waiting for the answer at
    // most `timeoutMs`.
    void CallWithRequest(const QString& method, const QVariantList& arguments, int timeoutMs);
    void ListenToRequest(const QString& path);
    void GiveUp(const char* reason);
    QString NewToken();

    State state_ = State::kIdle;
    std::vector<Shortcut> shortcuts_;
    QString requestPath_;
    QString sessionPath_;
    QTimer requestTimer_;
    int tokens_ = 0;
};

}  // namespace platform
