// The program and quillet-tool in a Wayland session (scripts/with-wayland): two outputs,
// 1280 x 1024 at scale 1 and, right of it, 1920 x 1080 at scale 2, each showing the same
// pattern in its own device pixels.
#include "platform/capture/capture_backend.h"
#include "platform/capture/screencopy_backend.h"
#include "wayland/wayland_pattern.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <functional>

namespace {

using platform::capture::Output;

// The desktop as the outputs lay it out in device pixels.
const QRect kFirst(0, 0, 1280, 1024), kSecond(1280, 0, 1920, 1080);
const QSize kDesktop(3200, 1080);

QImage ExpectedDesktop() {
    QImage desktop(kDesktop, QImage::Format_RGB32);
    desktop.fill(Qt::black);
    for (const QRect& output : {kFirst, kSecond}) {
        for (int y = 0; y < output.height(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(desktop.scanLine(output.y() + y));
            for (int x = 0; x < output.width(); ++x)
                row[output.x() + x] = waylandtest::PatternPixel(x, y);
        }
    }
    return desktop;
}

// Where two pictures first differ, for the failure message.
std::string FirstDifference(const QImage& got, const QImage& want) {
    if (got.size() != want.size())
        return "size " + std::to_string(got.width()) + "x" + std::to_string(got.height());
    long differ = 0;
    std::string first = "none";
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            if (got.pixel(x, y) != want.pixel(x, y) && differ++ == 0)
                first = "pixel " + std::to_string(x) + "," + std::to_string(y) + ": " +
                        QString::number(got.pixel(x, y), 16).toStdString() + " for " +
                        QString::number(want.pixel(x, y), 16).toStdString();
    return first + " (" + std::to_string(differ) + " differ)";
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QThread::msleep(50);
    }
    return true;
}

class Session : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        env_ = QProcessEnvironment::systemEnvironment();
        const QString runtime = env_.value("XDG_RUNTIME_DIR");
        ASSERT_FALSE(env_.value("WAYLAND_DISPLAY").isEmpty()) << "run under scripts/with-wayland";
        env_.insert("XDG_CONFIG_HOME", home_.filePath(".config"));
        env_.insert("QUILLET_MESSAGE_LOG", home_.filePath(".messages"));
        if (!withPattern_) return;
        pattern_.setProcessEnvironment(env_);
        pattern_.start(PATTERN_BINARY, windowed_ ? QStringList{"--windowed"} : QStringList{});
        ASSERT_TRUE(pattern_.waitForStarted());
        ASSERT_TRUE(WaitUntil([&] {
            pattern_.waitForReadyRead(100);
            output_ += pattern_.readAllStandardOutput();
            return output_.contains("ready");
        })) << "the pattern windows did not come up";
        // The compositor shows a window at scale 2 a little after it was drawn: wait until the
        // screen shows the pattern on both outputs.
        qputenv("QUILLET_CAPTURE_BACKEND", "wlr-screencopy");
        std::string error;
        auto backend = platform::capture::OpenBackend(nullptr, error);
        ASSERT_TRUE(backend) << error;
        const QImage expected = ExpectedDesktop();
        ASSERT_TRUE(WaitUntil([&] {
            platform::capture::Picture picture;
            if (!backend->Desktop(picture, error)) return false;
            for (const QPoint p :
                 {QPoint(0, 0), QPoint(1279, 1023), QPoint(1281, 3), QPoint(3199, 1079)}) {
                if (windowed_ && !kFirst.contains(p)) continue;
                if (picture.Row(p.y())[p.x()] != expected.pixel(p)) return false;
            }
            return true;
        })) << "the pattern does not show";
        qunsetenv("QUILLET_CAPTURE_BACKEND");
    }
    void TearDown() override {
        if (quillet_) Run(QUILLET_BINARY, {"--quit"}, 20000);
        pattern_.kill();
        pattern_.waitForFinished();
    }

    // Runs a program to its end; its exit code, with its output in `out`.
    int Run(const QString& program, const QStringList& arguments, int timeoutMs = 30000,
            QString* out = nullptr, const QProcessEnvironment* env = nullptr) {
        QProcess process;
        process.setProcessEnvironment(env ? *env : env_);
        process.setWorkingDirectory(home_.path());
        process.start(program, arguments);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        if (out) *out = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        errors_ = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitCode();
    }

    // `quillet --capture KIND --wait` (the program is started first); the capture's file.
    QString CaptureWithProgram(const QString& kind) {
        quillet_ = true;
        QString path;
        const int code = Run(QUILLET_BINARY, {"--capture", kind, "--wait"}, 60000, &path);
        EXPECT_EQ(code, 0) << errors_.toStdString();
        return path;
    }

    QString Messages() const {
        QFile file(home_.filePath(".messages"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir home_;
    QProcessEnvironment env_;
    QProcess pattern_;
    QByteArray output_;
    QString errors_;
    bool quillet_ = false;
    bool withPattern_ = true;  // the pattern on every output
    // The pattern as one ordinary window over the first output rather than full-screen ones.
    bool windowed_ = false;
};

class Tool : public Session {};
class Program : public Session {};
class Rectangle : public Session {};
class Hiding : public Session {
  protected:
    Hiding() { windowed_ = true; }
};

// Outputs laid out in logical coordinates land side by side in device pixels.
TEST(Layout, OutputsAdjacentInTheLayoutStayAdjacentInDevicePixels) {
    const auto make = [](int lx, int ly, int lw, int lh, int w, int h) {
        Output o;
        o.logicalX = lx, o.logicalY = ly, o.logicalWidth = lw, o.logicalHeight = lh;
        o.width = w, o.height = h;
        return o;
    };
    // The session's own: 1280 x 1024 at 1, 1920 x 1080 at 2 right of it; a third at 1 below the
    // second, and one further right with a gap of 10 logical pixels.
    std::vector<Output> outputs = {
        make(0, 0, 1280, 1024, 1280, 1024), make(1280, 0, 960, 540, 1920, 1080),
        make(1280, 540, 800, 600, 800, 600), make(2250, 0, 100, 100, 200, 200)};
    platform::capture::PlaceOutputs(outputs);
    EXPECT_EQ(QPoint(outputs[0].x, outputs[0].y), QPoint(0, 0));
    EXPECT_EQ(QPoint(outputs[1].x, outputs[1].y), QPoint(1280, 0));
    EXPECT_EQ(QPoint(outputs[2].x, outputs[2].y), QPoint(1280, 1080));
    EXPECT_EQ(QPoint(outputs[3].x, outputs[3].y), QPoint(3210, 0));
    // Negative logical coordinates: the top-left output lands at 0,0.
    std::vector<Output> left = {make(-1920, 0, 1920, 1080, 1920, 1080),
                                make(0, 0, 1280, 1024, 2560, 2048)};
    platform::capture::PlaceOutputs(left);
    EXPECT_EQ(left[0].x, 0);
    EXPECT_EQ(left[1].x, 1920);
}

// What changed between two copies of an output comes out in parts: changes close together form
// one part, far apart two, each with the exact extent of its changes.
TEST(Layout, ChangesBetweenCopiesComeOutInPartsWithTheirExtents) {
    const int width = 300, height = 200;
    std::vector<uint32_t> before(width * height, 0x336699), after = before;
    const auto paint = [&](int x0, int y0, int w, int h) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) after[y * width + x] = 0xFFFFFF;
    };
    EXPECT_TRUE(platform::capture::ChangedParts(before, after, width, height).empty());
    paint(5, 7, 40, 30);    // a window's place
    paint(50, 20, 10, 60);  // beside it, a few pixels off: the same part
    paint(250, 150, 3, 2);  // far away
    auto parts = platform::capture::ChangedParts(before, after, width, height);
    ASSERT_EQ(parts.size(), 2u);
    std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
    EXPECT_EQ(QRect(parts[0].x, parts[0].y, parts[0].width, parts[0].height), QRect(5, 7, 55, 73));
    EXPECT_EQ(QRect(parts[1].x, parts[1].y, parts[1].width, parts[1].height),
              QRect(250, 150, 3, 2));
    // Copies of another size tell nothing.
    EXPECT_TRUE(platform::capture::ChangedParts(before, after, width, height - 1).empty());
}

// quillet-tool reads the desktop through each backend, pixel for pixel, and cuts areas from it.
// The portal's picture holds the whole layout at the largest scale: the scale-1 output comes back
// from its smoothed-up image.
TEST_F(Tool, CapturesTheDesktopExactlyThroughScreencopyAndThePortal) {
    const QImage expected = ExpectedDesktop();
    for (const char* backend : {"wlr-screencopy", "portal"}) {
        SCOPED_TRACE(backend);
        QProcessEnvironment env = env_;
        env.insert("QUILLET_CAPTURE_BACKEND", backend);
        const QString file = home_.filePath(QString("desktop-%1.png").arg(backend));
        ASSERT_EQ(Run(QUILLET_TOOL_BINARY, {"capture", "desktop", file}, 60000, nullptr, &env), 0)
            << errors_.toStdString();
        const QImage got = QImage(file).convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(got == expected) << FirstDifference(got, expected);
        // Across both outputs, partly outside the desktop.
        const QString rect = home_.filePath(QString("rect-%1.png").arg(backend));
        ASSERT_EQ(Run(QUILLET_TOOL_BINARY, {"capture", "rect", "1200", "1000", "300", "200", rect},
                      60000, nullptr, &env),
                  0)
            << errors_.toStdString();
        const QImage area = QImage(rect).convertToFormat(QImage::Format_RGB32);
        const QImage want = expected.copy(1200, 1000, 300, 80);
        EXPECT_TRUE(area == want) << FirstDifference(area, want);
    }
    const QString rect = home_.filePath("rect.png");
    // Outside the desktop: a clear message.
    EXPECT_EQ(Run(QUILLET_TOOL_BINARY, {"capture", "rect", "4000", "0", "10", "10", rect}), 1);
    EXPECT_TRUE(errors_.contains("outside")) << errors_.toStdString();
}

// A turned output shows its pattern upright in the capture, on its side in the layout.
TEST_F(Tool, TurnedOutputsAreCapturedAsTheyShow) {
    for (const char* transform : {"90", "flipped-270"}) {
        SCOPED_TRACE(transform);
        pattern_.kill();
        pattern_.waitForFinished();
        ASSERT_EQ(Run("swaymsg",
                      {"output", "HEADLESS-2", "transform", transform, "position", "1280", "0"}),
                  0);
        pattern_.start(PATTERN_BINARY, {});
        ASSERT_TRUE(pattern_.waitForStarted());
        QImage expected(2360, 1920, QImage::Format_RGB32);
        expected.fill(Qt::black);
        for (const QRect& output : {kFirst, QRect(1280, 0, 1080, 1920)})
            for (int y = 0; y < output.height(); ++y)
                for (int x = 0; x < output.width(); ++x)
                    expected.setPixel(output.x() + x, output.y() + y,
                                      waylandtest::PatternPixel(x, y));
        const QString file = home_.filePath("turned.png");
        QImage got;
        // The window follows the output's new shape a moment later.
        WaitUntil([&] {
            if (Run(QUILLET_TOOL_BINARY, {"capture", "desktop", file}) != 0) return false;
            got = QImage(file).convertToFormat(QImage::Format_RGB32);
            return got == expected;
        });
        EXPECT_TRUE(got == expected) << FirstDifference(got, expected);
    }
}

// The program runs on Qt's Wayland platform and captures the desktop through each backend.
TEST_F(Program, CapturesTheDesktopExactlyAndPrintsThePath) {
    const QImage expected = ExpectedDesktop();
    const QString path = CaptureWithProgram("desktop");
    ASSERT_FALSE(path.isEmpty());
    const QImage got = QImage(path).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(got == expected) << FirstDifference(got, expected);
    EXPECT_EQ(Messages(), "");

    // Through the portal.
    ASSERT_EQ(Run(QUILLET_BINARY, {"--quit"}, 20000), 0);
    env_.insert("QUILLET_CAPTURE_BACKEND", "portal");
    const QString second = CaptureWithProgram("desktop");
    ASSERT_FALSE(second.isEmpty());
    const QImage viaPortal = QImage(second).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(viaPortal == expected) << FirstDifference(viaPortal, expected);
    EXPECT_EQ(Messages(), "");

    // Picking another program's window is refused, saying why.
    for (const char* kind : {"window", "client", "control", "dropdown"}) {
        EXPECT_EQ(Run(QUILLET_BINARY, {"--capture", kind, "--wait"}), 1) << kind;
        EXPECT_TRUE(errors_.contains("Not available on Wayland")) << errors_.toStdString();
    }
}

// The overlay's windows are up: one full-screen window of the program on each output.
bool OverlayShown() {
    QProcess sway;
    sway.start("swaymsg", {"-t", "get_tree"});
    if (!sway.waitForFinished(5000)) return false;
    const QString tree = QString::fromUtf8(sway.readAllStandardOutput());
    static const QRegularExpression fullScreen(
        "\"fullscreen_mode\": 1,[^{}]*\"app_id\": \"quillet\"");
    return tree.count(fullScreen) >= 2;
}

// Drags with the compositor's virtual pointer; its extent is twice the logical layout
// (2240 x 1024), so that every device pixel of the scale-2 output can be reached.
void Drag(QPoint from, QPoint to) {
    const auto at = [](QPoint device) {
        return kSecond.contains(device) ? QPoint(2560 + device.x() - 1280, device.y())
                                        : QPoint(2 * device.x(), 2 * device.y());
    };
    QProcess pointer;
    pointer.start(VIRTUAL_POINTER_BINARY, {});
    ASSERT_TRUE(pointer.waitForStarted());
    const QPoint a = at(from), b = at(to), middle = at((from + to) / 2);
    pointer.write(QString("extent 4480 2048\nmove %1 %2\nsleep 150\ndown 1\nsleep 100\n"
                          "move %3 %4\nsleep 100\nmove %5 %6\nsleep 150\nup 1\nsleep 100\n")
                      .arg(a.x())
                      .arg(a.y())
                      .arg(middle.x())
                      .arg(middle.y())
                      .arg(b.x())
                      .arg(b.y())
                      .toUtf8());
    pointer.closeWriteChannel();
    ASSERT_TRUE(pointer.waitForFinished(10000));
}

// On the frozen desktop a drag on the scale-2 output and one across both outputs capture
// exactly the device pixels inside the band; through the portal too, across sharp edges of the
// scale-1 output's pattern.
TEST_F(Rectangle, DragsOnTheSecondOutputAndAcrossCaptureThePixelsUnderThem) {
    const QImage expected = ExpectedDesktop();
    const struct {
        QPoint from, to;
        const char* backend;
    } drags[] = {{QPoint(1381, 99), QPoint(1583, 251), nullptr},
                 {QPoint(1130, 301), QPoint(1431, 499), nullptr},
                 {QPoint(1000, 480), QPoint(1400, 560), "portal"}};
    quillet_ = true;
    for (const auto& drag : drags) {
        SCOPED_TRACE(drag.backend ? drag.backend : "default");
        if (drag.backend && env_.value("QUILLET_CAPTURE_BACKEND") != drag.backend) {
            Run(QUILLET_BINARY, {"--quit"}, 20000);
            env_.insert("QUILLET_CAPTURE_BACKEND", drag.backend);
        }
        QProcess capture;
        capture.setProcessEnvironment(env_);
        capture.setWorkingDirectory(home_.path());
        capture.start(QUILLET_BINARY, {"--capture", "rectangle", "--wait"});
        ASSERT_TRUE(WaitUntil(OverlayShown, 30000)) << "the overlay did not come up";
        QThread::msleep(500);
        Drag(drag.from, drag.to);
        ASSERT_TRUE(capture.waitForFinished(30000));
        const QString path = QString::fromLocal8Bit(capture.readAllStandardOutput()).trimmed();
        ASSERT_EQ(capture.exitCode(), 0) << capture.readAllStandardError().toStdString();
        const QSize size(drag.to.x() - drag.from.x(), drag.to.y() - drag.from.y());
        const QImage want = expected.copy(QRect(drag.from + QPoint(1, 1), size - QSize(2, 2)));
        const QImage got = QImage(path).convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(got == want) << FirstDifference(got, want);
    }
    EXPECT_EQ(Messages(), "");
}

// A real Chromium on the desktop's own protocol, with its DevTools port and a profile of its own.
class Browser : public Session {
  protected:
    Browser() { withPattern_ = false; }
    void TearDown() override {
        Session::TearDown();
        if (chromium_.state() != QProcess::NotRunning) {
            chromium_.kill();
            chromium_.waitForFinished(5000);
        }
    }

    QStringList ChromiumArguments(const QString& url) const {
        return {"--ozone-platform=wayland",
                "--no-sandbox",
                "--disable-background-networking",
                "--disable-component-update",
                "--disable-sync",
                "--no-first-run",
                "--disable-gpu",
                "--test-type",
                "--hide-scrollbars",
                "--no-default-browser-check",
                "--password-store=basic",
                "--remote-debugging-port=0",
                "--user-data-dir=" + home_.filePath("profile"),
                "--window-size=700,500",
                url};
    }

    // Starts the browser on `url` and makes its port the program's; 0 when it does not come up.
    int StartChromium(const QString& url) {
        chromium_.setProcessEnvironment(env_);
        chromium_.setStandardErrorFile(QProcess::nullDevice());
        chromium_.start("chromium", ChromiumArguments(url));
        if (!chromium_.waitForStarted(10000)) return 0;
        int port = 0;
        WaitUntil([&] {
            QFile file(home_.filePath("profile/DevToolsActivePort"));
            if (file.open(QIODevice::ReadOnly)) port = file.readLine().trimmed().toInt();
            return port > 0;
        });
        if (port) env_.insert("QUILLET_CDP_PORT", QString::number(port));
        return port;
    }

    // The browser's list of targets.
    QString TargetList() const {
        QTcpSocket socket;
        socket.connectToHost("127.0.0.1", quint16(env_.value("QUILLET_CDP_PORT").toInt()));
        if (!socket.waitForConnected(2000)) return {};
        socket.write("GET /json/list HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QByteArray reply;
        while (socket.waitForReadyRead(2000) && reply.size() < (1 << 20)) reply += socket.readAll();
        return QString::fromUtf8(reply + socket.readAll());
    }

    // A window titled `title` is on the desktop.
    static bool WindowShown(const QString& title) {
        QProcess sway;
        sway.start("swaymsg", {"-t", "get_tree"});
        return sway.waitForFinished(5000) &&
               QString::fromUtf8(sway.readAllStandardOutput()).contains('"' + title + '"');
    }

    // `quillet --capture page --wait` answered by keys typed into the page choice; its output.
    QString CaptureWithChoice(const QStringList& keys, int* code) {
        QProcess capture;
        capture.setProcessEnvironment(env_);
        capture.setWorkingDirectory(home_.path());
        capture.start(QUILLET_BINARY, {"--capture", "page", "--wait"});
        EXPECT_TRUE(WaitUntil([] { return WindowShown("Quillet: choose the page"); }, 30000))
            << "no choice was offered";
        QThread::msleep(300);
        Run("wtype", QStringList{"-s", "200"} + keys);
        if (!capture.waitForFinished(60000)) capture.kill();
        *code = capture.exitCode();
        return QString::fromLocal8Bit(capture.readAllStandardOutput()).trimmed();
    }

    QProcess chromium_;
};

// The page's rows are coloured by their device y; its title gives its size in device pixels.
const char kRowsPage[] =
    "<!DOCTYPE html><html><head><title>Rows</title><style>html,body{margin:0}"
    "canvas{display:block}</style></head><body><canvas id=c></canvas><script>"
    "onload = () => setTimeout(() => {"
    "const r = devicePixelRatio, h = Math.round(innerHeight * 2.5);"
    "c.style.width = innerWidth + 'px'; c.style.height = h + 'px';"
    "c.width = Math.round(innerWidth * r); c.height = Math.round(h * r);"
    "const g = c.getContext('2d');"
    "for (let y = 0; y < c.height; y++) {"
    "  g.fillStyle = `rgb(${y % 256},${(y >> 8) % 256},${(y * 7) % 256})`;"
    "  g.fillRect(0, y, c.width, 1); }"
    "document.title = 'Rows ' + c.width + 'x' + c.height; }, 300);</script></body></html>";

QRgb RowColour(int y) {
    return qRgb(y % 256, (y >> 8) % 256, (y * 7) % 256);
}

// Without a pick: the browser's one visible page is captured whole, row for row, on the scale-2
// output; with a second window the user chooses the page, and Cancel captures nothing.
TEST_F(Browser, WholePageOfTheVisiblePageOrOfTheOneChosen) {
    if (QStandardPaths::findExecutable("chromium").isEmpty()) GTEST_SKIP() << "no chromium";
    ASSERT_EQ(Run("swaymsg", {"focus", "output", "HEADLESS-2"}), 0);
    for (const auto& [name, text] :
         {std::pair<QString, QByteArray>{"rows.html", kRowsPage},
          {"other.html", "<title>Other</title><body style='background:rgb(10,120,200)'>"}}) {
        QFile file(home_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
    ASSERT_GT(StartChromium(QUrl::fromLocalFile(home_.filePath("rows.html")).toString()), 0);
    const QRegularExpression drawn("\"title\": \"Rows (\\d+)x(\\d+)\"");
    QRegularExpressionMatch size;
    ASSERT_TRUE(WaitUntil([&] { return (size = drawn.match(TargetList())).hasMatch(); }, 30000))
        << "the page did not come up";

    const QImage got = QImage(CaptureWithProgram("page")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(got.size(), QSize(size.captured(1).toInt(), size.captured(2).toInt()));
    int wrong = 0;
    for (int y = 0; y < got.height() && wrong < 5; ++y)
        if (got.pixel(10, y) != RowColour(y) && ++wrong)
            ADD_FAILURE() << "row " << y << " holds " << std::hex << got.pixel(10, y);
    EXPECT_EQ(Messages(), "");

    // A second window of the same browser: both pages show, and the one typed is taken.
    QProcess second;
    second.setProcessEnvironment(env_);
    second.start("chromium",
                 ChromiumArguments(QUrl::fromLocalFile(home_.filePath("other.html")).toString())
                     << "--new-window");
    ASSERT_TRUE(second.waitForFinished(30000));
    ASSERT_TRUE(WaitUntil([&] { return TargetList().contains("\"Other\""); }, 30000));
    int code = -1;
    const QString chosen = CaptureWithChoice({"O", "-k", "Return"}, &code);
    EXPECT_EQ(code, 0);
    const QImage other = QImage(chosen).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(other.isNull()) << chosen.toStdString();
    EXPECT_EQ(other.pixel(5, 5), qRgb(10, 120, 200));
    EXPECT_EQ(other.pixel(other.width() - 5, other.height() - 5), qRgb(10, 120, 200));

    EXPECT_EQ(CaptureWithChoice({"-k", "Escape"}, &code), "");
    EXPECT_EQ(code, 1);
    EXPECT_EQ(Messages(), "");
}

// The program's windows the compositor shows, in the layout's logical pixels (the same as the
// first output's device pixels).
std::vector<QRect> ShownQuilletWindows() {
    QProcess sway;
    sway.start("swaymsg", {"-t", "get_tree"});
    if (!sway.waitForFinished(5000)) return {};
    std::vector<QRect> shown;
    const std::function<void(const QJsonObject&)> walk = [&](const QJsonObject& node) {
        for (const char* children : {"nodes", "floating_nodes"})
            for (const QJsonValue child : node.value(children).toArray()) walk(child.toObject());
        if (node.value("app_id").toString() != "quillet" || !node.value("visible").toBool()) return;
        const QJsonObject rect = node.value("rect").toObject();
        shown.emplace_back(rect.value("x").toInt(), rect.value("y").toInt(),
                           rect.value("width").toInt(), rect.value("height").toInt());
    };
    walk(QJsonDocument::fromJson(sway.readAllStandardOutput()).object());
    return shown;
}

// Twenty desktop captures in a row, each given while the panel and the preview lie over the
// pattern: where they were, every capture holds the pattern exactly.
TEST_F(Hiding, CapturesNeverHoldThePanelOrThePreview) {
    const QImage expected = ExpectedDesktop();
    ASSERT_FALSE(CaptureWithProgram("desktop").isEmpty()) << "the preview comes out";
    std::string error;
    qputenv("QUILLET_CAPTURE_BACKEND", "wlr-screencopy");
    auto backend = platform::capture::OpenBackend(nullptr, error);
    qunsetenv("QUILLET_CAPTURE_BACKEND");
    ASSERT_TRUE(backend) << error;
    for (int round = 0; round < 20; ++round) {
        // Both windows are back, and the screen shows them over the pattern.
        std::vector<QRect> ours;
        ASSERT_TRUE(WaitUntil([&] {
            ours = ShownQuilletWindows();
            if (ours.size() < 2) return false;
            platform::capture::Picture picture;
            if (!backend->Desktop(picture, error)) return false;
            for (const QRect& rect : ours) {
                const QPoint middle = rect.center();
                if (picture.Row(middle.y())[middle.x()] == expected.pixel(middle)) return false;
            }
            return true;
        })) << "the panel and the preview are not back after capture "
            << round;
        const QString path = CaptureWithProgram("desktop");
        ASSERT_FALSE(path.isEmpty());
        const QImage got = QImage(path).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(got.size(), kDesktop);
        for (const QRect& rect : ours) {
            ASSERT_TRUE(got.copy(rect) == expected.copy(rect))
                << "capture " << round << " holds pixels of the program's windows in (" << rect.x()
                << ", " << rect.y() << ", " << rect.width() << " x " << rect.height()
                << "): " << FirstDifference(got.copy(rect), expected.copy(rect));
        }
        QFile::remove(path);
    }
    EXPECT_EQ(Messages(), "");
}

}  // namespace
