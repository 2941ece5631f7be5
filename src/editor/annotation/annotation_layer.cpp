#include "editor/annotation/annotation_layer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

QRect PixelBounds(const QRectF& bounds) {
    if (bounds.isEmpty()) return QRect();
    const int left = static_cast<int>(std::floor(bounds.left()));
    const int top = static_cast<int>(std::floor(bounds.top()));
    const int right = static_cast<int>(std::ceil(bounds.right()));
    const int bottom = static_cast<int>(std::ceil(bounds.bottom()));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

int CAnnotationLayer::HitTest(QPointF point, qreal tolerance) const {
    for (int i = Count() - 1; i >= 0; --i) {
        if (At(i).HitTest(point, tolerance)) return i;
    }
    return -1;
}

CAnnotationLayer::Marks CAnnotationLayer::Copy(const Marks& marks) {
    Marks copy;
    copy.reserve(marks.size());
    for (const auto& mark : marks) copy.push_back(mark->Clone());
    return copy;
}

CAnnotationLayer::Marks CAnnotationLayer::Snapshot() const {
    return Copy(marks_);
}

void CAnnotationLayer::Push(std::vector<Marks>& history, Marks marks) {
    if (history.size() == kHistoryDepth) history.erase(history.begin());
    history.push_back(std::move(marks));
}

void CAnnotationLayer::Commit(Marks before) {
    Push(undo_, std::move(before));
    redo_.clear();
    Renumber();
}

void CAnnotationLayer::Replace(int index, std::unique_ptr<CAnnotation> mark) {
    if (index >= 0 && index < Count() && mark) marks_[static_cast<size_t>(index)] = std::move(mark);
}

void CAnnotationLayer::Add(std::unique_ptr<CAnnotation> mark) {
    if (!mark) return;
    Marks before = Snapshot();
    marks_.push_back(std::move(mark));
    Commit(std::move(before));
}

void CAnnotationLayer::Remove(int index) {
    if (index < 0 || index >= Count()) return;
    Marks before = Snapshot();
    marks_.erase(marks_.begin() + index);
    Commit(std::move(before));
}

void CAnnotationLayer::Undo() {
    if (undo_.empty()) return;
    Push(redo_, std::move(marks_));
    marks_ = std::move(undo_.back());
    undo_.pop_back();
    Renumber();
}

void CAnnotationLayer::Redo() {
    if (redo_.empty()) return;
    Push(undo_, std::move(marks_));
    marks_ = std::move(redo_.back());
    redo_.pop_back();
    Renumber();
}

void CAnnotationLayer::Clear() {
    marks_.clear();
    undo_.clear();
    redo_.clear();
}

void CAnnotationLayer::Renumber() {
    int number = 0;
    for (auto& mark : marks_) {
        if (auto* step = dynamic_cast<CStepAnnotation*>(mark.get())) step->SetNumber(++number);
    }
}

QRect CAnnotationLayer::Bounds(const CAnnotation* draft) const {
    QRect bounds;
    for (const auto& mark : marks_) bounds |= PixelBounds(mark->Bounds());
    if (draft) bounds |= PixelBounds(draft->Bounds());
    return bounds;
}

QRect CAnnotationLayer::SourceArea(const QRect& area, const CAnnotation* draft) const {
    // Redactions that reach into what is read make it read their whole rectangle, until no
    // further one reaches in.
    QRect source = area;
    for (bool grown = true; grown;) {
        grown = false;
        auto grow = [&](const CAnnotation& mark) {
            if (!mark.IsRedaction()) return;
            const QRect reach = PixelBounds(mark.Bounds());
            if (reach.intersects(source) && !source.contains(reach)) {
                source |= reach;
                grown = true;
            }
        };
        for (const auto& mark : marks_) grow(*mark);
        if (draft) grow(*draft);
    }
    return source;
}

void CAnnotationLayer::Render(QImage& target, QPoint origin, const CAnnotation* draft) const {
    std::vector<const CAnnotation*> order;
    order.reserve(marks_.size() + 1);
    for (const auto& mark : marks_) order.push_back(mark.get());
    if (draft && !draft->IsEmpty()) order.push_back(draft);
    RenderMarks(order, target, origin);
}

void CAnnotationLayer::RenderRange(QImage& target, QPoint origin, int first, int count) const {
    std::vector<const CAnnotation*> order;
    for (int i = std::max(first, 0); i < std::min(first + count, Count()); ++i)
        order.push_back(&At(i));
    RenderMarks(order, target, origin);
}

void CAnnotationLayer::RenderMarks(const std::vector<const CAnnotation*>& order, QImage& target,
                                   QPoint origin) {
    const QRect area(origin, target.size());

    QPainter painter;
    auto begin = [&] {
        painter.begin(&target);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.translate(-origin);
    };
    for (const CAnnotation* mark : order) {
        if (!PixelBounds(mark->Bounds()).intersects(area)) continue;
        if (mark->IsRedaction()) {
            // Redactions read and write the pixels themselves: the painter lets go first.
            if (painter.isActive()) painter.end();
            mark->Redact(target, origin);
            continue;
        }
        if (!painter.isActive()) begin();
        mark->Draw(painter);
    }
}
