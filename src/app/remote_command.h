#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

class QLocalServer;
class QLocalSocket;
class QTimer;

// Commands handed to the running program from the command line: a capture, files to open, the
// panel, the properties, the end of the program.
namespace remote {

// Exit statuses of a command-line call.
inline constexpr int kExitDone = 0;
inline constexpr int kExitCancelled = 1;  // also: the instance could not be started or reached
inline constexpr int kExitUsage = 2;
inline constexpr int kExitBusy = 3;

struct Command {
    // "capture", "open", "show", "properties", "quit", "start" (a plain second start); empty: none
    QString verb;
    QString argument;         // the capture's kind
    QList<QByteArray> files;  // absolute paths for "open", as the bytes the system names them by
    bool wait = false;
    int delay = -1;        // a capture's delay in seconds; -1: as the options say
    bool pointer = false;  // the capture includes the pointer whatever the options say
};

// One of the capture kinds --capture names (desktop, rectangle, window, client, control,
// dropdown).
bool IsCaptureKind(const QString& kind);
// A delay --delay accepts, in seconds.
bool IsCaptureDelay(int seconds);

// Limits on what a connection may cost the running instance.
inline constexpr int kMaxConnections = 16;
inline constexpr int kIdleTimeoutMs = 5000;
inline constexpr qint64 kMaxMessageBytes = 64 * 1024;

// The fields of a command message (a list of byte arrays as QDataStream writes it), read within
// the message's own bytes whatever counts it claims; nothing when it is malformed.
std::optional<QList<QByteArray>> ReadFields(const QByteArray& message);

// The user's runtime folder (private to the user, 0700), where the single-instance lock and the
// command socket live; a private folder under the temporary folder, or else in the user's cache,
// when the desktop names none. Empty when no private folder can be had.
QString RuntimeFolder();
// Why RuntimeFolder() is empty, for the user.
QString RuntimeFolderProblem();
QString SocketPath();
QString LockPath();
// Held by a command-line call while it starts the instance.
QString StartLockPath();

// The calling side: hands the command to the running instance, starting one in `folder` (the
// working folder when empty) first when none runs. Returns the process's exit status.
int RunClient(const Command& command, const std::string& folder);

// A plain second start: asks the running instance to bring its panel forward, which it does
// only when it runs without a tray. True when it did.
bool ShowPanelOfInstanceWithoutTray();

// The receiving side, owned by the running instance.
class CCommandServer : public QObject {
    Q_OBJECT

  public:
    // Takes commands from processes of the user `owner` only.
    explicit CCommandServer(uid_t owner = getuid(), QObject* parent = nullptr);
    ~CCommandServer() override;

    // Listens at the socket path; a socket left there by a crashed instance is replaced (only
    // the holder of the single-instance lock calls this).
    bool Listen(const QString& path);

    // True while a capture or a pick is under way, when every command is refused.
    static bool Busy();

  private:
    // An open connection, oldest first. `idle` runs while its command is still on its way and
    // closes the connection when nothing arrives in time; null once the command is in.
    struct Connection {
        QLocalSocket* socket;
        QTimer* idle;
        qint64 expected = -1;  // the message's length once its header is in
    };

    void Accept();
    bool MakeRoom();
    void Drop(QLocalSocket* socket);
    void Forget(QLocalSocket* socket);
    void Read(QLocalSocket* socket);
    void Answer(QLocalSocket* socket, const QByteArray& message);
    void Execute(const Command& command, QPointer<QLocalSocket> waiting);
    void FinishCapture(QPointer<QLocalSocket> waiting);

    QLocalServer* server_;
    std::vector<Connection> connections_;
    uid_t owner_;
    QString lastCapture_;  // the file of the last capture added while a command ran
    bool executing_ = false;
};

}  // namespace remote
