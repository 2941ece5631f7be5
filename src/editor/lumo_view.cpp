#include "editor/lumo_view.h"

#include "app/quillet_app.h"
#include "editor/annotation/annotation_tools.h"
#include "editor/lumo_doc.h"
#include "editor/lumo_print.h"
#include "editor/main_frame.h"
#include "ids.h"
#include "image/qt/raster_qt.h"
#include "platform/message_box.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

void (*g_thumbnailMaker)(CLumoDoc&) = nullptr;

// The refresh request (user message 0x401): every view of the document is refreshed.
constexpr QEvent::Type kRefreshEvent =
    static_cast<QEvent::Type>(QEvent::User + ids::kMsgRefreshViews);

// The screen copy is converted in pieces of one row and this many columns.
constexpr int kBandWidth = 256;

// Scaled size of the picture: trunc(size × zoom).
int Scaled(uint32_t size, float zoom) {
    return static_cast<int>(static_cast<float>(size) * zoom);
}

// new size × old position / old size, in 64 bits (large pictures at zoom 16 overflow 32).
int KeepRelative(int oldPosition, int oldSize, int newSize) {
    return static_cast<int>(int64_t{newSize} * oldPosition / oldSize);
}

}  // namespace

void CLumoView::SetThumbnailMaker(void (*maker)(CLumoDoc&)) {
    g_thumbnailMaker = maker;
}

CLumoView::CLumoView(CLumoDoc* doc, QWidget* parent) : QAbstractScrollArea(parent), doc_(doc) {
    setObjectName("CLumoView");
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    viewport()->setMouseTracking(false);
    connect(doc, &CLumoDoc::viewsUpdated, this, &CLumoView::OnUpdate);
}

CLumoView::~CLumoView() {
    // A text being edited goes with the window, unkept.
    if (textEditor_) {
        textEditor_->removeEventFilter(this);
        delete textEditor_;
    }
}

qreal CLumoView::Ratio() const {
    return viewport()->devicePixelRatioF();
}

QMdiSubWindow* CLumoView::Frame() const {
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

QPoint CLumoView::ScrollPosition() const {
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void CLumoView::ScrollTo(QPoint devicePosition) {
    horizontalScrollBar()->setValue(devicePosition.x());
    verticalScrollBar()->setValue(devicePosition.y());
}

void CLumoView::SetDragRect(int left, int top, int right, int bottom) {
    dragLeft_ = left;
    dragTop_ = top;
    dragRight_ = right;
    dragBottom_ = bottom;
    viewport()->update();
}

// --- refreshes ----------------------------------------------------------------------------------

void CLumoView::OnUpdate(int hint) {
    if (!doc_) return;
    if (selected_ >= doc_->annotations.Count()) selected_ = -1;
    if (hint == ids::kHintAnnotationsChanged) {
        viewport()->update();
        return;
    }
    RebuildScreenCopy();
    const CRaster* image = doc_->image.get();
    const QSize oldSize = scrollSize_;
    const QPoint oldPosition = ScrollPosition();
    scrollSize_ =
        image ? QSize(Scaled(image->GetWidth(), doc_->zoom), Scaled(image->GetHeight(), doc_->zoom))
              : QSize();
    // A document without a picture (File New) keeps its window's size.
    if (hint == ids::kHintImageChanged && image) FitFrame();
    UpdateScrollBars();
    if (hint == ids::kHintImageChanged && oldSize.width() > 0 && oldSize.height() > 0) {
        ScrollTo(QPoint(KeepRelative(oldPosition.x(), oldSize.width(), scrollSize_.width()),
                        KeepRelative(oldPosition.y(), oldSize.height(), scrollSize_.height())));
    }
    // What is in sight is converted now, so that a paint while the next operation runs finds
    // it ready.
    const qreal ratio = Ratio();
    std::vector<int> rows;
    int firstColumn = 0, lastColumn = -1;
    VisibleSource(QRect(0, 0, static_cast<int>(std::ceil(viewport()->width() * ratio)),
                        static_cast<int>(std::ceil(viewport()->height() * ratio))),
                  rows, firstColumn, lastColumn);
    ConvertPieces(rows, firstColumn, lastColumn);
    viewport()->update();
}

void CLumoView::RebuildScreenCopy() {
    converted_.clear();
    bands_ = 0;
    const CRaster* image = doc_ ? doc_->image.get() : nullptr;
    if (!image || !image->IsValid()) {
        screenCopy_ = QImage();
        return;
    }
    const QSize size(static_cast<int>(image->GetWidth()), static_cast<int>(image->GetHeight()));
    if (screenCopy_.size() != size) screenCopy_ = QImage(size, QImage::Format_RGB32);
    if (screenCopy_.isNull()) return;  // no memory for it: the view shows its background
    bands_ = (size.width() + kBandWidth - 1) / kBandWidth;
    converted_.assign(static_cast<size_t>(size.height()) * static_cast<size_t>(bands_), 0);
    // A picture that lets the background through (or is not drawn) is blended over it.
    copiedBpp_ = image->GetBpp();
    opaque_ = image->IsEnabled() && image->GetTransIndex() == -1 && !image->AlphaIsValid() &&
              !image->IsAlphaPaletteEnabled();
    background_ = palette().color(QPalette::Base).rgb();
}

void CLumoView::VisibleSource(const QRect& device, std::vector<int>& rows, int& firstColumn,
                              int& lastColumn) const {
    rows.clear();
    firstColumn = 0;
    lastColumn = -1;
    if (!doc_ || screenCopy_.isNull() || scrollSize_.isEmpty() || device.isEmpty()) return;
    const float zoom = doc_->zoom;
    const QPoint scroll = ScrollPosition();
    const int firstX = device.left() + scroll.x();
    const int columns = std::min(device.width(), scrollSize_.width() - firstX);
    if (columns <= 0) return;
    // The same arithmetic as the paint's: device pixel p shows picture pixel p / zoom.
    firstColumn =
        std::min(static_cast<int>(static_cast<float>(firstX) / zoom), screenCopy_.width() - 1);
    lastColumn = std::min(static_cast<int>(static_cast<float>(firstX + columns - 1) / zoom),
                          screenCopy_.width() - 1);
    for (int row = 0; row < device.height(); ++row) {
        const int y = device.top() + scroll.y() + row;
        if (y >= scrollSize_.height()) break;
        const int sourceY =
            std::min(static_cast<int>(static_cast<float>(y) / zoom), screenCopy_.height() - 1);
        if (rows.empty() || rows.back() != sourceY) rows.push_back(sourceY);
    }
}

void CLumoView::ConvertPieces(const std::vector<int>& rows, int firstColumn, int lastColumn) {
    if (!doc_ || doc_->IsBusy() || !doc_->image || converted_.empty() || lastColumn < firstColumn)
        return;
    const CRaster& image = *doc_->image;
    const int width = screenCopy_.width();
    const int height = screenCopy_.height();
    const uint32_t bpp = image.GetBpp();
    // A picture swapped in without a refresh yet is left to that refresh.
    if (static_cast<int>(image.GetWidth()) != width ||
        static_cast<int>(image.GetHeight()) != height || bpp != copiedBpp_)
        return;
    const CBitmapRows pixels(image);
    const int firstBand = firstColumn / kBandWidth, lastBand = lastColumn / kBandWidth;
    for (int y : rows) {
        uint8_t* done = converted_.data() + static_cast<size_t>(y) * static_cast<size_t>(bands_);
        auto* out = reinterpret_cast<QRgb*>(screenCopy_.scanLine(y));
        for (int band = firstBand; band <= lastBand;) {
            if (done[band]) {
                ++band;
                continue;
            }
            // A run of pieces not converted yet, in one go.
            int end = band;
            while (end < lastBand && !done[end + 1]) ++end;
            const int x0 = band * kBandWidth, x1 = std::min((end + 1) * kBandWidth, width);
            std::fill(done + band, done + end + 1, uint8_t{1});
            band = end + 1;
            if (opaque_) {
                pixels.Convert(y, x0, x1, out);
            } else {
                std::fill(out + x0, out + x1, background_);
                const QRect piece(x0, y, x1 - x0, 1);
                Draw(image, screenCopy_, 0, 0, -1, -1, &piece);
            }
        }
    }
}

// The pages are the viewport as it is to be, not as it is: right after a change of size or zoom
// the viewport still leaves room for the scroll bars of before. Without bars when the picture
// fits the whole area, less a bar's breadth for each bar the picture needs.
void CLumoView::UpdateScrollBars() {
    const qreal ratio = Ratio();
    const QSize area = maximumViewportSize();
    const int barBreadth[] = {horizontalScrollBar()->sizeHint().height(),
                              verticalScrollBar()->sizeHint().width()};
    const auto device = [ratio](int length) {
        return static_cast<int>(std::lround(length * ratio));
    };
    bool across = scrollSize_.width() > device(area.width());
    bool down = scrollSize_.height() > device(area.height());
    if (across && !down) down = scrollSize_.height() > device(area.height() - barBreadth[0]);
    if (down && !across) across = scrollSize_.width() > device(area.width() - barBreadth[1]);
    const QSize page(device(area.width() - (down ? barBreadth[1] : 0)),
                     device(area.height() - (across ? barBreadth[0] : 0)));
    QScrollBar* bars[] = {horizontalScrollBar(), verticalScrollBar()};
    const int sizes[] = {scrollSize_.width(), scrollSize_.height()};
    const int pages[] = {page.width(), page.height()};
    for (int i = 0; i < 2; ++i) {
        bars[i]->setRange(0, std::max(0, sizes[i] - pages[i]));
        bars[i]->setPageStep(std::max(1, pages[i]));
        bars[i]->setSingleStep(std::max(1, pages[i] / 10));
    }
}

// Fits the child frame around the picture inside the main frame's client area.
void CLumoView::FitFrame() {
    QMdiSubWindow* frame = Frame();
    if (!frame || frame->isMinimized() || frame->isMaximized() || !frame->mdiArea()) return;
    const QWidget* client = frame->mdiArea()->viewport();
    const int usableWidth = client->width() - frame->x() - 12;
    const int usableHeight = client->height() - frame->y() - 12;
    const qreal ratio = Ratio();
    const int pictureWidth = static_cast<int>(std::ceil(scrollSize_.width() / ratio));
    const int pictureHeight = static_cast<int>(std::ceil(scrollSize_.height() / ratio));
    // The whole frame, borders and caption included, stays inside the usable area.
    const QSize nonClient = frame->size() - maximumViewportSize();
    frame->resize(
        std::max(0, std::min(usableWidth - nonClient.width(), pictureWidth)) + nonClient.width(),
        std::max(0, std::min(usableHeight - nonClient.height(), pictureHeight)) +
            nonClient.height());
}

void CLumoView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CLumoView::scrollContentsBy(int, int) {
    viewport()->update();
}

bool CLumoView::event(QEvent* event) {
    if (event->type() == kRefreshEvent) {
        if (doc_) doc_->UpdateAllViews(ids::kHintImageChanged);
        return true;
    }
    return QAbstractScrollArea::event(event);
}

// --- painting -----------------------------------------------------------------------------------

void CLumoView::paintEvent(QPaintEvent* event) {
    // Only the part that needs painting, through one buffer, in device pixels.
    const QRect clip = event->rect();
    const qreal ratio = Ratio();
    const QRect device(QPoint(static_cast<int>(std::floor(clip.left() * ratio)),
                              static_cast<int>(std::floor(clip.top() * ratio))),
                       QPoint(static_cast<int>(std::ceil((clip.right() + 1) * ratio)) - 1,
                              static_cast<int>(std::ceil((clip.bottom() + 1) * ratio)) - 1));
    QImage buffer(device.size(), QImage::Format_RGB32);
    buffer.fill(palette().color(QPalette::Base));
    PaintPicture(buffer, device);
    PaintAnnotations(buffer, device);
    buffer.setDevicePixelRatio(ratio);

    QPainter painter(viewport());
    painter.drawImage(QPointF(device.left() / ratio, device.top() / ratio), buffer);
    if (dragRight_ != dragLeft_ || dragBottom_ != dragTop_) {
        QPen pen(Qt::black, 0, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(
            QRect(QPoint(dragLeft_, dragTop_), QPoint(dragRight_, dragBottom_)).normalized());
    }
    PaintSelection(painter);
    painter.end();
    // While an operation runs the document is not even asked about its thumbnail.
    if (doc_ && !doc_->IsBusy()) MakeThumbnailIfPending();
}

// Nearest neighbour from the screen copy: device pixel p of the scaled picture shows picture
// pixel floor(p / zoom). The zoom is a power of two, so the division is exact. Pieces of the copy
// not converted yet are converted first, except while the worker runs: then they show the
// background until the operation is over.
void CLumoView::PaintPicture(QImage& buffer, const QRect& device) {
    if (!doc_ || screenCopy_.isNull() || scrollSize_.isEmpty() || converted_.empty()) return;
    std::vector<int> rows;
    int firstColumn = 0, lastColumn = -1;
    VisibleSource(device, rows, firstColumn, lastColumn);
    if (rows.empty()) return;
    ConvertPieces(rows, firstColumn, lastColumn);

    const float zoom = doc_->zoom;
    const QPoint scroll = ScrollPosition();
    const int firstX = device.left() + scroll.x();
    const int columns = std::min(device.width(), scrollSize_.width() - firstX);
    std::vector<int> source(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        source[static_cast<size_t>(i)] = std::min(
            static_cast<int>(static_cast<float>(firstX + i) / zoom), screenCopy_.width() - 1);
    }
    const bool oneToOne = zoom == 1.0f;
    const int firstBand = firstColumn / kBandWidth, lastBand = lastColumn / kBandWidth;
    for (int row = 0; row < device.height(); ++row) {
        const int y = device.top() + scroll.y() + row;
        if (y >= scrollSize_.height()) break;
        const int sourceY =
            std::min(static_cast<int>(static_cast<float>(y) / zoom), screenCopy_.height() - 1);
        const auto* in = reinterpret_cast<const QRgb*>(screenCopy_.constScanLine(sourceY));
        auto* out = reinterpret_cast<QRgb*>(buffer.scanLine(row));
        const uint8_t* done =
            converted_.data() + static_cast<size_t>(sourceY) * static_cast<size_t>(bands_);
        if (std::all_of(done + firstBand, done + lastBand + 1, [](uint8_t d) { return d != 0; })) {
            if (oneToOne) {
                std::memcpy(out, in + firstX, sizeof(QRgb) * static_cast<size_t>(columns));
            } else {
                for (int i = 0; i < columns; ++i) out[i] = in[source[static_cast<size_t>(i)]];
            }
        } else {
            for (int i = 0; i < columns; ++i) {
                const int x = source[static_cast<size_t>(i)];
                if (done[x / kBandWidth]) out[i] = in[x];
            }
        }
    }
}

// The workspace thumbnail is made after the paint, never inside it.
void CLumoView::MakeThumbnailIfPending() {
    if (!doc_ || !doc_->thumbnailPending || thumbnailQueued_) return;
    thumbnailQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        thumbnailQueued_ = false;
        if (!doc_ || doc_->IsBusy()) {
            if (doc_ && doc_->thumbnailPending) viewport()->update();  // after the operation
            return;
        }
        if (!doc_->thumbnailPending) return;
        doc_->thumbnailPending = false;
        if (!doc_->image || !g_thumbnailMaker) return;
        g_thumbnailMaker(*doc_);
    });
}

// --- the drag rectangle and Crop ----------------------------------------------------------------

void CLumoView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    if (textEditor_) CloseTextEditor(true);
    if (AnnotationPress(event)) return;
    dragging_ = true;
    dragDrawn_ = false;
    const QPoint at = event->position().toPoint();
    SetDragRect(at.x(), at.y(), at.x(), at.y());
}

void CLumoView::mouseMoveEvent(QMouseEvent* event) {
    if (drag_ != Drag::None && doc_ && (event->buttons() & Qt::LeftButton)) {
        const QPointF at = ToPicture(event->position());
        CAnnotationLayer& layer = doc_->annotations;
        if (drag_ == Drag::Draw && draft_) {
            if (auto* stroke = dynamic_cast<CStrokeAnnotation*>(draft_.get())) {
                // A stroke changes only by its newest piece.
                const qreal reach = stroke->width() / 2 + 2;
                const QRectF piece = QRectF(stroke->points().back(), at)
                                         .normalized()
                                         .adjusted(-reach, -reach, reach, reach);
                draft_->DragTo(at);
                UpdatePicture(piece);
            } else {
                const QRectF old = draft_->Bounds();
                draft_->DragTo(at);
                UpdatePicture(old | draft_->Bounds());
            }
        } else if (drag_ == Drag::Move && selected_ >= 0 && at != pressPoint_) {
            const QRectF old = layer.At(selected_).Bounds();
            layer.At(selected_).MoveBy(at - pressPoint_);
            pressPoint_ = at;
            moved_ = true;
            UpdatePicture(old | layer.At(selected_).Bounds());
        } else if (drag_ == Drag::Resize && selected_ >= 0) {
            const QRectF old = layer.At(selected_).Bounds();
            auto resized = before_[static_cast<size_t>(selected_)]->Clone();
            resized->Map(pressFrame_, HandleFrame(pressFrame_, handle_, at));
            layer.Replace(selected_, std::move(resized));
            moved_ = true;
            UpdatePicture(old | layer.At(selected_).Bounds());
            viewport()->update();  // the handles follow
        }
        return;
    }
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint at = event->position().toPoint();
    SetDragRect(dragLeft_, dragTop_, at.x(), at.y());
    dragDrawn_ = true;
}

void CLumoView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (drag_ != Drag::None) {
        const Drag drag = drag_;
        drag_ = Drag::None;
        if (!doc_) return;
        if (drag == Drag::Draw && draft_) {
            std::unique_ptr<CAnnotation> mark = std::move(draft_);
            if (mark->IsEmpty()) {
                UpdatePicture(mark->Bounds());
                return;
            }
            doc_->annotations.Add(std::move(mark));
            doc_->AnnotationsChanged();
        } else if ((drag == Drag::Move || drag == Drag::Resize) && moved_) {
            doc_->annotations.Commit(std::move(before_));
            doc_->AnnotationsChanged();
        }
        before_.clear();
        RefreshCommands();
        return;
    }
    dragDrawn_ = false;
    dragging_ = false;
}

bool CLumoView::Handles(int id) const {
    return id == ids::kCmdCrop || id == ids::kCmdFilePrint || id == ids::kCmdFilePrintDirect ||
           id == ids::kCmdFilePrintPreview || id == ids::kCmdDeleteAnnotation;
}

bool CLumoView::IsEnabled(int id) const {
    if (id == ids::kCmdDeleteAnnotation) return doc_ && !doc_->IsBusy() && selected_ >= 0;
    return Handles(id) && doc_ && !doc_->IsBusy() && doc_->image && doc_->image->IsValid();
}

bool CLumoView::onCommand(int id) {
    if (!Handles(id)) return false;
    if (!IsEnabled(id)) return true;
    // What is printed is what the window shows: the marks go into the picture first.
    if ((id == ids::kCmdFilePrint || id == ids::kCmdFilePrintDirect ||
         id == ids::kCmdFilePrintPreview) &&
        !doc_->ApplyAnnotations())
        return true;
    switch (id) {
        case ids::kCmdCrop:
            Crop();
            break;
        case ids::kCmdDeleteAnnotation:
            DeleteSelected();
            break;
        case ids::kCmdFilePrint:
            PrintImage(*doc_->image, doc_->title(), PrintMode::Dialog, window(), doc_->pathName());
            break;
        case ids::kCmdFilePrintDirect:
            PrintImage(*doc_->image, doc_->title(), PrintMode::Direct, window(), doc_->pathName());
            break;
        case ids::kCmdFilePrintPreview:
            PrintImage(*doc_->image, doc_->title(), PrintMode::Preview, window(), doc_->pathName());
            break;
        default:
            break;
    }
    return true;
}

void CLumoView::Crop() {
    // A rectangle dragged up or to the left, or no drag at all, does nothing.
    if (dragBottom_ - dragTop_ < 2 || dragRight_ - dragLeft_ < 2) return;
    if (dragBottom_ - dragTop_ - 2 < 2 || dragRight_ - dragLeft_ - 2 < 2) {
        platform::ShowMessage("You need to draw a rectangle first", "Quillet");
        return;
    }
    // Client points to picture pixels: through the scroll position and the zoom, clamped.
    const qreal ratio = Ratio();
    const QPoint scroll = ScrollPosition();
    const CRaster& image = *doc_->image;
    auto toImage = [&](int client, int offset, uint32_t limit) {
        const double device = client * ratio + offset;
        const int pixel = static_cast<int>(std::floor(device / doc_->zoom));
        return std::clamp(pixel, 0, static_cast<int>(limit));
    };
    const int left = toImage(dragLeft_, scroll.x(), image.GetWidth());
    const int right = toImage(dragRight_, scroll.x(), image.GetWidth());
    const int top = toImage(dragTop_, scroll.y(), image.GetHeight());
    const int bottom = toImage(dragBottom_, scroll.y(), image.GetHeight());
    SetDragRect(0, 0, 0, 0);
    doc_->CropTo(left, top, right, bottom);
}

// --- annotations --------------------------------------------------------------------------------

QPointF CLumoView::ToPicture(QPointF client) const {
    // The centre of the device pixel under the point, through the scroll position and the zoom.
    const qreal ratio = Ratio();
    const QPoint scroll = ScrollPosition();
    const float zoom = doc_ ? doc_->zoom : 1.0f;
    return QPointF((std::floor(client.x() * ratio) + 0.5 + scroll.x()) / zoom,
                   (std::floor(client.y() * ratio) + 0.5 + scroll.y()) / zoom);
}

QRect CLumoView::ToClient(const QRect& picture) const {
    const qreal ratio = Ratio();
    const QPoint scroll = ScrollPosition();
    const double zoom = doc_ ? doc_->zoom : 1.0;
    const double left = (picture.left() * zoom - scroll.x()) / ratio;
    const double top = (picture.top() * zoom - scroll.y()) / ratio;
    const double right = ((picture.right() + 1) * zoom - scroll.x()) / ratio;
    const double bottom = ((picture.bottom() + 1) * zoom - scroll.y()) / ratio;
    return QRect(QPoint(static_cast<int>(std::floor(left)), static_cast<int>(std::floor(top))),
                 QPoint(static_cast<int>(std::ceil(right)), static_cast<int>(std::ceil(bottom))));
}

void CLumoView::UpdatePicture(const QRectF& pictureBounds) {
    if (pictureBounds.isEmpty()) return;
    viewport()->update(ToClient(PixelBounds(pictureBounds)).adjusted(-1, -1, 1, 1));
}

// The screen copy's pixels under the marks are drawn on in picture pixels, exactly as burning
// them in will draw, and shown with the same nearest-pixel scaling as the picture.
void CLumoView::PaintAnnotations(QImage& buffer, const QRect& device) {
    if (!doc_ || doc_->IsBusy() || screenCopy_.isNull() || scrollSize_.isEmpty()) return;
    const CAnnotationLayer& layer = doc_->annotations;
    const CAnnotation* draft = draft_ && !draft_->IsEmpty() ? draft_.get() : nullptr;
    if (layer.IsEmpty() && !draft) return;
    const float zoom = doc_->zoom;
    auto toPicture = [zoom](int d) { return static_cast<int>(static_cast<float>(d) / zoom); };
    const QPoint scroll = ScrollPosition();
    const int firstX = device.left() + scroll.x(), firstY = device.top() + scroll.y();
    const int columns = std::min(device.width(), scrollSize_.width() - firstX);
    const int rows = std::min(device.height(), scrollSize_.height() - firstY);
    if (columns <= 0 || rows <= 0) return;
    const QRect picture = screenCopy_.rect();
    const QRect shown = QRect(QPoint(toPicture(firstX), toPicture(firstY)),
                              QPoint(toPicture(firstX + columns - 1), toPicture(firstY + rows - 1)))
                            .intersected(picture);
    const QRect marked = layer.Bounds(draft).intersected(shown);
    if (marked.isEmpty()) return;
    const QRect source = layer.SourceArea(marked, draft).intersected(picture);
    std::vector<int> sourceRows(static_cast<size_t>(source.height()));
    std::iota(sourceRows.begin(), sourceRows.end(), source.top());
    ConvertPieces(sourceRows, source.left(), source.right());
    QImage patch = screenCopy_.copy(source);
    if (patch.isNull()) return;
    layer.Render(patch, source.topLeft(), draft);

    // The device columns that show the marked picture columns.
    int first = 0, last = columns - 1;
    while (first < columns && toPicture(firstX + first) < marked.left()) ++first;
    while (last >= first && toPicture(firstX + last) > marked.right()) --last;
    for (int row = 0; row < rows; ++row) {
        const int y = toPicture(firstY + row);
        if (y < marked.top() || y > marked.bottom()) continue;
        const auto* in = reinterpret_cast<const QRgb*>(patch.constScanLine(y - source.top()));
        auto* out = reinterpret_cast<QRgb*>(buffer.scanLine(row));
        for (int i = first; i <= last; ++i) out[i] = in[toPicture(firstX + i) - source.left()];
    }
}

namespace {

// The eight resize handles: corners and edge middles, clockwise from the top-left corner.
QPointF HandlePoint(const QRectF& r, int handle) {
    const qreal xs[] = {r.left(),  r.center().x(), r.right(), r.right(),
                        r.right(), r.center().x(), r.left(),  r.left()};
    const qreal ys[] = {r.top(),    r.top(),    r.top(),    r.center().y(),
                        r.bottom(), r.bottom(), r.bottom(), r.center().y()};
    return QPointF(xs[handle], ys[handle]);
}

constexpr int kHandleReach = 5;  // logical pixels around a handle's centre

bool Resizable(const CAnnotation& mark) {
    return mark.tool() != AnnotationTool::Text && mark.tool() != AnnotationTool::Step;
}

}  // namespace

QRectF CLumoView::HandleFrame(const QRectF& frame, int handle, QPointF to) const {
    QRectF r = frame;
    if (handle == 0 || handle == 6 || handle == 7) r.setLeft(to.x());
    if (handle == 2 || handle == 3 || handle == 4) r.setRight(to.x());
    if (handle == 0 || handle == 1 || handle == 2) r.setTop(to.y());
    if (handle == 4 || handle == 5 || handle == 6) r.setBottom(to.y());
    return r;
}

int CLumoView::HandleAt(QPointF client) const {
    if (!doc_ || selected_ < 0) return -1;
    const CAnnotation& mark = doc_->annotations.At(selected_);
    if (!Resizable(mark)) return -1;
    const qreal ratio = Ratio();
    const QPoint scroll = ScrollPosition();
    const QRectF frame = mark.Frame();
    for (int handle = 0; handle < 8; ++handle) {
        const QPointF p = HandlePoint(frame, handle);
        const QPointF at((p.x() * doc_->zoom - scroll.x()) / ratio,
                         (p.y() * doc_->zoom - scroll.y()) / ratio);
        if (std::abs(at.x() - client.x()) <= kHandleReach &&
            std::abs(at.y() - client.y()) <= kHandleReach)
            return handle;
    }
    return -1;
}

void CLumoView::PaintSelection(QPainter& painter) {
    if (!doc_ || selected_ < 0 || selected_ >= doc_->annotations.Count()) return;
    const CAnnotation& mark = doc_->annotations.At(selected_);
    const qreal ratio = Ratio();
    const QPoint scroll = ScrollPosition();
    auto toClient = [&](QPointF p) {
        return QPointF((p.x() * doc_->zoom - scroll.x()) / ratio,
                       (p.y() * doc_->zoom - scroll.y()) / ratio);
    };
    const QRectF frame = mark.Frame();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0, 120, 215), 0, Qt::DashLine));
    painter.drawRect(QRectF(toClient(frame.topLeft()), toClient(frame.bottomRight())));
    if (!Resizable(mark)) return;
    painter.setPen(QPen(QColor(0, 120, 215), 0));
    painter.setBrush(Qt::white);
    for (int handle = 0; handle < 8; ++handle) {
        const QPointF at = toClient(HandlePoint(frame, handle));
        painter.drawRect(QRectF(at - QPointF(3, 3), QSizeF(6, 6)));
    }
}

const CAnnotationToolbox* CLumoView::Toolbox() const {
    const auto* frame = qobject_cast<const CMainFrame*>(window());
    return frame ? &frame->toolbox() : nullptr;
}

bool CLumoView::AnnotationPress(QMouseEvent* event) {
    if (!doc_ || !doc_->image || doc_->IsBusy() || screenCopy_.isNull()) return false;
    const QPointF client = event->position();
    const QPointF at = ToPicture(client);
    const AnnotationTool tool = Toolbox() ? Toolbox()->tool() : AnnotationTool::Select;
    CAnnotationLayer& layer = doc_->annotations;
    const qreal tolerance = 4 * Ratio() / doc_->zoom;
    if (tool == AnnotationTool::Select) {
        const int handle = HandleAt(client);
        const int hit = handle >= 0 ? selected_ : layer.HitTest(at, tolerance);
        if (hit < 0) {
            // A press beside every mark drags the crop rectangle, as without the tools.
            if (selected_ >= 0) {
                selected_ = -1;
                viewport()->update();
                RefreshCommands();
            }
            return false;
        }
        selected_ = hit;
        handle_ = handle;
        drag_ = handle >= 0 ? Drag::Resize : Drag::Move;
        before_ = layer.Snapshot();
        pressPoint_ = at;
        pressFrame_ = layer.At(hit).Frame();
        moved_ = false;
        viewport()->update();
        RefreshCommands();
        return true;
    }
    if (selected_ >= 0) viewport()->update();
    selected_ = -1;
    if (tool == AnnotationTool::Text) {
        // A press on a text mark edits it; elsewhere a new one starts.
        const int hit = layer.HitTest(at, tolerance);
        if (hit >= 0 && layer.At(hit).tool() == AnnotationTool::Text)
            OpenTextEditor(static_cast<const CTextAnnotation&>(layer.At(hit)).anchor(), hit);
        else
            OpenTextEditor(at, -1);
        return true;
    }
    auto mark = MakeAnnotation(tool, Toolbox()->Color(tool), Toolbox()->Width(tool));
    if (!mark) return false;
    mark->Begin(at);
    if (tool == AnnotationTool::Step) {
        layer.Add(std::move(mark));
        doc_->AnnotationsChanged();
        RefreshCommands();
        return true;
    }
    draft_ = std::move(mark);
    drag_ = Drag::Draw;
    UpdatePicture(draft_->Bounds());
    return true;
}

void CLumoView::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click on a text mark with Select edits it.
    if (event->button() == Qt::LeftButton && doc_ && selected_ >= 0 &&
        doc_->annotations.At(selected_).tool() == AnnotationTool::Text &&
        (!Toolbox() || Toolbox()->tool() == AnnotationTool::Select)) {
        drag_ = Drag::None;
        before_.clear();
        OpenTextEditor(
            static_cast<const CTextAnnotation&>(doc_->annotations.At(selected_)).anchor(),
            selected_);
        return;
    }
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

void CLumoView::OpenTextEditor(QPointF picturePoint, int editing) {
    if (!doc_) return;
    CloseTextEditor(true);
    editingText_ = editing;
    textAnchor_ = picturePoint;
    QFont font = doc_->annotationFont;
    QColor color = Toolbox() ? Toolbox()->Color(AnnotationTool::Text) : QColor(Qt::black);
    QString text;
    if (editing >= 0) {
        const auto& mark = static_cast<const CTextAnnotation&>(doc_->annotations.At(editing));
        font = mark.font();
        color = mark.color();
        text = mark.text();
    } else {
        font.setPixelSize(Toolbox() ? Toolbox()->Width(AnnotationTool::Text) : 20);
    }
    // The editor shows the text at the size it will have on the screen.
    QFont shown = font;
    shown.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * doc_->zoom / Ratio())));
    auto* editor = new QLineEdit(text, viewport());
    editor->setObjectName("annotationText");
    editor->setFrame(false);
    editor->setFont(shown);
    editor->setProperty("markFont", font);
    QPalette colors = editor->palette();
    colors.setColor(QPalette::Text, color);
    editor->setPalette(colors);
    editor->setTextMargins(0, 0, 0, 0);
    editor->setContentsMargins(0, 0, 0, 0);
    const QRect at = ToClient(QRect(picturePoint.toPoint(), QSize(1, 1)));
    auto fit = [editor] {
        editor->resize(editor->fontMetrics().horizontalAdvance(editor->text() + "MM") + 4,
                       editor->fontMetrics().height() + 4);
    };
    fit();
    connect(editor, &QLineEdit::textChanged, editor, fit);
    editor->move(at.topLeft() - QPoint(2, 2));
    editor->installEventFilter(this);
    connect(editor, &QLineEdit::returnPressed, this, [this] { CloseTextEditor(true); });
    textEditor_ = editor;
    editor->show();
    editor->setFocus();
}

bool CLumoView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == textEditor_) {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            CloseTextEditor(false);
            return true;
        }
        if (event->type() == QEvent::FocusOut) CloseTextEditor(true);
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

void CLumoView::CloseTextEditor(bool keep) {
    if (!textEditor_) return;
    QLineEdit* editor = textEditor_;
    textEditor_ = nullptr;
    editor->removeEventFilter(this);
    const QString text = editor->text();
    const QFont font = editor->property("markFont").value<QFont>();
    const QColor color = editor->palette().color(QPalette::Text);
    editor->hide();
    editor->deleteLater();
    if (!keep || !doc_) return;
    CAnnotationLayer& layer = doc_->annotations;
    if (editingText_ >= 0 && editingText_ < layer.Count()) {
        auto& mark = static_cast<CTextAnnotation&>(layer.At(editingText_));
        if (mark.text() == text) return;
        if (text.trimmed().isEmpty()) {
            layer.Remove(editingText_);
            selected_ = -1;
        } else {
            CAnnotationLayer::Marks before = layer.Snapshot();
            mark.SetText(text);
            layer.Commit(std::move(before));
        }
    } else {
        if (text.trimmed().isEmpty()) return;
        auto mark = MakeAnnotation(AnnotationTool::Text, color, font.pixelSize(), font);
        mark->Begin(textAnchor_);
        static_cast<CTextAnnotation*>(mark.get())->SetText(text);
        layer.Add(std::move(mark));
    }
    doc_->AnnotationsChanged();
    RefreshCommands();
}

void CLumoView::RefreshCommands() {
    if (auto* frame = qobject_cast<CMainFrame*>(window())) frame->UpdateCommandUI();
}

void CLumoView::DeleteSelected() {
    if (!doc_ || selected_ < 0 || selected_ >= doc_->annotations.Count()) return;
    doc_->annotations.Remove(selected_);
    selected_ = -1;
    doc_->AnnotationsChanged();
}

void CLumoView::SetSelectedColor(QColor color) {
    if (!doc_ || selected_ < 0 || selected_ >= doc_->annotations.Count()) return;
    CAnnotationLayer::Marks before = doc_->annotations.Snapshot();
    doc_->annotations.At(selected_).SetColor(color);
    doc_->annotations.Commit(std::move(before));
    doc_->AnnotationsChanged();
}

void CLumoView::ToolChanged() {
    CloseTextEditor(true);
    draft_.reset();
    drag_ = Drag::None;
    before_.clear();
    selected_ = -1;
    const bool drawing = Toolbox() && Toolbox()->tool() != AnnotationTool::Select;
    viewport()->setCursor(drawing ? Qt::CrossCursor : Qt::ArrowCursor);
    viewport()->update();
}
