#include "browser/whole_page.h"

#include "app/quillet_app.h"
#include "browser/browser_access.h"
#include "capture/grab.h"
#include "capture/naming.h"
#include "image/raster.h"
#include "platform/message_box.h"

#include <QJsonArray>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// A screenshot of the viewport as it shows now, in device pixels.
QImage Viewport(browser::CurrentPage& page) {
    const auto shot = page.session.Call("Page.captureScreenshot",
                                        {{"format", "png"}, {"optimizeForSpeed", true}}, 10000);
    if (!shot) return {};
    QImage image;
    image.loadFromData(QByteArray::fromBase64(shot->value("data").toString().toLatin1()), "PNG");
    return image.convertToFormat(QImage::Format_RGB32);
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

    struct Piece {
        QImage image;
    };
    std::vector<Piece> pieces;
    int position = 0;
    for (int index = 0; index < pages; ++index) {
        const QImage shot = Viewport(*page);
        if (!shot.isNull()) {
            pieces.push_back({shot.copy(0, 0, std::min(deviceWidth, shot.width()),
                                        std::min(deviceStep, shot.height()))});
        }
        position += step;
        ScrollTo(*page, position);
        pro2.Print("page=%d t_pos=%d \n", index, position);
    }
    const int lastRows = deviceTotal - pages * deviceStep;
    if (lastRows > 0) {
        ScrollTo(*page, cut ? pages * step : kBottom);
        const QImage shot = Viewport(*page);
        const int rows = std::min(lastRows, shot.height());
        if (!shot.isNull() && rows > 0) {
            // At the bottom the last rows of the page are the bottom rows of the viewport; a
            // page cut at the limit goes on from where the full pieces ended.
            const int top = cut ? 0 : std::min(deviceStep, shot.height()) - rows;
            pieces.push_back(
                {shot.copy(0, std::max(0, top), std::min(deviceWidth, shot.width()), rows)});
        }
    }
    ScrollTo(*page, start);
    if (cut) {
        platform::ShowMessage(
            QString("The page is too long for one image: the capture stops after %1 rows.")
                .arg(deviceTotal)
                .toStdString(),
            "Quillet");
    }
    if (pieces.empty()) return 0;

    QImage result(deviceWidth, deviceTotal, QImage::Format_RGB32);
    if (result.isNull()) return 0;
    result.fill(Qt::black);
    LogFile pro3("pro3.txt");
    {
        QPainter painter(&result);
        int y = 0;
        for (Piece& piece : pieces) {
            painter.drawImage(0, y, piece.image);
            pro3.Print("nX%d  nY%d  bmWidth%d  bmHeight%d  \n", 0, y, piece.image.width(),
                       piece.image.height());
            y += piece.image.height();
            piece.image = QImage();
        }
    }
    const naming::CaptureNames names = naming::NextScreenCapture();
    HandCaptureToPreview(result, names.image);
    return 1;
}
