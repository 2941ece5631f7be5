// Browser picks against a real Chromium started on the test display with its DevTools port,
// showing pages served by the test's own small HTTP server.
#include "app/quillet_app.h"
#include "browser/browser_access.h"
#include "browser/page_choice.h"
#include "browser/whole_page.h"
#include "browser/devtools_client.h"
#include "capture/naming.h"
#include "capture/pick_dlg.h"
#include "image/qt/raster_qt.h"
#include "platform/message_box.h"
#include "support/pick_fixture.h"
#include "support/temp_folder.h"
#include "support/x11_input.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

QT_BEGIN_NAMESPACE
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

// Serves fixed pages on loopback and counts the requests for each path.
class PageServer {
  public:
    struct Page {
        QByteArray type;
        QByteArray body;
        QByteArray headers;  // extra header lines, each ending in "\r\n"
    };
    PageServer() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { Serve(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    void Add(const QString& path, const Page& page) { pages_[path] = page; }
    int Requests(const QString& path) const {
        const auto it = counts_.find(path);
        return it == counts_.end() ? 0 : it->second;
    }
    quint16 Port() const { return server_.serverPort(); }
    QString Url(const QString& path) const {
        return QString("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }

  private:
    void Serve(QTcpSocket* socket) {
        QByteArray& request = buffers_[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n")) return;
        const QString path = QString::fromLatin1(request.split(' ').value(1));
        buffers_.erase(socket);
        ++counts_[path];
        const auto it = pages_.find(path);
        QByteArray reply;
        if (it == pages_.end()) {
            reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else {
            reply = "HTTP/1.1 200 OK\r\nContent-Type: " + it->second.type +
                    "\r\nContent-Length: " + QByteArray::number(it->second.body.size()) +
                    "\r\nConnection: close\r\n" + it->second.headers + "\r\n" + it->second.body;
        }
        socket->write(reply);
        socket->disconnectFromHost();
    }
    QTcpServer server_;
    std::map<QString, Page> pages_;
    std::map<QString, int> counts_;
    std::map<QTcpSocket*, QByteArray> buffers_;
};

// A page whose rows are coloured by their device-pixel y coordinate, `screens` viewports tall;
// draw() lays it out again for the window's size and ratio once the window has settled. The rows
// are drawn on a canvas (c) and shown as an image, which the browser paints tile by tile as the
// page scrolls: a screenshot taken before that paint shows blank rows.
QByteArray RowsPage(double screens) {
    return QString(
               "<!DOCTYPE html><html><head><title>Rows</title><style>html,body{margin:0}"
               "canvas{display:block}</style></head><body><canvas id=c></canvas><script>"
               "function draw() {"
               "const r = devicePixelRatio, h = Math.round(innerHeight * %1);"
               "c.style.width = innerWidth + 'px'; c.style.height = h + 'px';"
               "c.width = Math.round(innerWidth * r); c.height = Math.round(h * r);"
               "const g = c.getContext('2d');"
               "for (let y = 0; y < c.height; y++) {"
               "  g.fillStyle = `rgb(${y % 256},${(y >> 8) % 256},${(y * 7) % 256})`;"
               "  g.fillRect(0, y, c.width, 1); } "
               "const i = document.getElementById('i') || document.createElement('img'); i.id = "
               "'i';"
               "i.style.cssText = c.style.cssText + ';display:block'; i.src = c.toDataURL();"
               "c.style.display = 'none'; document.body.appendChild(i); return c.height; } "
               "draw();</script></body></html>")
        .arg(screens)
        .toUtf8();
}

// A page of 30,000,000 CSS pixels whose first 81,920 rows are coloured by their y at scale 1, in a
// narrow band at the left.
QByteArray TallPage() {
    return "<!DOCTYPE html><html><head><title>Tall</title><style>html,body{margin:0}"
           "canvas{display:block;width:40px;height:16384px}</style></head><body><script>"
           "for (let k = 0; k < 5; k++) {"
           "  const c = document.createElement('canvas'); c.width = 40; c.height = 16384;"
           "  const g = c.getContext('2d');"
           "  for (let y = 0; y < 16384; y++) { const v = k * 16384 + y;"
           "    g.fillStyle = `rgb(${v % 256},${(v >> 8) % 256},${(v * 7) % 256})`;"
           "    g.fillRect(0, y, 40, 1); }"
           "  document.body.appendChild(c); }"
           "const d = document.createElement('div'); d.style.height = '29918080px';"
           "document.body.appendChild(d);</script></body></html>";
}

QRgb RowColour(int y) {
    return qRgb(y % 256, (y >> 8) % 256, (y * 7) % 256);
}

struct BrowserTest : PickFixture {
    void TearDown() override {
        if (chromium.state() != QProcess::NotRunning) {
            chromium.kill();
            chromium.waitForFinished(5000);
        }
        qunsetenv("QUILLET_CDP_PORT");
        PickFixture::TearDown();
    }

    // Starts Chromium with its window at `at` (in its own pixels, before the screen scale) on
    // `url`, waits for the page's load event and makes its DevTools port the program's. Returns
    // the port, 0 on failure.
    int StartChromium(const QString& url, double scale = 1, QPoint at = {}) {
        profile = std::make_unique<TempFolder>();
        chromium.start(
            "chromium",
            {"--no-sandbox", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--no-first-run", "--disable-quic", "--disable-gpu", "--test-type",
             "--hide-scrollbars", "--no-default-browser-check", "--password-store=basic",
             "--remote-debugging-port=0", "--user-data-dir=" + profile->path(),
             QString("--window-position=%1,%2").arg(at.x()).arg(at.y()), "--window-size=700,500",
             QString("--force-device-scale-factor=%1").arg(scale), url});
        if (!chromium.waitForStarted(10000)) return 0;
        int port = 0;
        testx11::PumpUntil(
            [&] {
                port = profile->Read("DevToolsActivePort").split('\n').value(0).toInt();
                return port > 0;
            },
            20000);
        if (!port) return 0;
        qputenv("QUILLET_CDP_PORT", QByteArray::number(port));
        std::vector<unsigned long> windows;
        const bool loaded = testx11::PumpUntil(
            [&] {
                const auto value = Eval(port, "document.readyState");
                windows = testx11::FindViewableWindows("hromium");
                return value && value->toString() == "complete" && !windows.empty();
            },
            20000);
        testx11::Pump(500);  // the first frame on the screen
        if (!loaded) return 0;
        window = windows.front();
        pagePoint = testx11::WindowScreenRect(window).topLeft() + QPoint(300, 300);
        return port;
    }

    // Zooms the page with the browser's own key (Ctrl+=, through 110, 125, 150 and 175 %) until
    // its pixel ratio is `ratio`.
    bool ZoomIn(int port, int steps, double ratio) {
        ClickAt(pagePoint);  // the keys go to the browser
        for (int step = 0; step < steps; ++step) {
            testx11::TapKeys({"Control_L", "equal"});
            testx11::Pump(300);
        }
        return testx11::PumpUntil([&] {
            const auto value = Eval(port, "devicePixelRatio");
            return value && std::abs(value->toDouble() - ratio) < 1e-6;
        });
    }

    // Evaluates in the main world of the first page.
    std::optional<QJsonValue> Eval(int port, const QString& expression) {
        const auto list = devtools::HttpGet(port, "/json/list");
        if (!list) return std::nullopt;
        for (const QJsonValue& item : QJsonDocument::fromJson(*list).array()) {
            if (item.toObject().value("type").toString() != "page") continue;
            devtools::Session session;
            if (!session.Open(port, "page/" + item.toObject().value("id").toString())) continue;
            return session.Evaluate(expression);
        }
        return std::nullopt;
    }

    // Sends a command to the first page.
    std::optional<QJsonObject> Call(int port, const QString& method, const QJsonObject& params) {
        const auto list = devtools::HttpGet(port, "/json/list");
        if (!list) return std::nullopt;
        for (const QJsonValue& item : QJsonDocument::fromJson(*list).array()) {
            if (item.toObject().value("type").toString() != "page") continue;
            devtools::Session session;
            if (!session.Open(port, "page/" + item.toObject().value("id").toString())) continue;
            return session.Call(method, params);
        }
        return std::nullopt;
    }

    // Gives the browser's window a new size (in its own pixels) and waits for the page to follow.
    bool ResizeWindow(int port, QSize size) {
        const auto window = Call(port, "Browser.getWindowForTarget", {});
        if (!window) return false;
        const QJsonObject bounds{{"width", size.width()}, {"height", size.height()}};
        Call(port, "Browser.setWindowBounds",
             {{"windowId", window->value("windowId")}, {"bounds", bounds}});
        return testx11::PumpUntil([&] {
            const auto outer = Eval(port, "outerWidth + 'x' + outerHeight");
            return outer &&
                   outer->toString() == QString("%1x%2").arg(size.width()).arg(size.height());
        });
    }

    // A pick released on the page, below the browser's toolbar.
    void Pick(int mode) {
        PickFixture::Pick(
            mode, [this](CPickDlg&) { ClickAt(pagePoint); }, 60000);
    }
    QStringList Log(const char* name) {
        return QString::fromLatin1(home.Read(name)).split('\n', Qt::SkipEmptyParts);
    }

    std::unique_ptr<TempFolder> profile;
    QProcess chromium;
    unsigned long window = 0;  // the browser's window
    QPoint pagePoint;
    PageServer server;
};

// Every row of the stitched image holds the colour of its own y on the page.
void ExpectRows(const QImage& image, int height, int coloured) {
    ASSERT_EQ(image.height(), height);
    int wrong = 0;
    for (int y = 0; y < coloured && wrong < 5; ++y) {
        if (image.pixel(10, y) != RowColour(y)) {
            ADD_FAILURE() << "row " << y << " holds " << std::hex << image.pixel(10, y);
            ++wrong;
        }
    }
}

// The pieces "pro3.txt" lists follow each other down to the last row, with no gap and no overlap.
void ExpectPiecesJoin(const QStringList& pro3, int width, int height) {
    const QRegularExpression form("^nX0  nY(\\d+)  bmWidth(\\d+)  bmHeight(\\d+)  $");
    int y = 0;
    for (const QString& line : pro3) {
        const QRegularExpressionMatch piece = form.match(line);
        ASSERT_TRUE(piece.hasMatch()) << line.toStdString();
        EXPECT_EQ(piece.captured(1).toInt(), y);
        EXPECT_EQ(piece.captured(2).toInt(), width);
        y += piece.captured(3).toInt();
    }
    EXPECT_EQ(y, height);
}

// Scale 1 at the screen's top left corner, scale 2 away from it. Returns the browser's port.
void WholePages(BrowserTest& t, int scale, QPoint at, int& port) {
    t.server.Add("/short", {"text/html", RowsPage(0.5), {}});
    t.server.Add("/long", {"text/html", RowsPage(2.5), {}});
    port = t.StartChromium(t.server.Url("/long"), scale, at);
    ASSERT_GT(port, 0);
    t.Eval(port, "draw()");
    const int step = t.Eval(port, "document.scrollingElement.clientHeight")->toInt();
    const int width = t.Eval(port, "document.scrollingElement.clientWidth")->toInt();
    const int total = t.Eval(port, "document.scrollingElement.scrollHeight")->toInt();
    ASSERT_GT(total, 2 * step);
    ASSERT_LT(total, 3 * step);
    t.Eval(port, "scrollTo({top: 37, behavior: 'instant'})");

    // 2.5 steps: three pieces, the page back where it was.
    t.Pick(CPickDlg::kModeWholePage);
    const QImage image = t.Capture(0);
    ASSERT_EQ(image.width(), width * scale);
    ExpectRows(image, total * scale, t.Eval(port, "c.height")->toInt());
    EXPECT_EQ(t.Eval(port, "scrollY")->toInt(), 37);
    const QStringList pro3 = t.Log("pro3.txt");
    ASSERT_EQ(pro3.size(), 3);
    ExpectPiecesJoin(pro3, width * scale, image.height());
    const QStringList pro2 = t.Log("pro2.txt");
    ASSERT_EQ(pro2.size(), 6);
    EXPECT_EQ(pro2[0], "get_Document");
    EXPECT_EQ(pro2[3], QString("mmmmmmwidth=%1 height=%2\tpages=2 left=%3 tleft=%4")
                           .arg(width)
                           .arg(step)
                           .arg(total - 2 * step)
                           .arg(3 * step - total));

    // A page no taller than the window: one piece and no scroll; both logs are replaced.
    t.Eval(port, QString("location.href = '%1'").arg(t.server.Url("/short")));
    ASSERT_TRUE(testx11::PumpUntil([&] {
        const auto state = t.Eval(port, "location.pathname + document.readyState");
        return state && state->toString() == "/shortcomplete";
    }));
    t.Eval(port, "draw()");
    testx11::Pump(300);
    t.Pick(CPickDlg::kModeWholePage);
    ExpectRows(t.Capture(1), step * scale, t.Eval(port, "c.height")->toInt());
    EXPECT_EQ(t.Log("pro3.txt").size(), 1);
    EXPECT_EQ(t.Log("pro2.txt").size(), 4);
    EXPECT_TRUE(t.messages.empty());
}

// A browser window whose endpoint accepts and never answers, then one where nothing listens:
// neither hangs the program, the user is told once, and nothing is captured.
TEST_F(BrowserTest, UnreachableEndpointIsToldOnceAndNeverHangs) {
    server.Add("/short", {"text/html", RowsPage(0.5), {}});
    ASSERT_GT(StartChromium(server.Url("/short")), 0);
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    std::vector<std::unique_ptr<QTcpSocket>> held;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = silent.nextPendingConnection()) held.emplace_back(socket);
    });
    qputenv("QUILLET_CDP_PORT", QByteArray::number(silent.serverPort()));
    QElapsedTimer timer;
    timer.start();
    Pick(CPickDlg::kModeWholePage);
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_FALSE(held.empty()) << "the endpoint was asked";
    const std::vector<std::string> told{
        "Quillet cannot reach this browser. Start it with --remote-debugging-port=9222 and a "
        "separate --user-data-dir to capture its pages."};
    EXPECT_EQ(messages, told);

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 nobody = closed.serverPort();
    closed.close();
    qputenv("QUILLET_CDP_PORT", QByteArray::number(nobody));
    Pick(CPickDlg::kModeWholePage);
    EXPECT_EQ(messages, told);
    EXPECT_EQ(App()->captureCounter, 0);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

QByteArray PngOf(QRgb colour) {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Navigates the page and waits for its load event.
bool Navigate(BrowserTest& t, int port, const QString& path) {
    t.Eval(port, QString("location.href = '%1'").arg(t.server.Url(path)));
    const bool loaded = testx11::PumpUntil([&] {
        const auto state = t.Eval(port, "location.pathname + ' ' + document.readyState");
        return state && state->toString() == path + " complete";
    });
    testx11::Pump(300);
    return loaded;
}

TEST_F(BrowserTest, PageSourceIsSavedWithImagesFromTheBrowser) {
    const QByteArray cached = PngOf(qRgb(10, 200, 30)), uncached = PngOf(qRgb(200, 10, 30));
    const QByteArray other = PngOf(qRgb(30, 10, 200));
    // c.png comes from another origin (localhost rather than 127.0.0.1).
    const QString otherOrigin = server.Url("/img/c.png").replace("127.0.0.1", "localhost");
    server.Add("/report", {"text/html",
                           "<html><head><title>Report.2004.final</title></head><body><p>Q3</p>"
                           "<img src='/img/a.png'><img src='/img/b.png'><img src='" +
                               otherOrigin.toUtf8() + "'></body></html>",
                           {}});
    server.Add("/img/a.png", {"image/png", cached, "Cache-Control: max-age=3600\r\n"});
    server.Add("/img/b.png", {"image/png", uncached, "Cache-Control: no-store\r\n"});
    server.Add("/img/c.png", {"image/png", other, "Cache-Control: no-cache\r\n"});
    server.Add("/plain", {"text/html", "<title>Plain</title><p>no images</p>", {}});
    server.Add("/hostile", {"text/html",
                            "<title>../../escape.x</title><img src='/img/..%2F.hidden.png'>"
                            "<img src='/img/.hidden.png'>",
                            {}});
    server.Add("/img/.hidden.png", {"image/png", cached, {}});
    const int port = StartChromium(server.Url("/report"));
    ASSERT_GT(port, 0);
    const QString html = Eval(port, "document.body.outerHTML")->toString();
    const QDir htmlFolder(QString::fromStdString(App()->sessionHtmlFolder));

    Pick(CPickDlg::kModePageSource);
    const QString report = htmlFolder.filePath("Report/");
    EXPECT_EQ(QString::fromUtf8(ReadAll(report + "Report.2004.final.htm")), html);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), html);
    // Images the browser's cache keeps, from either origin, are saved; the one sent with
    // no-store is skipped, though the page still shows it. None is fetched a second time.
    EXPECT_EQ(ReadAll(report + "a.png"), cached);
    EXPECT_EQ(ReadAll(report + "c.png"), other);
    EXPECT_FALSE(QFile::exists(report + "b.png"));
    EXPECT_EQ(server.Requests("/img/a.png"), 1);
    EXPECT_EQ(server.Requests("/img/b.png"), 1);
    EXPECT_EQ(server.Requests("/img/c.png"), 1);

    // Twice: the page file and the image are written again.
    WriteAll(report + "Report.2004.final.htm", "old");
    WriteAll(report + "a.png", "old");
    Pick(CPickDlg::kModePageSource);
    EXPECT_EQ(QString::fromUtf8(ReadAll(report + "Report.2004.final.htm")), html);
    EXPECT_EQ(ReadAll(report + "a.png"), cached);

    ASSERT_TRUE(Navigate(*this, port, "/plain"));
    Pick(CPickDlg::kModePageSource);
    EXPECT_EQ(QDir(htmlFolder.filePath("Plain")).entryList(QDir::Files), QStringList{"Plain.htm"});

    // A title and image names that would leave the folder: nothing is written for them.
    ASSERT_TRUE(Navigate(*this, port, "/hostile"));
    Pick(CPickDlg::kModePageSource);
    EXPECT_EQ(htmlFolder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"Plain", "Report"}));
    EXPECT_FALSE(home.Exists("escape"));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(".hidden.png"));
    EXPECT_TRUE(messages.empty());
}

// Captures the page "/rows" shows, through a pick or straight from the browser's window: every
// device row lands in its own row and the page is back where it was.
void ExpectWholePage(BrowserTest& t, int port, int n, bool pick = true) {
    const double before = t.Eval(port, "scrollY")->toDouble();
    if (pick) {
        t.Pick(CPickDlg::kModeWholePage);
    } else {
        ASSERT_EQ(browser::FindBrowser(t.window), browser::MatchResult::Matched);
        CaptureWholePage();
        browser::ClearCurrentBrowser();
    }
    ASSERT_EQ(App()->captureCounter, n + 1) << "no capture" << testing::PrintToString(t.messages);
    const int rows = t.Eval(port, "c.height")->toInt();
    const QImage image = t.Capture(n);
    ExpectRows(image, rows, rows);
    ExpectPiecesJoin(t.Log("pro3.txt"), image.width(), rows);
    EXPECT_EQ(t.Eval(port, "scrollY")->toDouble(), before);
    // The files are large and checked: they go.
    for (const char* extension : {"bmp", "jpg"}) {
        QFile::remove(t.home.File(QString("cache/IT-%1.%2").arg(n).arg(extension)));
    }
}

// A page of 30,000,000 pixels stops at the tallest picture every step after the capture can hold
// (65,500 rows), row for row, and the user is told once. Escape pressed while such a page is
// captured cancels it between pieces, and files left from before under the capture's names go.
void VeryTallPage(BrowserTest& t, int port) {
    t.server.Add("/tall", {"text/html", TallPage(), {}});
    ASSERT_TRUE(Navigate(t, port, "/tall"));
    // A taller window takes fewer pieces.
    ASSERT_TRUE(t.ResizeWindow(port, QSize(700, 1000)));
    const int counter = App()->captureCounter;
    t.Pick(CPickDlg::kModeWholePage);
    ASSERT_EQ(App()->captureCounter, counter + 1) << testing::PrintToString(t.messages);
    ExpectRows(t.Capture(counter), 65500, 65500);
    const std::vector<std::string> told{
        "The page is too long for one picture: the capture stops after 65500 rows."};
    EXPECT_EQ(t.messages, told);
    const int pieces = t.Log("pro3.txt").size();
    EXPECT_GT(pieces, 60);

    const naming::CaptureNames stale = naming::PendingScreenCapture();
    for (const std::string& file : {stale.image, stale.thumbnail}) {
        WriteAll(QString::fromStdString(file), "left from an earlier run");
    }
    t.Eval(port, "scrollTo({top: 1234, behavior: 'instant'})");
    QTimer escape;
    escape.setInterval(100);
    QObject::connect(&escape, &QTimer::timeout, [] {
        if (!RunningPick()) testx11::TapKey("Escape");  // once the pick has ended
    });
    t.PickFixture::Pick(
        CPickDlg::kModeWholePage,
        [&](CPickDlg&) {
            escape.start();
            BrowserTest::ClickAt(t.pagePoint);
        },
        60000);
    escape.stop();
    EXPECT_EQ(App()->captureCounter, counter + 1);
    EXPECT_EQ(t.messages, told);
    const QStringList pro2 = t.Log("pro2.txt");
    ASSERT_FALSE(pro2.isEmpty());
    EXPECT_EQ(pro2[0], "get_Document") << "the capture began";
    EXPECT_LT(pro2.filter("page=").size(), pieces / 4);
    EXPECT_EQ(t.Eval(port, "scrollY")->toInt(), 1234);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(stale.image)));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(stale.thumbnail)));
}

// Scale 1 at the screen's corner; then a very tall page; then page zoom 125 %, where the
// viewport's width rounded to CSS pixels is a device pixel wider than the screenshots.
TEST_F(BrowserTest, WholePageIsStitchedRowByRow) {
    int port = 0;
    WholePages(*this, 1, {}, port);
    if (HasFatalFailure()) return;
    VeryTallPage(*this, port);
    if (HasFatalFailure()) return;
    server.Add("/rows", {"text/html", RowsPage(8.5), {}});
    ASSERT_TRUE(Navigate(*this, port, "/rows"));
    ASSERT_TRUE(ZoomIn(port, 2, 1.25));
    Eval(port, "draw()");
    ExpectWholePage(*this, port, App()->captureCounter, false);
}

// Scale 2, away from the screen's corner. Then twenty captures in a row of a page 8.5 screens
// tall, each equal to the page: every shot waits until the page has painted its scroll (straight
// from the browser's window: the picks are tried above).
TEST_F(BrowserTest, WholePageAtScaleTwo) {
    int port = 0;
    WholePages(*this, 2, QPoint(200, 40), port);
    if (HasFatalFailure()) return;
    // A narrower window: smaller pictures, as many pieces.
    ResizeWindow(port, QSize(400, 500));
    server.Add("/rows", {"text/html", RowsPage(8.5), {}});
    ASSERT_TRUE(Navigate(*this, port, "/rows"));
    Eval(port, "draw()");
    for (int n = 2; n < 22; ++n) {
        SCOPED_TRACE(n);
        ExpectWholePage(*this, port, n, false);
    }
}

// Away from the screen's left edge at screen scale 1.25, at page zoom 100, 110 and 175 % (1.25,
// 1.375 and 2.1875 device pixels per CSS pixel): the pick finds the page and every device row of
// a page 8.5 screens tall lands in its own row. Then an endpoint that lists no page at all: the
// pick says so.
TEST_F(BrowserTest, WholePageAtFractionalScaleAndPageZoom) {
    server.Add("/rows", {"text/html", RowsPage(8.5), {}});
    const int port = StartChromium(server.Url("/rows"), 1.25, QPoint(300, 60));
    ASSERT_GT(port, 0);
    const struct {
        int steps;
        double ratio;
    } zooms[] = {{0, 1.25}, {1, 1.375}, {3, 2.1875}};
    int n = 0;
    for (const auto& zoom : zooms) {
        SCOPED_TRACE(zoom.ratio);
        ASSERT_TRUE(ZoomIn(port, zoom.steps, zoom.ratio));
        Eval(port, "draw(); scrollTo({top: 37, behavior: 'instant'})");
        testx11::Pump(300);
        ExpectWholePage(*this, port, n++);
    }
    EXPECT_TRUE(messages.empty()) << testing::PrintToString(messages);

    server.Add("/json/list", {"application/json", "[]", {}});
    qputenv("QUILLET_CDP_PORT", QByteArray::number(server.Port()));
    Pick(CPickDlg::kModeWholePage);
    const std::vector<std::string> told{
        "Quillet found no web page in this browser window. Only the pages of the browser started "
        "with --remote-debugging-port=9222 can be captured."};
    EXPECT_EQ(messages, told);
    EXPECT_EQ(App()->captureCounter, n);
}

// Without a pick, as on Wayland: the one visible page is taken without a question and a tab
// behind another is never offered; two windows are a choice, and Cancel takes none. A browser
// that shows no page, or does not answer, is told.
TEST_F(BrowserTest, VisiblePageIsTakenOrChosenWithoutAPick) {
    for (const char* name : {"Alpha", "Beta", "Gamma"}) {
        server.Add(QString("/") + name,
                   {"text/html", QByteArray("<title>") + name + "</title><p>" + name, {}});
    }
    const int port = StartChromium(server.Url("/Alpha"));
    ASSERT_GT(port, 0);
    ASSERT_TRUE(
        Call(port, "Target.createTarget", {{"url", server.Url("/Beta")}, {"background", true}}));

    std::vector<std::vector<browser::PageLabel>> asked;
    QString wanted;  // the title to choose; none: Cancel
    const browser::PageChooser choose = [&](const std::vector<browser::PageLabel>& pages) {
        asked.push_back(pages);
        for (size_t i = 0; i < pages.size(); ++i)
            if (pages[i].title == wanted) return std::optional<int>(int(i));
        return std::optional<int>();
    };
    QString taken;
    const auto command = [&] { taken = browser::CurrentBrowser()->title; };
    // The background tab has loaded: it is listed, yet not shown.
    ASSERT_TRUE(testx11::PumpUntil([&] {
        const auto list = devtools::HttpGet(port, "/json/list");
        return list && list->contains("\"Beta\"");
    }));
    EXPECT_TRUE(browser::RunOnVisiblePage(choose, command));
    EXPECT_EQ(taken, "Alpha");
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(browser::CurrentBrowser(), nullptr);

    // Beside the first window: a window that covers another hides its page.
    ASSERT_TRUE(Call(port, "Target.createTarget",
                     {{"url", server.Url("/Gamma")},
                      {"newWindow", true},
                      {"left", 720},
                      {"top", 0},
                      {"width", 500},
                      {"height", 400}}));
    ASSERT_TRUE(testx11::PumpUntil([&] {
        asked.clear();
        browser::FindVisiblePage(choose);
        return !asked.empty() && asked.back().size() == 2 && !asked.back()[0].title.isEmpty() &&
               !asked.back()[1].title.isEmpty();
    })) << "the second window's page does not show";
    browser::ClearCurrentBrowser();
    for (const QString& title : {QString("Gamma"), QString("Alpha")}) {
        wanted = title;
        asked.clear();
        EXPECT_TRUE(browser::RunOnVisiblePage(choose, command));
        EXPECT_EQ(taken, title);
        ASSERT_EQ(asked.size(), 1u);
        QStringList offered;
        for (const browser::PageLabel& page : asked[0]) offered << page.title + " " + page.url;
        offered.sort();
        EXPECT_EQ(offered,
                  (QStringList{"Alpha " + server.Url("/Alpha"), "Gamma " + server.Url("/Gamma")}));
    }
    wanted.clear();
    taken.clear();
    EXPECT_FALSE(browser::RunOnVisiblePage(choose, command));
    EXPECT_TRUE(taken.isEmpty());
    EXPECT_EQ(browser::CurrentBrowser(), nullptr);
    EXPECT_TRUE(messages.empty()) << testing::PrintToString(messages);

    server.Add("/json/list", {"application/json", "[]", {}});
    qputenv("QUILLET_CDP_PORT", QByteArray::number(server.Port()));
    EXPECT_FALSE(browser::RunOnVisiblePage(choose, command));
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 nobody = closed.serverPort();
    closed.close();
    qputenv("QUILLET_CDP_PORT", QByteArray::number(nobody));
    EXPECT_FALSE(browser::RunOnVisiblePage(choose, command));
    EXPECT_TRUE(taken.isEmpty());
    const std::vector<std::string> told{browser::kNoVisiblePageMessage,
                                        browser::kUnreachableMessage};
    EXPECT_EQ(messages, told);
}

}  // namespace
