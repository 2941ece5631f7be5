#include "browser/whole_page.h"

#include "app/quillet_app.h"
#include "browser/browser_access.h"
#include "capture/grab.h"
#include "capture/naming.h"
#include "image/raster.h"
#include "platform/escape_watch.h"
#include "platform/message_box.h"

#include <QJsonArray>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <vector>

namespace {

constexpr double kBottom = 20000000;
// The tallest capture: the JPEG copy the capture preview makes of it holds no more rows.
constexpr int kMaxRows = 65500;
// Rows each piece shares with the one before it, so that a scroll position rounded either way
// leaves no row uncovered; only the rows not yet covered are taken from a shot.
constexpr int kOverlapRows = 2;
// How long a scroll waits for the page's next frames before the shot is taken anyway.
constexpr int kPaintWaitMs = 1000;

// A log file of the capture; writes are skipped when it could not be opened.
class LogFile {
  public:
    explicit LogFile(const char* name) : file_(std::fopen(name, "w")) {}
    ~LogFile() {
        if (file_) std::fclose(file_);
    }
    template <typename... Args>
    void Print(const char* format, Args... args) {
        if (file_) std::fprintf(file_, format, args...);
    }

  private:
    std::FILE* file_;
};

// Where the page stands after a scroll, as the page reports it: the scroll position in CSS
// pixels (fractional when a CSS pixel is not a whole number of device pixels) and the device
// pixels per CSS pixel, page zoom included.
struct View {
    double top = 0;
    double ratio = 1;
    // The device row of the page at the top of the viewport: the browser scrolls by whole
    // device pixels.
    int DeviceTop() const { return int(std::lround(top * ratio)); }
};

// Scrolls the page's scrolling element at once (no smooth scrolling) and waits until the page
// has painted what the scroll brought in: the second animation frame begins once the first, the
// one that shows the new position, has been drawn. A page that draws no frame is given
// kPaintWaitMs. Nothing when the page does not answer.
std::optional<View> ScrollTo(browser::CurrentPage& page, double top) {
    const auto value = page.session.Evaluate(
        QString("new Promise((done) => { const e = document.scrollingElement; "
                "if (!e) { done(null); return; } "
                "e.scrollTo({top: %1, behavior: 'instant'}); "
                "const report = () => done([e.scrollTop, devicePixelRatio]); "
                "const late = setTimeout(report, %2); "
                "requestAnimationFrame(() => requestAnimationFrame(() => "
                "{ clearTimeout(late); report(); })); })")
            .arg(top, 0, 'f', 4)
            .arg(kPaintWaitMs),
        page.contextId, devtools::kCallTimeoutMs, true);
    if (!value || !value->isArray()) return std::nullopt;
    const QJsonArray reported = value->toArray();
    const View view{reported.at(0).toDouble(-1), reported.at(1).toDouble(0)};
    if (!(view.top >= 0 && view.top <= kBottom) || !(view.ratio > 0 && view.ratio <= 16)) {
        return std::nullopt;
    }
    return view;
}

// A screenshot of the viewport as it shows now, as the browser sends it (a PNG in base64).
QString Viewport(browser::CurrentPage& page) {
    const auto shot = page.session.Call("Page.captureScreenshot",
                                        {{"format", "png"}, {"optimizeForSpeed", true}}, 10000);
    return shot ? shot->value("data").toString() : QString();
}

// The height a PNG in base64 gives in its header, read before the picture is decoded; 0 when the
// data is no PNG.
int PngHeight(const QString& base64) {
    const QByteArray head = QByteArray::fromBase64(base64.left(32).toLatin1());
    if (head.size() < 24 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR") {
        return 0;
    }
    const quint32 height = qFromBigEndian<quint32>(head.constData() + 20);
    return height <= INT_MAX ? int(height) : 0;
}

// The rows of the stitched image that one piece covers, and where they come from in its shot.
struct Band {
    int y = 0;        // the first row in the stitched image
    int rows = 0;     // rows in the stitched image
    int shotTop = 0;  // the row of the shot that holds row y
    int placed = 0;   // rows filled from the shot (0 when it could not be read)
    int placedWidth = 0;
};

// Decodes a shot and copies its rows into the band, which is black where the shot holds nothing.
// Bands do not overlap, so shots are decoded on worker threads while the browser takes the next.
void Place(const QString& base64, Band& band, uchar* bits, qsizetype bytesPerLine, int width) {
    QImage shot;
    if (!base64.isEmpty()) {
        shot.loadFromData(QByteArray::fromBase64(base64.toLatin1()), "PNG");
        shot = shot.convertToFormat(QImage::Format_RGB32);
    }
    const int shotWidth = shot.isNull() ? 0 : std::min(width, shot.width());
    for (int row = 0; row < band.rows; ++row) {
        auto* line = reinterpret_cast<QRgb*>(bits + qsizetype(band.y + row) * bytesPerLine);
        const int from = band.shotTop + row;
        const int filled = from >= 0 && from < shot.height() ? shotWidth : 0;
        if (filled) {
            std::memcpy(line, shot.constScanLine(from), size_t(filled) * 4);
            ++band.placed;
        }
        std::fill(line + filled, line + width, qRgb(0, 0, 0));
    }
    band.placedWidth = band.placed ? shotWidth : 0;
}

}  // namespace

int CaptureWholePage() {
    App()->EnsureSessionFolders();
    browser::CurrentPage* page = browser::CurrentBrowser();
    if (!page) return 0;
    // The capture's files are written anew: files left under their names must not stand for it.
    const naming::CaptureNames pending = naming::PendingScreenCapture();
    std::remove(pending.image.c_str());
    std::remove(pending.thumbnail.c_str());

    LogFile pro2("pro2.txt");
    pro2.Print("get_Document\n");
    const auto measures = page->Evaluate(
        "(() => { const e = document.scrollingElement; if (!e) return null; "
        "const v = window.visualViewport; "
        "return [e.clientHeight, e.clientWidth, e.scrollHeight, e.scrollWidth, e.scrollTop, "
        "v ? v.height : e.clientHeight, v ? v.width : e.clientWidth]; })()");
    if (!measures || !measures->isArray()) return 0;
    const QJsonArray values = measures->toArray();
    const int step = values.at(0).toInt();
    const int width = values.at(1).toInt();
    const int scrollHeight = values.at(2).toInt();
    const double start = values.at(4).toDouble();
    // The viewport's size unrounded (without the scroll bars): at a fractional ratio clientHeight
    // and clientWidth round it to whole CSS pixels, which may be a device pixel more than it shows.
    const double viewHeight = values.at(5).toDouble(step);
    const double viewWidth = values.at(6).toDouble(width);
    if (step <= 0 || width <= 0) return 0;

    const std::optional<View> bottom = ScrollTo(*page, kBottom);
    const std::optional<View> first = ScrollTo(*page, 0);
    if (!bottom || !first) {
        ScrollTo(*page, start);
        return 0;
    }
    const int largest = int(std::lround(bottom->top));
    // clientHeight and clientWidth already leave out the scroll bars.
    const int hs = 0, vs = 0;
    const int total = largest + step;
    pro2.Print(
        "real scroll height: %ld, get_scrollHeight: %ld s: %ld window_height %d total_height %d\n",
        long(largest), long(scrollHeight), long(width), step, total);
    pro2.Print("p: %ld  s: %ld hs: %d vs: %d\n", long(step), long(width), hs, vs);
    pro2.Print("mmmmmmwidth=%d height=%d\tpages=%d left=%d tleft=%d\n", width, step, total / step,
               total % step, step - total % step);

    // Device pixels: the screenshots are taken at the page's pixel ratio. The page ends one
    // viewport below its largest scroll position.
    const double ratio = first->ratio;
    const int deviceWidth = std::max(1, int(std::lround(viewWidth * ratio)));
    const int viewRows = std::max(1, int(std::lround(viewHeight * ratio)));
    int deviceTotal = bottom->DeviceTop() + viewRows;
    // Every step after this one holds the picture (the image library, its BMP file, the preview's
    // JPEG copy): a longer page stops at the limit.
    const int heightLimit =
        int(std::min<uint64_t>(kMaxRasterPixels / uint64_t(deviceWidth), uint64_t(kMaxRows)));
    const bool cut = deviceTotal > heightLimit;
    if (cut) deviceTotal = heightLimit;

    QImage result(deviceWidth, deviceTotal, QImage::Format_RGB32);
    if (result.isNull()) {
        ScrollTo(*page, start);
        return 0;
    }
    uchar* bits = result.bits();
    const qsizetype bytesPerLine = result.bytesPerLine();
    // Every piece but the last adds at least viewRows - overlap - 1 rows; a page that stops
    // scrolling on ends the capture sooner.
    const int overlap = std::min(kOverlapRows, (viewRows - 1) / 2);
    const int most = deviceTotal / std::max(1, viewRows - overlap - 1) + 2;
    std::vector<Band> bands;
    bands.reserve(size_t(most));
    std::vector<std::future<void>> placing;
    placing.reserve(size_t(most));

    // Each piece is placed by the scroll position the page reports for it, and gives the rows
    // below those already covered. Each shot goes to a worker at once and the page scrolls on
    // meanwhile; no more than two shots wait to be decoded. Without a thread a shot is decoded
    // when it is waited for.
    platform::EscapeWatch escape;
    bool cancelled = false;
    std::optional<View> view = first;
    int covered = 0;
    for (int index = 0; covered < deviceTotal && index < most; ++index) {
        if (index > 0) {
            if (escape.Pressed()) {
                cancelled = true;
                break;
            }
            const double target = (covered - overlap) / ratio;
            view = ScrollTo(*page, target);
            pro2.Print("page=%d t_pos=%d \n", index - 1, int(std::lround(target)));
            if (!view) break;
        }
        const int top = view->DeviceTop();
        QString shot = Viewport(*page);
        const int end = std::min(deviceTotal, top + PngHeight(shot));
        if (end <= covered) break;  // no new rows: what is left stays black
        if (placing.size() >= 2) placing[placing.size() - 2].wait();
        bands.push_back({covered, end - covered, covered - top, 0, 0});
        placing.push_back(std::async(std::launch::async | std::launch::deferred, Place,
                                     std::move(shot), std::ref(bands.back()), bits, bytesPerLine,
                                     deviceWidth));
        covered = end;
    }
    ScrollTo(*page, start);
    for (std::future<void>& piece : placing) piece.wait();
    if (cancelled) return 0;
    if (std::none_of(bands.begin(), bands.end(), [](const Band& band) { return band.placed; })) {
        return 0;
    }

    LogFile pro3("pro3.txt");
    for (const Band& band : bands) {
        if (band.placed) {
            pro3.Print("nX%d  nY%d  bmWidth%d  bmHeight%d  \n", 0, band.y, band.placedWidth,
                       band.placed);
        }
    }
    const naming::CaptureNames names = naming::NextScreenCapture();
    HandCaptureToPreview(result, names.image);
    // Told once the capture is in the preview, where the user sees what it holds.
    if (cut) {
        platform::ShowMessage(
            QString("The page is too long for one picture: the capture stops after %1 rows.")
                .arg(deviceTotal)
                .toStdString(),
            "Quillet");
    }
    return 1;
}
