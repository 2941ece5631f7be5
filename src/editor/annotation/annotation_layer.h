#pragma once

#include "editor/annotation/annotation.h"

#include <QImage>
#include <QPoint>
#include <QRect>

#include <memory>
#include <vector>

// The marks on one picture, in the order they were made (later ones on top), with their own
// undo and redo history. Burning them into the picture clears both.
class CAnnotationLayer {
  public:
    using Marks = std::vector<std::unique_ptr<CAnnotation>>;
    // Steps kept in each history; the oldest goes first.
    static constexpr size_t kHistoryDepth = 100;

    CAnnotationLayer() = default;
    CAnnotationLayer(const CAnnotationLayer&) = delete;
    CAnnotationLayer& operator=(const CAnnotationLayer&) = delete;

    bool IsEmpty() const { return marks_.empty(); }
    int Count() const { return static_cast<int>(marks_.size()); }
    const CAnnotation& At(int index) const { return *marks_[static_cast<size_t>(index)]; }
    CAnnotation& At(int index) { return *marks_[static_cast<size_t>(index)]; }
    // The topmost mark under the point, or -1.
    int HitTest(QPointF point, qreal tolerance) const;

    // Each change is one step of the history.
    void Add(std::unique_ptr<CAnnotation> mark);
    void Remove(int index);
    // A change made to the marks in place (a move, a resize, a new colour or text): the marks as
    // they were before it, taken with Snapshot, become the undo step.
    Marks Snapshot() const;
    void Commit(Marks before);
    // Puts a changed copy in a mark's place, as part of a change that is committed as above.
    void Replace(int index, std::unique_ptr<CAnnotation> mark);

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    void Undo();
    void Redo();
    // Forgets the marks and both histories (after they were burned in).
    void Clear();

    // Draws the marks (and `draft`, the one being drawn, on top) onto `target`, whose pixel
    // (0, 0) is picture pixel `origin`. Redactions change the pixels under them; for their
    // result to be exact, `target` must hold every pixel that SourceArea asks for.
    void Render(QImage& target, QPoint origin, const CAnnotation* draft = nullptr) const;
    // The same for the marks first .. first + count - 1 alone (burning in goes by batches).
    void RenderRange(QImage& target, QPoint origin, int first, int count) const;
    // The picture pixels that rendering `area` reads: the area, grown by every redaction that
    // reaches into it (a redaction reads its whole rectangle).
    QRect SourceArea(const QRect& area, const CAnnotation* draft = nullptr) const;
    // The pixels any mark may touch, in picture pixels.
    QRect Bounds(const CAnnotation* draft = nullptr) const;

  private:
    static Marks Copy(const Marks& marks);
    static void RenderMarks(const std::vector<const CAnnotation*>& order, QImage& target,
                            QPoint origin);
    void Push(std::vector<Marks>& history, Marks marks);
    // Numbered steps count 1, 2, 3... in the order they were placed.
    void Renumber();

    Marks marks_;
    std::vector<Marks> undo_, redo_;
};

// The pixels a mark's bounds touch.
QRect PixelBounds(const QRectF& bounds);
