#include "app/remote_command.h"

#include "app/properties_dlg.h"
#include "app/quillet_app.h"
#include "capture/capture_options.h"
#include "capture/mw.h"
#include "editor/doc_template.h"
#include "editor/main_frame.h"
#include "ids.h"
#include "panel/control_panel.h"
#include "platform/screen_grab.h"
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
#include <QSysInfo>
#include <QThread>
#include <QtEndian>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
constexpr char kHasTray[] = "tray";  // a plain second start is refused as before

const std::map<QString, int> kCaptureKinds = {
    {"desktop", ids::kCmdScreen},      {"rectangle", ids::kCmdRectangle},
    {"window", ids::kCmdPickWindow},   {"client", ids::kCmdPickClient},
    {"control", ids::kCmdPickControl}, {"dropdown", ids::kCmdPickDropdown},
    {"page", ids::kCmdWholePage},
};

// A folder of our own with no access for anyone else, made when missing.
bool IsPrivateFolder(const QString& path) {
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & 077) == 0;
}

// The folder, made private when missing; false when it is someone else's or open to others.
bool TakePrivateFolder(const QString& path) {
    mkdir(QFile::encodeName(path).constData(), 0700);
    return IsPrivateFolder(path);
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

    // One caller at a time may start the instance: the others wait here, and then find it
    // running and hand it their commands.
    QLockFile starting(StartLockPath());
    starting.setStaleLockTime(0);
    if (!starting.tryLock(kStartTimeoutMs)) return false;
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
        // The id startDetached gives may be gone while the instance it started lives on and
        // holds the lock (a start without a tray takes a few seconds before it listens).
        if (started != 0 && !ProcessAlive(started) && !InstanceHoldsLock()) return false;
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

bool IsCaptureDelay(int seconds) {
    return seconds >= 0 && seconds <= CaptureOptions::kMaxDelaySeconds;
}

QString RuntimeFolder() {
    const QString desktop = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!desktop.isEmpty() && IsPrivateFolder(desktop)) return desktop;
    // No usable runtime folder: one of our own beside the other users' temporary files. Anyone
    // may have made that name first, so it counts only when it is ours and closed to others;
    // otherwise a folder in the user's own cache, which no one else can make.
    const QString temporary = QDir::tempPath() + QString("/quillet-%1").arg(getuid());
    if (TakePrivateFolder(temporary)) return temporary;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache)) return {};
    // Named after the machine: a home folder shared between machines holds one per machine.
    const QString own = cache + "/quillet-runtime-" + QSysInfo::machineHostName();
    return TakePrivateFolder(own) ? own : QString();
}

QString RuntimeFolderProblem() {
    return QString(
               "Quillet needs a folder that only you can use for its lock and its command "
               "socket: XDG_RUNTIME_DIR is %1, and %2/quillet-%3 and the quillet-runtime folder "
               "in %4 belong to another user or are open to others.")
        .arg(qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") ? "not set" : "not private",
             QDir::tempPath(), QString::number(getuid()),
             QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
}

QString SocketPath() {
    return RuntimeFolder() + '/' + kName + ".socket";
}

QString LockPath() {
    return RuntimeFolder() + '/' + kName + ".lock";
}

QString StartLockPath() {
    return RuntimeFolder() + '/' + kName + ".start.lock";
}

namespace {

void Send(QLocalSocket& socket, const Command& command) {
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    QStringList flags;
    if (command.wait) flags << "wait";
    if (command.delay >= 0) flags << QString("delay=%1").arg(command.delay);
    if (command.pointer) flags << "pointer";
    out << (QList<QByteArray>{command.verb.toUtf8(), command.argument.toUtf8(),
                              flags.join(' ').toUtf8()} +
            command.files);
    QByteArray framed;
    QDataStream frame(&framed, QIODevice::WriteOnly);
    frame << message;
    socket.write(framed);
    socket.flush();
}

}  // namespace

bool ShowPanelOfInstanceWithoutTray() {
    if (!IsPrivateFolder(RuntimeFolder())) return false;
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(kReplyTimeoutMs)) return false;
    Send(socket, Command{"start", {}, {}, false});
    const std::optional<QByteArray> reply = ReadLine(socket, kReplyTimeoutMs);
    return reply && *reply == kAccepted;
}

int RunClient(const Command& command, const std::string& folder) {
    int argc = 1;
    char name[] = "quillet";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    if (RuntimeFolder().isEmpty()) {
        std::fprintf(stderr, "quillet: %s\n", qPrintable(RuntimeFolderProblem()));
        return kExitCancelled;
    }
    // On Wayland the page is the browser's visible one: no pick.
    if (command.verb == "capture" && command.argument != "desktop" &&
        command.argument != "rectangle" && command.argument != "page" &&
        platform::RunsOnWayland()) {
        std::fprintf(stderr, "quillet: %s\n", platform::kWaylandNoPickReason);
        return kExitCancelled;
    }
    QLocalSocket socket;
    if (!Connect(socket, folder)) {
        std::fprintf(stderr, "quillet: Quillet could not be started or reached\n");
        return kExitCancelled;
    }
    Send(socket, command);

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
        if (!PeerIsUser(socket, owner_) || !MakeRoom()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setReadBufferSize(kMaxMessageBytes + 4);
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->setInterval(kIdleTimeoutMs);
        connect(idle, &QTimer::timeout, this, [this, socket] { Drop(socket); });
        idle->start();
        connections_.push_back({socket, idle});
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { Forget(socket); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        if (socket->bytesAvailable() > 0) Read(socket);
    }
}

// At the cap the oldest connection still sending its command gives way; connections waiting for
// a capture's end are kept, and a newcomer is refused when they fill every place.
bool CCommandServer::MakeRoom() {
    if (connections_.size() < static_cast<std::size_t>(kMaxConnections)) return true;
    for (const Connection& connection : connections_) {
        if (connection.idle) {
            Drop(connection.socket);
            return true;
        }
    }
    return false;
}

void CCommandServer::Drop(QLocalSocket* socket) {
    Forget(socket);
    socket->abort();
    socket->deleteLater();
}

void CCommandServer::Forget(QLocalSocket* socket) {
    std::erase_if(connections_, [socket](const Connection& c) { return c.socket == socket; });
}

std::optional<QList<QByteArray>> ReadFields(const QByteArray& message) {
    const auto* bytes = reinterpret_cast<const uchar*>(message.constData());
    const qsizetype size = message.size();
    qsizetype offset = 0;
    auto number = [&](quint32& value) {
        if (size - offset < 4) return false;
        value = qFromBigEndian<quint32>(bytes + offset);
        offset += 4;
        return true;
    };
    quint32 count = 0;
    // Each field takes four bytes at least, so a count past that is a lie.
    if (!number(count) || count > static_cast<quint32>(size - offset) / 4) return std::nullopt;
    QList<QByteArray> fields;
    fields.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        quint32 length = 0;
        if (!number(length)) return std::nullopt;
        if (length == 0xFFFFFFFFu) {  // a null array
            fields << QByteArray();
            continue;
        }
        if (length > static_cast<quint32>(size - offset)) return std::nullopt;
        fields << message.mid(offset, length);
        offset += length;
    }
    return fields;
}

// A message is its length (four bytes, as QDataStream frames a byte array) and then its bytes.
// The length is looked at as soon as it is in, so an oversized message is refused before any of
// it is kept, and the bytes are taken once, when all are in.
void CCommandServer::Read(QLocalSocket* socket) {
    const auto found = std::find_if(connections_.begin(), connections_.end(),
                                    [socket](const Connection& c) { return c.socket == socket; });
    if (found == connections_.end() || !found->idle) return;
    found->idle->start();
    if (found->expected < 0) {
        if (socket->bytesAvailable() < 4) return;
        const quint32 length = qFromBigEndian<quint32>(socket->read(4).constData());
        // 0xFFFFFFFF (a null array) is beyond the limit as well.
        if (length > kMaxMessageBytes) {
            Drop(socket);
            return;
        }
        found->expected = length;
    }
    if (socket->bytesAvailable() < found->expected) return;
    const QByteArray message = socket->read(found->expected);
    delete found->idle;
    found->idle = nullptr;
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    Answer(socket, message);
}

void CCommandServer::Answer(QLocalSocket* socket, const QByteArray& message) {
    const std::optional<QList<QByteArray>> fields = ReadFields(message);
    if (!fields || fields->size() < 3) {
        Drop(socket);
        return;
    }
    Command command{QString::fromUtf8((*fields)[0]), QString::fromUtf8((*fields)[1]),
                    fields->mid(3)};
    bool flagsKnown = true;
    for (const QString& flag : QString::fromUtf8((*fields)[2]).split(' ', Qt::SkipEmptyParts)) {
        bool number = false;
        if (flag == "wait") {
            command.wait = true;
        } else if (flag == "pointer") {
            command.pointer = true;
        } else if (flag.startsWith("delay=")) {
            command.delay = flag.mid(6).toInt(&number);
            flagsKnown = flagsKnown && number && IsCaptureDelay(command.delay);
        } else {
            flagsKnown = false;
        }
    }
    const bool known =
        flagsKnown &&
        (command.verb == "capture"
             ? kCaptureKinds.contains(command.argument)
             : QStringList{"open", "show", "properties", "quit", "start"}.contains(command.verb));
    if (!known) {
        Drop(socket);
        return;
    }
    if (command.verb == "start" && App()->HasTray()) {
        WriteLine(socket, kHasTray);
        return;
    }
    if (executing_ || Busy()) {
        WriteLine(socket, kBusy);
        socket->disconnectFromServer();
        return;
    }
    WriteLine(socket, kAccepted);
    executing_ = true;
    QPointer<QLocalSocket> waiting = command.wait ? socket : nullptr;
    // Only a capture's caller waits for more; any other connection ends with its answer.
    if (!command.wait) socket->disconnectFromServer();
    // Carried out from the event loop, not inside the socket's notification.
    QTimer::singleShot(0, this, [this, command, waiting] { Execute(command, waiting); });
}

void CCommandServer::Execute(const Command& command, QPointer<QLocalSocket> waiting) {
    CQuilletApp* app = App();
    CMW* coordinator = app->coordinator();
    CControlPanel* panel = app->panel();
    executing_ = false;
    if (command.verb == "show" || command.verb == "start") {
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
        for (const QByteArray& file : command.files) {
            if (DocTemplate()) DocTemplate()->OpenDocumentPath(file.toStdString());
        }
    } else if (command.verb == "capture") {
        executing_ = true;
        lastCapture_.clear();
        QMetaObject::Connection stored;
        if (panel)
            stored = connect(panel->preview(), &CCapturePreviewDlg::captureStored, this,
                             [this, waiting](const QString& path) {
                                 lastCapture_ = path;
                                 // The caller hears of the file once it is written and listed,
                                 // not when the panel is back.
                                 FinishCapture(waiting);
                             });
        const int id = kCaptureKinds.at(command.argument);
        // The command's own options hold for this capture only.
        CaptureOptions options = CaptureOptions::Load();
        if (command.delay >= 0) options.delaySeconds = command.delay;
        if (command.pointer) options.pointer = true;
        coordinator->SetCommandOptions(options);
        // The desktop and the picks are done when their command returns; the rectangle when
        // its overlay closes.
        if (id == ids::kCmdScreen || id == ids::kCmdRectangle)
            coordinator->onCommand(id);
        else if (panel)
            panel->onCommand(id);
        coordinator->SetCommandOptions(std::nullopt);
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
