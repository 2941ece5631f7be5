#include "workspace/satellite_dlg.h"

#include "app/quillet_app.h"
#include "ids.h"
#include "workspace/capture_preview_dlg.h"

#include <QHeaderView>
#include <QTreeWidget>

CSatelliteDlg::CSatelliteDlg(CCapturePreviewDlg* preview, CSlideAnimation::Direction direction,
                             int& hiddenFlag)
    : CSkinnedDialog(preview),
      preview_(preview),
      slide_(*this, direction, hiddenFlag, [] { return App()->previewRect; }) {}

void CSatelliteDlg::InitialiseList(QTreeWidget* rows) {
    rows_ = rows;
    slide_.SetSize(width(), height());
    LoadSkin(ids::kSkinPreview);
    QHeaderView* header = rows_->header();
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setStretchLastSection(false);
    // The list's inner width, so the columns fill it without a scroll bar.
    const int width = rows_->width() - 2 * rows_->frameWidth();
    const int columns = rows_->columnCount();
    for (int column = 0; column < columns; ++column) rows_->setColumnWidth(column, width / columns);
    QPalette palette = rows_->palette();
    palette.setColor(QPalette::Base, QColor(CQuilletApp::kDialogBackground));
    rows_->setPalette(palette);
    initialised_ = true;
}

int CSatelliteDlg::RowCount() const {
    return rows_->topLevelItemCount();
}

int CSatelliteDlg::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = rows_->selectedItems();
    return selected.isEmpty() ? -1 : rows_->indexOfTopLevelItem(selected.first());
}
