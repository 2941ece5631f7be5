#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <string>

#include <sys/types.h>
#include <unistd.h>

class QLocalServer;
class QLocalSocket;

// Commands handed to the running program from the command line: a capture, files to open, the
// panel, the properties, the end of the program.
namespace remote {

// Exit statuses of a command-line call.
inline constexpr int kExitDone = 0;
inline constexpr int kExitCancelled = 1;  // also: the instance could not be started or reached
inline constexpr int kExitUsage = 2;
inline constexpr int kExitBusy = 3;

struct Command {
    QString verb;       // "capture", "open", "show", "properties", "quit"; empty: none given
    QString argument;   // the capture's kind
    QStringList files;  // absolute paths for "open"
    bool wait = false;
};

// One of the capture kinds --capture names (desktop, rectangle, window, client, control,
// dropdown).
bool IsCaptureKind(const QString& kind);

// The user's runtime folder (private to the user, 0700), where the single-instance lock and the
// command socket live; a private folder under the temporary folder when the desktop names none.
QString RuntimeFolder();
QString SocketPath();
QString LockPath();

// The calling side: hands the command to the running instance, starting one in `folder` (the
// working folder when empty) first when none runs. Returns the process's exit status.
int RunClient(const Command& command, const std::string& folder);

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
    void Accept();
    void Read(QLocalSocket* socket);
    void Execute(const Command& command, QPointer<QLocalSocket> waiting);
    void FinishCapture(QPointer<QLocalSocket> waiting);

    QLocalServer* server_;
    uid_t owner_;
    QString lastCapture_;  // the file of the last capture added while a command ran
    bool executing_ = false;
};

}  // namespace remote
