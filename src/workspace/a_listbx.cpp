#include "workspace/a_listbx.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QScrollBar>

#include <algorithm>

CAListbx::CAListbx(QWidget* parent, bool useTabStops)
    : QListWidget(parent), useTabStops_(useTabStops) {
    connect(model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { Widen(first, last); });
    connect(model(), &QAbstractItemModel::rowsRemoved, this, [this] { Recompute(); });
    connect(model(), &QAbstractItemModel::modelReset, this, [this] { SetHorizontalExtent(0); });
}

// The rows go away after this part of the object: their removal is no longer measured.
CAListbx::~CAListbx() {
    model()->disconnect(this);
}

int CAListbx::AddString(const QString& text) {
    addItem(text);
    return count() - 1;
}

int CAListbx::InsertString(int index, const QString& text) {
    if (index > count() || index < -1) return kError;
    if (index == -1) index = count();
    insertItem(index, text);
    return index;
}

int CAListbx::DeleteString(int index) {
    if (index < 0 || index >= count()) return kError;
    delete takeItem(index);
    return count();
}

void CAListbx::ResetContent() {
    clear();
    SetHorizontalExtent(0);
}

int CAListbx::Dir(const QString& folder, const QString& wildcard) {
    const QDir dir(folder);
    if (!dir.exists() || !dir.isReadable()) return kError;
    const QStringList names = dir.entryList({wildcard}, QDir::Files, QDir::Name);
    filling_ = true;
    for (const QString& name : names) addItem(name);
    filling_ = false;
    Recompute();
    return names.isEmpty() ? kError : count() - 1;
}

int CAListbx::LineWidth(const QString& text) const {
    const QFontMetrics metrics(font());
    if (useTabStops_) return metrics.size(Qt::TextExpandTabs, text).width() + 2;
    return metrics.horizontalAdvance(text) + 3;
}

void CAListbx::Widen(int first, int last) {
    if (filling_) return;
    int widest = horizontalExtent_;
    for (int row = first; row <= last; ++row)
        widest = std::max(widest, LineWidth(item(row)->text()));
    SetHorizontalExtent(widest);
}

void CAListbx::Recompute() {
    if (filling_) return;
    if (count() == 0) {
        SetHorizontalExtent(0);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    int widest = 0;
    for (int row = 0; row < count(); ++row) widest = std::max(widest, LineWidth(item(row)->text()));
    SetHorizontalExtent(widest);
    QApplication::restoreOverrideCursor();
}

void CAListbx::SetHorizontalExtent(int extent) {
    horizontalExtent_ = extent;
    updateGeometries();
}

// The horizontal scroll bar covers the extent, whatever the rows' own sizes say.
void CAListbx::updateGeometries() {
    QListWidget::updateGeometries();
    const int hidden = std::max(0, horizontalExtent_ - viewport()->width());
    horizontalScrollBar()->setRange(0, hidden);
    horizontalScrollBar()->setPageStep(viewport()->width());
}
