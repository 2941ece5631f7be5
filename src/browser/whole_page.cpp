#include "browser/whole_page.h"

#include "app/quillet_app.h"
#include "browser/browser_access.h"
#include "capture/grab.h"
#include "capture/naming.h"
#include "image/raster.h"
#include "platform/message_box.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <vector>

namespace {

constexpr int kBottom = 20000000;

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

// Scrolls the page's scrolling element at once (no smooth scrolling) and returns where it
// ended, rounded to a CSS pixel; -1 when the page does not answer.
int ScrollTo(browser::CurrentPage& page, int top) {
    const auto value = page.Evaluate(
        QString("(() => { const e = document.scrollingElement; if (!e) return -1; "
                "e.scrollTo({top: %1, behavior: 'instant'}); return Math.round(e.scrollTop); })()")
            .arg(top));
    return value && value->isDouble() ? value->toInt() : -1;
}

// A screenshot of the viewport as it shows now, as the browser sends it (a PNG in base64).
QString Viewport(browser::CurrentPage& page) {
    const auto shot = page.session.Call("Page.captureScreenshot",
                                        {{"format", "png"}, {"optimizeForSpeed", true}}, 10000);
    return shot ? shot->value("data").toString() : QString();
}

// The rows of the stitched image that one piece covers, and where they come from in its shot.
struct Band {
    int y = 0;        // the first row in the stitched image
    int rows = 0;     // rows in the stitched image
    int fromTop = 0;  // the first row taken from the shot; -1: the bottom rows of the top step
    int placed = 0;   // rows filled from the shot (0 when it could not be read)
    int placedWidth = 0;
};

// Decodes a shot and copies its rows into the band, which is black where the shot holds nothing.
// Bands do not overlap, so shots are decoded on worker threads while the browser takes the next.
void Place(const QString& base64, Band& band, uchar* bits, qsizetype bytesPerLine, int width,
           int step) {
    QImage shot;
    if (!base64.isEmpty()) {
        shot.loadFromData(QByteArray::fromBase64(base64.toLatin1()), "PNG");
        shot = shot.convertToFormat(QImage::Format_RGB32);
    }
    int top = 0;
    if (!shot.isNull()) {
        band.placedWidth = std::min(width, shot.width());
        band.placed = std::min(band.rows, shot.height());
        // At the bottom the last rows of the page are the bottom rows of the viewport's top step.
        top = band.fromTop >= 0 ? band.fromTop
                                : std::max(0, std::min(step, shot.height()) - band.placed);
        band.placed = std::max(0, std::min(band.placed, shot.height() - top));
    }
    for (int row = 0; row < band.rows; ++row) {
        auto* line = reinterpret_cast<QRgb*>(bits + qsizetype(band.y + row) * bytesPerLine);
        const int filled = row < band.placed ? band.placedWidth : 0;
        if (filled) std::memcpy(line, shot.constScanLine(top + row), size_t(filled) * 4);
        std::fill(line + filled, line + width, qRgb(0, 0, 0));
    }
}

}  // namespace

int CaptureWholePage() {
    App()->EnsureSessionFolders();
    browser::CurrentPage* page = browser::CurrentBrowser();
    if (!page) return 0;

    LogFile pro2("pro2.txt");
    pro2.Print("get_Document\n");
    const auto measures = page->Evaluate(
        "(() => { const e = document.scrollingElement; if (!e) return null; "
        "return [e.clientHeight, e.clientWidth, e.scrollHeight, e.scrollWidth, "
        "Math.round(e.scrollTop)]; })()");
    if (!measures || !measures->isArray()) return 0;
    const QJsonArray values = measures->toArray();
    const int step = values.at(0).toInt();
    const int width = values.at(1).toInt();
    const int scrollHeight = values.at(2).toInt();
    const int start = values.at(4).toInt();
    if (step <= 0 || width <= 0) return 0;

    const int largest = std::max(0, ScrollTo(*page, kBottom));
    ScrollTo(*page, 0);
    // clientHeight and clientWidth already leave out the scroll bars.
    const int hs = 0, vs = 0;
    const int total = largest + step;
    int pages = total / step;
    const int remainder = total % step;
    const int lead = step - remainder;
    pro2.Print(
        "real scroll height: %ld, get_scrollHeight: %ld s: %ld window_height %d total_height %d\n",
        long(largest), long(scrollHeight), long(width), step, total);
    pro2.Print("p: %ld  s: %ld hs: %d vs: %d\n", long(step), long(width), hs, vs);
    pro2.Print("mmmmmmwidth=%d height=%d\tpages=%d left=%d tleft=%d\n", width, step, pages,
               remainder, lead);

    // Device pixels: the screenshots are taken at the page's pixel ratio.
    const double ratio = page->pixelRatio;
    const int deviceWidth = int(std::lround(width * ratio));
    const int deviceStep = int(std::lround(step * ratio));
    int deviceTotal = int(std::lround(total * ratio));
    // The image library holds no more pixels than this: a longer page stops at the limit.
    const int heightLimit =
        int(std::min<uint64_t>(kMaxRasterPixels / uint64_t(deviceWidth), uint64_t(INT32_MAX)));
    bool cut = false;
    if (deviceTotal > heightLimit) {
        cut = true;
        deviceTotal = heightLimit;
        pages = std::min(pages, heightLimit / deviceStep);
    }

    QImage result(deviceWidth, deviceTotal, QImage::Format_RGB32);
    if (result.isNull()) {
        ScrollTo(*page, start);
        return 0;
    }
    uchar* bits = result.bits();
    const qsizetype bytesPerLine = result.bytesPerLine();
    std::vector<Band> bands;
    bands.reserve(size_t(pages) + 1);
    std::vector<std::future<void>> placing;
    placing.reserve(size_t(pages) + 1);
    // Each shot goes to a worker at once and the page scrolls on meanwhile; no more than two
    // shots wait to be decoded. Without a thread a shot is decoded when it is waited for.
    auto take = [&](int y, int rows, int fromTop) {
        rows = std::min(rows, deviceTotal - y);
        if (rows <= 0) return;
        if (placing.size() >= 2) placing[placing.size() - 2].wait();
        bands.push_back({y, rows, fromTop, 0, 0});
        QString shot = Viewport(*page);
        placing.push_back(std::async(std::launch::async | std::launch::deferred, Place,
                                     std::move(shot), std::ref(bands.back()), bits, bytesPerLine,
                                     deviceWidth, deviceStep));
    };
    int position = 0;
    for (int index = 0; index < pages; ++index) {
        take(index * deviceStep, deviceStep, 0);
        position += step;
        ScrollTo(*page, position);
        pro2.Print("page=%d t_pos=%d \n", index, position);
    }
    const int lastRows = deviceTotal - pages * deviceStep;
    if (lastRows > 0) {
        // A page cut at the limit goes on from where the full pieces ended.
        ScrollTo(*page, cut ? pages * step : kBottom);
        take(pages * deviceStep, lastRows, cut ? 0 : -1);
    }
    ScrollTo(*page, start);
    for (std::future<void>& piece : placing) piece.wait();
    if (cut) {
        platform::ShowMessage(
            QString("The page is too long for one image: the capture stops after %1 rows.")
                .arg(deviceTotal)
                .toStdString(),
            "Quillet");
    }
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
    return 1;
}
