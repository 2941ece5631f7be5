#include "app/remote_command.h"

#include "app/properties_dlg.h"
#include "app/quillet_app.h"
#include "capture/mw.h"
#include "editor/doc_template.h"
#include "editor/main_frame.h"
#include "ids.h"
#include "panel/control_panel.h"
#include "workspace/capture_preview_dlg.h"

#include <QApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

namespace remote {

namespace {

constexpr const char* kName = "Quillet";
constexpr int kStartTimeoutMs = 30000;
constexpr int kReplyTimeoutMs = 10000;

// Replies of the running instance, one line each.
constexpr char kAccepted[] = "accepted";
constexpr char kBusy[] = "busy";
constexpr char kCaptured[] = "captured";
constexpr char kCancelled[] = "cancelled";

const std::map<QString, int> kCaptureKinds = {
    {"desktop", ids::kCmdScreen},      {"rectangle", ids::kCmdRectangle},
    {"window", ids::kCmdPickWindow},   {"client", ids::kCmdPickClient},
    {"control", ids::kCmdPickControl}, {"dropdown", ids::kCmdPickDropdown},
};

// A folder of our own with no access for anyone else, made when missing.
bool IsPrivateFolder(const QString& path) {
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & 077) == 0;
}

void WriteLine(QLocalSocket* socket, const QByteArray& line) {
    if (!socket || socket->state() != QLocalSocket::ConnectedState) return;
    socket->write(line + '\n');
    socket->flush();
}

// The peer's user as the kernel saw it when it connected.
bool PeerIsUser(QLocalSocket* socket, uid_t user) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    const int fd = static_cast<int>(socket->socketDescriptor());
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
    return length == sizeof credentials && credentials.uid == user;
}

bool ProcessAlive(qint64 pid) {
    return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// True when a live instance holds the single-instance lock.
bool InstanceHoldsLock() {
    QLockFile lock(LockPath());
    lock.setStaleLockTime(0);
    if (lock.tryLock(0)) {
        lock.unlock();
        return false;
    }
    return lock.error() == QLockFile::LockFailedError;
}

// Starts the program with no command, detached from the caller's output so that a caller
// reading our output sees its end when we exit; returns its process id or 0.
qint64 StartInstance(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return 0;
    QProcess process;
    process.setProgram(QString::fromStdString(self.string()));
    if (!folder.empty()) {
        const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
        process.setArguments({"--folder", QString::fromStdString(absolute.string())});
    }
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    return process.startDetached(&pid) ? pid : 0;
}

// Connects to the running instance, starting it first when none runs.
bool Connect(QLocalSocket& socket, const std::string& folder) {
    socket.connectToServer(SocketPath());
    if (socket.waitForConnected(kReplyTimeoutMs)) return true;

    qint64 started = 0;
    if (!InstanceHoldsLock()) {
        started = StartInstance(folder);
        if (started == 0) return false;
    }
    // A starting instance (ours or one already taking the lock) listens once it is up.
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired()) {
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(1000)) return true;
        if (started != 0 && !ProcessAlive(started)) return false;
        if (started == 0 && !InstanceHoldsLock()) return false;
        QThread::msleep(50);
    }
    return false;
}

CPropertiesDlg* OpenProperties() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<CPropertiesDlg*>(window); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

std::optional<QByteArray> ReadLine(QLocalSocket& socket, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!socket.canReadLine()) {
        if (socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0)
            return std::nullopt;
        if (deadline.hasExpired()) return std::nullopt;
        socket.waitForReadyRead(timeoutMs < 0 ? 1000
                                              : std::min<qint64>(1000, deadline.remainingTime()));
    }
    return socket.readLine().chopped(1);
}

}  // namespace

bool IsCaptureKind(const QString& kind) {
    return kCaptureKinds.contains(kind);
}

QString RuntimeFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!folder.isEmpty() && IsPrivateFolder(folder)) return folder;
    // No usable runtime folder: one of our own beside the other users' temporary files.
    folder = QDir::tempPath() + QString("/quillet-%1").arg(getuid());
    mkdir(QFile::encodeName(folder).constData(), 0700);
    return folder;
}

QString SocketPath() {
    return RuntimeFolder() + '/' + kName + ".socket";
}

QString LockPath() {
    return RuntimeFolder() + '/' + kName + ".lock";
}

int RunClient(const Command& command, const std::string& folder) {
    int argc = 1;
    char name[] = "quillet";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    if (!IsPrivateFolder(RuntimeFolder())) {
        std::fprintf(stderr, "quillet: the runtime folder %s is not private to this user\n",
                     qPrintable(RuntimeFolder()));
        return kExitCancelled;
    }
    QLocalSocket socket;
    if (!Connect(socket, folder)) {
        std::fprintf(stderr, "quillet: Quillet could not be started or reached\n");
        return kExitCancelled;
    }
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << (QStringList{command.verb, command.argument, command.wait ? "wait" : ""} +
            command.files);
    QByteArray framed;
    QDataStream frame(&framed, QIODevice::WriteOnly);
    frame << message;
    socket.write(framed);
    socket.flush();

    const std::optional<QByteArray> reply = ReadLine(socket, kReplyTimeoutMs);
    if (!reply) {
        std::fprintf(stderr, "quillet: Quillet did not answer\n");
        return kExitCancelled;
    }
    if (*reply == kBusy) {
        std::fprintf(stderr, "quillet: a capture is under way; the command was refused\n");
        return kExitBusy;
    }
    if (*reply != kAccepted) {
        std::fprintf(stderr, "quillet: Quillet refused the command\n");
        return kExitCancelled;
    }
    if (!command.wait) return kExitDone;

    // The capture takes as long as the user does.
    const std::optional<QByteArray> outcome = ReadLine(socket, -1);
    if (outcome && outcome->startsWith(QByteArray(kCaptured) + ' ')) {
        std::printf("%s\n", outcome->mid(sizeof kCaptured).constData());
        return kExitDone;
    }
    return kExitCancelled;
}

CCommandServer::CCommandServer(uid_t owner, QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), owner_(owner) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &CCommandServer::Accept);
}

CCommandServer::~CCommandServer() = default;

bool CCommandServer::Listen(const QString& path) {
    QLocalServer::removeServer(path);
    return server_->listen(path);
}

bool CCommandServer::Busy() {
    CQuilletApp* app = App();
    return app->picking != 0 || (app->coordinator() && app->coordinator()->CaptureUnderWay());
}

void CCommandServer::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsUser(socket, owner_)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        if (socket->bytesAvailable() > 0) Read(socket);
    }
}

void CCommandServer::Read(QLocalSocket* socket) {
    QDataStream in(socket);
    in.startTransaction();
    QByteArray message;
    in >> message;
    if (!in.commitTransaction()) return;  // the rest is still on its way
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);

    QStringList fields;
    QDataStream fieldStream(message);
    fieldStream >> fields;
    if (fields.size() < 3) {
        socket->abort();
        return;
    }
    Command command{fields[0], fields[1], fields.mid(3), fields[2] == "wait"};
    const bool known =
        command.verb == "capture"
            ? kCaptureKinds.contains(command.argument)
            : QStringList{"open", "show", "properties", "quit"}.contains(command.verb);
    if (!known) {
        socket->abort();
        return;
    }
    if (executing_ || Busy()) {
        WriteLine(socket, kBusy);
        return;
    }
    WriteLine(socket, kAccepted);
    executing_ = true;
    QPointer<QLocalSocket> waiting = command.wait ? socket : nullptr;
    // Carried out from the event loop, not inside the socket's notification.
    QTimer::singleShot(0, this, [this, command, waiting] { Execute(command, waiting); });
}

void CCommandServer::Execute(const Command& command, QPointer<QLocalSocket> waiting) {
    CQuilletApp* app = App();
    CMW* coordinator = app->coordinator();
    CControlPanel* panel = app->panel();
    executing_ = false;
    if (command.verb == "show") {
        coordinator->onCommand(ids::kCmdStart);
    } else if (command.verb == "quit") {
        coordinator->onCommand(ids::kCmdExit);
    } else if (command.verb == "properties") {
        // The dialog is modal: a second one would open on top of the first, inside its loop.
        if (CPropertiesDlg* open = OpenProperties()) {
            open->raise();
            open->activateWindow();
        } else {
            coordinator->onCommand(ids::kCmdProperties);
        }
    } else if (command.verb == "open") {
        if (CMainFrame* frame = app->mainFrame()) {
            frame->show();
            frame->raise();
            frame->activateWindow();
        }
        for (const QString& file : command.files) {
            if (DocTemplate()) DocTemplate()->OpenDocumentFile(file);
        }
    } else if (command.verb == "capture") {
        executing_ = true;
        lastCapture_.clear();
        QMetaObject::Connection stored;
        if (panel)
            stored = connect(panel->preview(), &CCapturePreviewDlg::captureStored, this,
                             [this](const QString& path) { lastCapture_ = path; });
        const int id = kCaptureKinds.at(command.argument);
        // The desktop and the picks are done when their command returns; the rectangle when
        // its overlay closes.
        if (id == ids::kCmdScreen || id == ids::kCmdRectangle)
            coordinator->onCommand(id);
        else if (panel)
            panel->onCommand(id);
        if (coordinator->CaptureUnderWay()) {
            connect(
                coordinator, &CMW::rectangleEnded, this,
                [this, socket = waiting, stored] {
                    disconnect(stored);
                    executing_ = false;
                    FinishCapture(socket);
                },
                Qt::SingleShotConnection);
            return;
        }
        disconnect(stored);
        executing_ = false;
        FinishCapture(waiting);
    }
}

void CCommandServer::FinishCapture(QPointer<QLocalSocket> waiting) {
    if (!waiting) return;
    WriteLine(waiting, lastCapture_.isEmpty()
                           ? QByteArray(kCancelled)
                           : QByteArray(kCaptured) + ' ' + QFile::encodeName(lastCapture_));
    waiting->disconnectFromServer();
}

}  // namespace remote
