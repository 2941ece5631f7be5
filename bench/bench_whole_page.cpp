// Whole-page capture of a real Chromium's page ten screens tall, served from loopback: what the
// user waits for after releasing the mouse in the Whole Page mode (the match, the screenshots and
// scrolls, the stitching, the capture's file and thumbnail), at device scale 1 and 2. The browser
// window is 1024 x 768 CSS pixels (QUILLET_BENCH_WINDOW=WxH changes it), so the display must hold
// it at scale 2:
//   scripts/with-display --size 2560x1600x24 build/bench/bench_whole_page
#include "bench_size.h"
#include "app/quillet_app.h"
#include "browser/browser_access.h"
#include "browser/devtools_client.h"
#include "browser/whole_page.h"
#include "platform/message_box.h"
#include "platform/x11_windows.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

QSize WindowSize() {
    return SizeFromEnvironment("QUILLET_BENCH_WINDOW", QSize(1024, 768));
}

// Ten viewports of text, headings and coloured blocks, as an ordinary article page has.
QByteArray TenScreens() {
    QByteArray blocks;
    for (int i = 0; i < 120; ++i) {
        blocks += QString(
                      "<h2>Section %1</h2><p>Quillet captures the whole page screen by screen "
                      "and stitches the pieces into one tall picture; this paragraph is here "
                      "so that the screenshots hold text, as pages mostly do. Number %1.</p>"
                      "<div style='height:40px;background:hsl(%2,70%,60%)'></div>")
                      .arg(i)
                      .arg(i * 37 % 360)
                      .toUtf8();
    }
    return "<!DOCTYPE html><html><head><title>Ten screens</title><style>html,body{margin:0}"
           "#p{height:1000vh;overflow:hidden;padding:0 24px;font:16px sans-serif;"
           "background:linear-gradient(#fff,#def)}</style></head><body><div id=p>" +
           blocks + "</div></body></html>";
}

// Serves the page to every GET.
class PageServer {
  public:
    PageServer() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    if (!socket->readAll().contains("\r\n\r\n")) return;
                    const QByteArray page = TenScreens();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                  QByteArray::number(page.size()) +
                                  "\r\nConnection: close\r\n\r\n" + page);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString Url() const { return QString("http://127.0.0.1:%1/").arg(server_.serverPort()); }

  private:
    QTcpServer server_;
};

template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

// A Chromium on the display showing the page at a device scale, with its DevTools port made the
// program's; gone with the object.
class Browser {
  public:
    Browser(const QString& url, int scale) {
        const QSize size = WindowSize();
        process_.start(
            "chromium",
            {"--no-sandbox", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--no-first-run", "--disable-quic", "--disable-gpu", "--test-type",
             "--hide-scrollbars", "--no-default-browser-check", "--password-store=basic",
             "--remote-debugging-port=0", "--user-data-dir=" + profile_.path(),
             "--window-position=0,0",
             QString("--window-size=%1,%2").arg(size.width()).arg(size.height()),
             QString("--force-device-scale-factor=%1").arg(scale), url});
        if (!process_.waitForStarted(10000)) return;
        int port = 0;
        WaitUntil(
            [&] {
                QFile file(profile_.filePath("DevToolsActivePort"));
                if (file.open(QIODevice::ReadOnly)) port = file.readLine().trimmed().toInt();
                return port > 0;
            },
            20000);
        if (!port) return;
        qputenv("QUILLET_CDP_PORT", QByteArray::number(port));
        // The page is loaded and the browser's window is where the pick would find it.
        ready_ = WaitUntil(
            [&] {
                window_ = platform::WindowAtPoint(QPoint(size.width() / 2, size.height() / 2));
                return window_ && browser::FindBrowser(window_) == browser::MatchResult::Matched &&
                       browser::CurrentBrowser()->Evaluate("document.readyState")->toString() ==
                           "complete";
            },
            30000);
        browser::ClearCurrentBrowser();
        WaitUntil([] { return false; }, 500);  // the first frames on the screen
    }
    ~Browser() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    bool ready() const { return ready_; }
    unsigned long window() const { return window_; }

  private:
    QTemporaryDir profile_;
    QProcess process_;
    unsigned long window_ = 0;
    bool ready_ = false;
};

void BM_WholePage(benchmark::State& state) {
    static PageServer server;
    Browser chromium(server.Url(), int(state.range(0)));
    if (!chromium.ready()) {
        state.SkipWithError("the browser did not show the page");
        return;
    }
    for (auto _ : state) {
        if (browser::FindBrowser(chromium.window()) != browser::MatchResult::Matched ||
            !CaptureWholePage()) {
            state.SkipWithError("no capture");
            break;
        }
        browser::ClearCurrentBrowser();
    }
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    QDir::setCurrent(home.path());
    CQuilletApp app(argc, argv);
    platform::SetMessageBoxRecorder([](const platform::MessageBoxCall& call) {
        std::fprintf(stderr, "message: %s\n", call.text.c_str());
        return platform::kAnswerOk;
    });
    if (!App()->InitInstance()) return 1;
    benchmark::Initialize(&argc, argv);
    for (int scale : {1, 2}) {
        benchmark::RegisterBenchmark("WholePage/scale", BM_WholePage)
            ->Arg(scale)
            ->Iterations(1)
            ->Repetitions(3)
            ->ComputeStatistics(
                "min",
                [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    App()->ExitInstance(0);
    return 0;
}
