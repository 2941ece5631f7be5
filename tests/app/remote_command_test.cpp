// Commands handed to the running program from a second process, as scripts and key bindings do.
#include "app/remote_command.h"
#include "editor/editor_fixture.h"
#include "support/program_run.h"
#include "support/x11_input.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPaintEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QWidget>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QtEndian>

#include <X11/extensions/Xfixes.h>

#include <algorithm>

#include <X11/Xlib.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A command-line call beside the instance, with the instance's environment.
struct Call {
    explicit Call(const TempFolder& home, const QStringList& arguments,
                  const QString& program = QUILLET_BINARY)
        : env(home) {
        process.setProcessEnvironment(env.process().processEnvironment());
        process.setWorkingDirectory(home.path());
        process.setProgram(program);
        process.setArguments(arguments);
        process.start();
    }
    // The exit status, or -1 when the call did not end in time.
    int Finish(int timeoutMs = 20000) {
        testx11::PumpUntil([this] { return process.state() == QProcess::NotRunning; }, timeoutMs);
        if (process.state() != QProcess::NotRunning) return -1;
        output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        errors = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    ProgramRun env;  // only lends its environment
    QProcess process;
    QString output, errors;
};

int RunCall(const TempFolder& home, const QStringList& arguments) {
    return Call(home, arguments).Finish();
}

int FullScreenWindows() {
    const QSize screen = testx11::GrabScreen().size();
    int count = 0;
    for (unsigned long window : testx11::FindViewableWindows("quillet"))
        if (testx11::WindowScreenRect(window).size() == screen) ++count;
    return count;
}

// A socket file with nobody listening, as a crashed instance leaves it.
bool LeaveStaleSocket(const QString& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound && QFile::exists(path);
}

// Visible windows titled `title`, as the window manager lists them.
int WindowsNamed(const QString& title) {
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--name", '^' + title + '$'});
    search.waitForFinished(5000);
    return static_cast<int>(search.readAllStandardOutput().count('\n'));
}

void PressKeys(const QString& keys) {
    QProcess::execute("xdotool", {"key", keys});
}

// A connection to the socket as any process of the user can make one; -1 when refused.
int ConnectRaw(const QString& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    close(fd);
    return -1;
}

// A connection once the instance has room again: right after a flood its queue may still be full.
int ConnectWhenAccepted(const QString& path) {
    QElapsedTimer clock;
    clock.start();
    int fd = ConnectRaw(path);
    while (fd < 0 && clock.elapsed() < 20000) {
        usleep(20000);
        fd = ConnectRaw(path);
    }
    return fd;
}

// Sends `bytes`, then up to `streamed` bytes more; true when the instance closed the connection
// before it was all sent (or soon after, within what a loaded machine may need).
bool InstanceHangsUp(int fd, const QByteArray& bytes, qint64 streamed) {
    QByteArray chunk = bytes;
    QElapsedTimer clock;
    clock.start();
    for (qint64 sent = 0; sent < bytes.size() + streamed && clock.elapsed() < 20000;) {
        const ssize_t n = send(fd, chunk.constData(), chunk.size(), MSG_NOSIGNAL);
        if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) return true;
        if (n > 0) sent += n;
        chunk = QByteArray(1 << 20, 'A');
    }
    // Whatever was sent, the instance answers a finished connection by closing it.
    char reply;
    const timeval timeout{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const ssize_t n = recv(fd, &reply, 1, 0);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

QByteArray Framed(const QByteArray& message) {
    QByteArray header(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(message.size()), header.data());
    return header + message;
}

// The instance's open sockets (a capture opens other files for good, such as shared memory).
int OpenSockets(qint64 pid) {
    const QDir fds(QString("/proc/%1/fd").arg(pid));
    int count = 0;
    for (const QString& fd :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[64] = {};
        if (readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target - 1) >
                0 &&
            std::strncmp(target, "socket:", 7) == 0)
            ++count;
    }
    return count;
}

TEST(RemoteCommand, FloodsOfConnectionsAndHugeMessagesLeaveTheInstanceResponsive) {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < 2100) GTEST_SKIP() << "this process may not open 2,000 connections";

    TempFolder home;
    ProgramRun instance(home);
    ASSERT_TRUE(instance.Start());
    const qint64 pid = instance.process().processId();
    const QString path = home.File(".runtime/Quillet.socket");
    const int before = OpenSockets(pid);

    std::vector<int> idle;
    for (int i = 0; i < 2000; ++i) {
        if (const int fd = ConnectRaw(path); fd >= 0) idle.push_back(fd);
    }
    EXPECT_TRUE(testx11::PumpUntil(
        [&] { return OpenSockets(pid) <= before + remote::kMaxConnections + 2; }, 20000))
        << OpenSockets(pid) - before << " more sockets open";

    // A message announcing 2 GB is refused at its header; a small one whose list claims four
    // billion texts is refused without reserving room for them.
    int fd = ConnectWhenAccepted(path);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(InstanceHangsUp(fd, QByteArray::fromHex("7ffffff0"), 2LL << 30));
    close(fd);
    fd = ConnectWhenAccepted(path);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(
        InstanceHangsUp(fd, Framed(QByteArray::fromHex("ffffffff") + QByteArray(60, 0)), 0));
    close(fd);
    fd = ConnectWhenAccepted(path);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(InstanceHangsUp(fd, Framed(QByteArray(remote::kMaxMessageBytes + 1, 0)), 0));
    close(fd);
    ASSERT_TRUE(instance.Running());

    // The panel's Desktop button still captures at once.
    QRect panel;
    ASSERT_TRUE(testx11::PumpUntil([&] {
        for (unsigned long window : instance.Windows()) {
            const QRect rect = testx11::WindowScreenRect(window);
            if (rect.size() == QSize(248, 170)) return panel = rect, true;
        }
        return false;
    }));
    QElapsedTimer clock;
    clock.start();
    testx11::Click(panel.topLeft() + QPoint(31, 89));
    ASSERT_TRUE(testx11::PumpUntil([&] { return home.Exists("cache/IT-0.bmp"); }, 30000));
    std::printf("the capture was on disk %lld ms after the click\n",
                static_cast<long long>(clock.elapsed()));

    // Idle connections are closed in time; a real command still gets through at once.
    EXPECT_TRUE(testx11::PumpUntil([&] { return OpenSockets(pid) <= before + 2; },
                                   remote::kIdleTimeoutMs + 20000));
    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_EQ(instance.WaitForExit(), 0);
    for (const int open : idle) close(open);
}

TEST(RemoteCommand, TwoFirstCommandsStartOneInstanceAndBothAreCarriedOut) {
    TempFolder home;
    Call show(home, {"--show"});
    Call properties(home, {"--properties"});
    EXPECT_EQ(show.Finish(40000), 0) << show.errors.toStdString();
    EXPECT_EQ(properties.Finish(40000), 0) << properties.errors.toStdString();
    EXPECT_TRUE(testx11::PumpUntil([] { return WindowsNamed("Properties") == 1; }, 10000));
    EXPECT_EQ(QString::fromUtf8(home.Read(".messages")), "") << "no \"already running\" box";
    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_TRUE(testx11::PumpUntil([&] { return !home.Exists(".runtime/Quillet.lock"); }, 10000));
}

TEST(RemoteCommand, AFallbackRuntimeFolderOfAnotherUserIsNotUsed) {
    TempFolder home;
    // No runtime folder from the desktop; the fallbacks' names are taken, open to all, with a
    // lock of a live process in them.
    const QString planted = home.File(QString("tmp/quillet-%1").arg(getuid()));
    const QString qtFallback = home.File(QString("tmp/runtime-") + getpwuid(getuid())->pw_name);
    for (const QString& name : {planted, qtFallback}) {
        ASSERT_TRUE(QDir().mkpath(name));
        QFile lock(name + "/Quillet.lock");
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write("1\nquillet\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        QFile::setPermissions(name, QFile::Permissions(0x7777));
        if (getuid() == 0) {
            ASSERT_EQ(chown(QFile::encodeName(name).constData(), 65534, 65534), 0);
        }
    }
    ProgramRun env(home);
    QProcessEnvironment variables = env.process().processEnvironment();
    variables.remove("XDG_RUNTIME_DIR");
    variables.insert("TMPDIR", home.File("tmp"));
    variables.insert("XDG_CACHE_HOME", home.File("cache-home"));
    auto run = [&](const QStringList& arguments) {
        QProcess call;
        call.setProcessEnvironment(variables);
        call.setWorkingDirectory(home.path());
        call.start(QUILLET_BINARY, arguments);
        testx11::PumpUntil([&] { return call.state() == QProcess::NotRunning; }, 40000);
        return call.exitStatus() == QProcess::NormalExit ? call.exitCode() : -1;
    };
    EXPECT_EQ(run({"--show"}), 0);
    EXPECT_EQ(QString::fromUtf8(home.Read(".messages")), "");
    const QString own = "cache-home/quillet-runtime-" + QSysInfo::machineHostName();
    EXPECT_TRUE(home.Exists(own + "/Quillet.socket"));
    EXPECT_EQ(QFileInfo(home.File(own)).permissions() & 0x0077, 0);
    EXPECT_EQ(QDir(planted).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System),
              QStringList{"Quillet.lock"});
    EXPECT_EQ(run({"--quit"}), 0);
    EXPECT_TRUE(testx11::PumpUntil([&] { return !home.Exists(own + "/Quillet.lock"); }, 10000));
}

TEST(RemoteCommand, WithoutAnInstanceTheCommandStartsOneAndQuitEndsIt) {
    TempFolder home;
    ASSERT_TRUE(QDir().mkpath(home.File(".runtime")));
    QFile::setPermissions(home.File(".runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(LeaveStaleSocket(home.File(".runtime/Quillet.socket")));
    Call capture(home, {"--capture", "desktop", "--wait", "--folder", "own"});
    ASSERT_EQ(capture.Finish(40000), 0) << capture.errors.toStdString();
    EXPECT_EQ(capture.output, home.File("own/cache/IT-0.bmp"));
    const QImage captured(capture.output);
    const QImage screen = testx11::GrabScreen();
    ASSERT_EQ(captured.size(), screen.size());
    // The panel and the preview are back at the bottom since: the top is as captured.
    const QRect top(0, 0, screen.width(), screen.height() / 2);
    EXPECT_EQ(captured.copy(top).convertToFormat(QImage::Format_RGB32),
              screen.copy(top).convertToFormat(QImage::Format_RGB32));

    Call bad(home, {"--capture"});
    EXPECT_EQ(bad.Finish(), 2);
    EXPECT_TRUE(bad.errors.contains("--capture KIND")) << "the usage is printed";
    EXPECT_EQ(RunCall(home, {"--wait", "--show"}), 2);
    EXPECT_EQ(RunCall(home, {"--quit", "--unknown"}), 2);
    EXPECT_EQ(RunCall(home, {"--quit", "--open"}), 2);

    // A plain start is still refused while the instance runs (the bad calls left it alone).
    ProgramRun plain(home);
    EXPECT_NE(plain.RunToEnd(), 0);
    EXPECT_EQ(plain.Messages(), "Quillet|Application is already running.\n");

    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_TRUE(testx11::PumpUntil([&] { return !home.Exists(".runtime/Quillet.lock"); }, 10000));
    EXPECT_FALSE(home.Exists(".runtime/Quillet.socket"));
}

TEST(RemoteCommand, RectangleWaitsForTheDragOrTheCancelAndRefusesASecondCapture) {
    TempFolder home;
    ProgramRun instance(home);
    ASSERT_TRUE(instance.Start());

    Call drag(home, {"--capture", "rectangle", "--wait"});
    ASSERT_TRUE(testx11::PumpUntil([] { return FullScreenWindows() == 1; }, 10000));
    Call second(home, {"--capture", "desktop"});
    EXPECT_EQ(second.Finish(), 3);
    EXPECT_EQ(second.errors.count('\n'), 1) << second.errors.toStdString();
    EXPECT_EQ(FullScreenWindows(), 1) << "never a second overlay";

    testx11::MoveMouse({40, 50});
    testx11::ButtonDown();
    for (int step = 1; step <= 10; ++step) {
        testx11::MoveMouse({40 + step * 10, 50 + step * 8});
        testx11::Pump(30);
    }
    testx11::ButtonUp();
    ASSERT_EQ(drag.Finish(), 0) << drag.errors.toStdString();
    ASSERT_FALSE(drag.output.isEmpty());
    EXPECT_EQ(QImage(drag.output).size(), QSize(98, 78));

    Call cancelled(home, {"--capture", "rectangle", "--wait"});
    ASSERT_TRUE(testx11::PumpUntil([] { return FullScreenWindows() == 1; }, 10000));
    testx11::Click({200, 200}, 3);
    EXPECT_EQ(cancelled.Finish(), 1);
    EXPECT_TRUE(cancelled.output.isEmpty());

    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_EQ(instance.WaitForExit(), 0);
}

// A picture over the whole screen, below every other window, drawn by this process: it repaints
// what the program's windows uncover only when this process gets to it, as any program would.
class Background : public QWidget {
  public:
    Background()
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {
        const QSize size = testx11::GrabScreen().size();
        picture = QImage(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < size.width(); ++x)
                row[x] = qRgb((x * 5) & 255, (y * 3) & 255, ((x ^ y) * 7) & 255);
        }
        setAttribute(Qt::WA_OpaquePaintEvent);
        setGeometry(QRect(QPoint(0, 0), size));
        show();
        lower();
    }
    QImage picture;

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter(this).drawImage(event->rect(), picture, event->rect());
    }
};

// A compositing manager on the display for as long as it lives.
class Compositor {
  public:
    explicit Compositor(const QString& program, const QStringList& arguments) {
        if (QStandardPaths::findExecutable(program).isEmpty()) return;
        process_.start(program, arguments);
        running_ =
            process_.waitForStarted(5000) && testx11::PumpUntil([] { return Owned(); }, 10000);
    }
    ~Compositor() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        testx11::PumpUntil([] { return !Owned(); }, 5000);
    }
    bool running() const { return running_; }

  private:
    static bool Owned() {
        Display* display = XOpenDisplay(nullptr);
        if (!display) return false;
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
        const bool owned = XGetSelectionOwner(display, XInternAtom(display, name, False)) != None;
        XCloseDisplay(display);
        return owned;
    }
    QProcess process_;
    bool running_ = false;
};

// Fifty desktop captures in a row, each given while the panel and the preview are on the screen:
// where they were, every capture holds the background exactly.
void CaptureFiftyTimesOverTheBackground() {
    TempFolder home;
    Background background;
    testx11::Pump(200);
    ProgramRun instance(home);
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(RunCall(home, {"--capture", "desktop", "--wait"}), 0) << "the preview comes out";
    const unsigned long tray = instance.TrayIconWindow();
    for (int round = 0; round < 50; ++round) {
        QRegion ours;
        ASSERT_TRUE(testx11::PumpUntil(
            [&] {
                ours = QRegion();
                int shown = 0;
                for (unsigned long window : instance.Windows()) {
                    if (window == tray) continue;
                    ours += testx11::WindowScreenRect(window);
                    ++shown;
                }
                return shown >= 2;
            },
            5000))
            << "the panel and the preview are back after capture " << round;
        testx11::Pump(30);  // and drawn
        Call capture(home, {"--capture", "desktop", "--wait"});
        ASSERT_EQ(capture.Finish(), 0) << capture.errors.toStdString();
        const QImage captured = QImage(capture.output).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(captured.size(), background.picture.size());
        for (const QRect& rect : ours) {
            ASSERT_EQ(captured.copy(rect), background.picture.copy(rect))
                << "capture " << round << " holds pixels of our windows in (" << rect.x() << ", "
                << rect.y() << ", " << rect.width() << " x " << rect.height() << ")";
        }
        QFile::remove(capture.output);
    }
    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_EQ(instance.WaitForExit(), 0);
}

TEST(RemoteCommand, CapturesNeverHoldOurWindows) {
    CaptureFiftyTimesOverTheBackground();
}

TEST(RemoteCommand, CapturesNeverHoldOurWindowsUnderACompositingManager) {
    Compositor compositor("xcompmgr", {});
    if (!compositor.running()) GTEST_SKIP() << "xcompmgr could not run on this display";
    CaptureFiftyTimesOverTheBackground();
}

// The pointer's picture as the server shows it, laid over `picture` at its place.
QImage WithPointer(QImage picture) {
    Display* display = XOpenDisplay(nullptr);
    XFixesCursorImage* cursor = display ? XFixesGetCursorImage(display) : nullptr;
    if (cursor) {
        const QPoint origin(cursor->x - cursor->xhot, cursor->y - cursor->yhot);
        for (int y = 0; y < cursor->height; ++y) {
            for (int x = 0; x < cursor->width; ++x) {
                const QPoint at = origin + QPoint(x, y);
                if (!picture.rect().contains(at)) continue;
                const auto over = static_cast<uint32_t>(cursor->pixels[y * cursor->width + x]);
                const uint32_t alpha = over >> 24;
                const QRgb under = picture.pixel(at);
                const auto channel = [&](int shift, int value) {
                    return std::min<uint32_t>(
                        ((over >> shift) & 255) + (value * (255 - alpha) + 127) / 255, 255);
                };
                picture.setPixel(at, qRgb(channel(16, qRed(under)), channel(8, qGreen(under)),
                                          channel(0, qBlue(under))));
            }
        }
        XFree(cursor);
    }
    if (display) XCloseDisplay(display);
    return picture;
}

TEST(RemoteCommand, DelayedCapturesShowTheScreenAtTheEndOfTheDelayAndEscapeCancelsThem) {
    TempFolder home;
    Background background;
    testx11::MoveMouse({300, 300});
    testx11::Pump(200);
    ProgramRun instance(home);
    ASSERT_TRUE(instance.Start());

    Call delayed(home, {"--capture", "desktop", "--delay", "2", "--wait"});
    testx11::Pump(1000);
    background.picture.fill(qRgb(20, 160, 90));
    background.update();
    ASSERT_EQ(delayed.Finish(), 0) << delayed.errors.toStdString();
    const QImage captured = QImage(delayed.output).convertToFormat(QImage::Format_RGB32);
    // The screen as it was at the end, without the count-down that stood beside the pointer.
    const QRect around(250, 250, 150, 150);
    EXPECT_EQ(captured.copy(around), background.picture.copy(around));

    Call cancelled(home, {"--capture", "desktop", "--delay", "3", "--wait"});
    testx11::Pump(1000);
    testx11::TapKey("Escape");
    EXPECT_EQ(cancelled.Finish(), 1);
    EXPECT_TRUE(cancelled.output.isEmpty());
    EXPECT_FALSE(home.Exists("cache/IT-1.bmp"));

    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_EQ(instance.WaitForExit(), 0);
}

TEST(RemoteCommand, ThePointerOptionLaysThePointerOverTheCapture) {
    TempFolder home;
    Background background;
    testx11::MoveMouse({400, 300});
    testx11::Pump(200);
    const QImage expected = WithPointer(background.picture);
    const QRect around(360, 260, 80, 80);
    ASSERT_NE(expected.copy(around), background.picture.copy(around)) << "a pointer is shown";

    ProgramRun instance(home);
    ASSERT_TRUE(instance.Start());
    Call capture(home, {"--capture", "desktop", "--pointer", "--wait"});
    ASSERT_EQ(capture.Finish(), 0) << capture.errors.toStdString();
    EXPECT_EQ(QImage(capture.output).convertToFormat(QImage::Format_RGB32).copy(around),
              expected.copy(around));
    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_EQ(instance.WaitForExit(), 0);

    QProcess tool;
    tool.start(QUILLET_TOOL_BINARY, {"capture", "desktop", home.File("tool.bmp"), "--pointer"});
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(QImage(home.File("tool.bmp")).convertToFormat(QImage::Format_RGB32).copy(around),
              expected.copy(around));
}

TEST(RemoteCommand, PropertiesOpenOnceAndQuitWritesTheHistoryAsExitDoes) {
    TempFolder home;
    EditorFixture::Gradient(20, 10)->Save(home.File("a.bmp").toLocal8Bit().constData(), 0);
    ProgramRun instance(home);
    ASSERT_TRUE(instance.Start());

    // A saved picture makes the session one the history keeps.
    ASSERT_EQ(RunCall(home, {"--open", "a.bmp"}), 0);
    const auto sessionList = [&home] {
        return QDir(home.File("bin")).entryList({"session*"}, QDir::Dirs).value(0) + "/SESSION.MRU";
    };
    // File > Save from the keyboard, once the editor has it.
    bool saved = false;
    for (int attempt = 0; attempt < 20 && !saved; ++attempt) {
        PressKeys("alt+f");
        testx11::Pump(200);
        PressKeys("s");
        saved = testx11::PumpUntil([&] { return home.Exists("bin/" + sessionList()); }, 500);
    }
    ASSERT_TRUE(saved);

    EXPECT_EQ(RunCall(home, {"--properties"}), 0);
    ASSERT_TRUE(testx11::PumpUntil([] { return WindowsNamed("Properties") == 1; }, 10000));
    EXPECT_EQ(RunCall(home, {"--properties"}), 0);
    EXPECT_FALSE(testx11::PumpUntil([] { return WindowsNamed("Properties") > 1; }, 1500))
        << "the open dialog is raised, not a second one stacked on it";

    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_EQ(instance.WaitForExit(), 0);
    const QString session = QFileInfo(home.File("bin/" + sessionList())).absolutePath();
    EXPECT_EQ(home.Read("SESSIONS.INI"), (session + "/\n").toLocal8Bit());
}

// The receiving side in this process, so that what a command did can be looked at directly.
struct LocalServerFixture : EditorFixture {
    void SetUp() override {
        EditorFixture::SetUp();
        ASSERT_TRUE(QDir().mkpath(home.File(".runtime")));
        QFile::setPermissions(home.File(".runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    std::unique_ptr<remote::CCommandServer> server;
};

TEST_F(LocalServerFixture, OpenOpensEachFileAsFileOpenWould) {
    server = std::make_unique<remote::CCommandServer>();
    ASSERT_TRUE(server->Listen(home.File(".runtime/Quillet.socket")));
    Gradient(20, 10)->Save(home.File("a.bmp").toLocal8Bit().constData(), 0);
    Gradient(8, 6)->Save(home.File("b.bmp").toLocal8Bit().constData(), 0);
    home.Write("broken.bmp", "BM not a picture");

    Call open(home, {"--open", "a.bmp", "b.bmp", "broken.bmp"});
    ASSERT_EQ(open.Finish(), 0) << open.errors.toStdString();
    ASSERT_TRUE(testx11::PumpUntil([this] { return messages.size() == 1; }));
    const std::vector<CLumoDoc*> documents = frame->docTemplate()->documents();
    ASSERT_EQ(documents.size(), 2u);
    EXPECT_EQ(documents[0]->image->GetWidth(), 20u);
    EXPECT_EQ(documents[1]->image->GetWidth(), 8u);
}

TEST_F(LocalServerFixture, AFileNameThatIsNotUtf8ArrivesAsItsBytes) {
    server = std::make_unique<remote::CCommandServer>();
    ASSERT_TRUE(server->Listen(home.File(".runtime/Quillet.socket")));
    Gradient(12, 5)->Save((home.path().toStdString() + "/n\xe9w.bmp").c_str(), 0);
    // A shell hands the name's bytes over as they are.
    Call open(home, {"-c", "exec \"$0\" --open \"$(printf 'n\\351w.bmp')\"", QUILLET_BINARY},
              "/bin/sh");
    ASSERT_EQ(open.Finish(), 0) << open.errors.toStdString();
    ASSERT_TRUE(testx11::PumpUntil([this] { return !frame->docTemplate()->documents().empty(); }));
    EXPECT_EQ(frame->docTemplate()->documents()[0]->image->GetWidth(), 12u);
    EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(LocalServerFixture, APeerOfAnotherUserIsRefused) {
    // This process's commands count as another user's.
    server = std::make_unique<remote::CCommandServer>(getuid() + 1);
    ASSERT_TRUE(server->Listen(home.File(".runtime/Quillet.socket")));
    Call open(home, {"--open", "a.bmp"});
    EXPECT_EQ(open.Finish(), 1);
    EXPECT_TRUE(open.errors.contains("did not answer")) << open.errors.toStdString();
    testx11::Pump(100);
    EXPECT_TRUE(frame->docTemplate()->documents().empty());
    EXPECT_TRUE(messages.empty()) << "the file was never looked at";
}

}  // namespace
