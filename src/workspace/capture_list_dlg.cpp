#include "workspace/capture_list_dlg.h"

#include "app/quillet_app.h"
#include "capture/capture_record.h"
#include "ui_capture_list_dlg.h"
#include "workspace/capture_preview_dlg.h"

#include <QKeyEvent>

namespace {
constexpr int kSlotRole = Qt::UserRole;
}

CCaptureListDlg::CCaptureListDlg(CCapturePreviewDlg* preview)
    : CSatelliteDlg(preview, CSlideAnimation::Direction::Left, App()->captureListHidden),
      ui_(std::make_unique<Ui::CaptureListDlg>()) {
    ui_->setupUi(this);
    InitialiseList(ui_->id1023);
    connect(ui_->id1023, &QTreeWidget::clicked, this, &CCaptureListDlg::OnClick);
    ui_->id1023->installEventFilter(this);
}

bool CCaptureListDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->id1023 && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Home:
            case Qt::Key_End:
                // Once the list has moved its selection.
                QMetaObject::invokeMethod(this, &CCaptureListDlg::OnClick, Qt::QueuedConnection);
                break;
            default:
                break;
        }
    }
    return CSatelliteDlg::eventFilter(watched, event);
}

CCaptureListDlg::~CCaptureListDlg() = default;

void CCaptureListDlg::InsertRow(const CCaptureRecord& record, int slot) {
    auto* row = new QTreeWidgetItem(ui_->id1023);
    row->setText(0, QString::fromStdString(record.FileName()));
    row->setText(1, QString::number(record.size));
    row->setText(2, QString::fromStdString(record.timeText));
    row->setText(3, QString::fromStdString(record.dateText));
    for (int column = 0; column < 4; ++column) row->setTextAlignment(column, Qt::AlignCenter);
    row->setData(0, kSlotRole, slot);
    ui_->id1023->setCurrentItem(row);
}

void CCaptureListDlg::RemoveSelectedRow() {
    const int row = SelectedRow();
    if (row >= 0) delete ui_->id1023->takeTopLevelItem(row);
}

void CCaptureListDlg::RemoveRowOfSlot(int slot) {
    for (int row = 0; row < RowCount(); ++row) {
        if (RowSlot(row) == slot) {
            delete ui_->id1023->takeTopLevelItem(row);
            return;
        }
    }
}

void CCaptureListDlg::SelectRowOfSlot(int slot) {
    ui_->id1023->clearSelection();
    for (int row = 0; row < RowCount(); ++row) {
        if (RowSlot(row) == slot) {
            ui_->id1023->setCurrentItem(ui_->id1023->topLevelItem(row));
            return;
        }
    }
}

void CCaptureListDlg::DeleteAllRows() {
    ui_->id1023->clear();
}

int CCaptureListDlg::RowSlot(int row) const {
    const QTreeWidgetItem* item = ui_->id1023->topLevelItem(row);
    return item ? item->data(0, kSlotRole).toInt() : -1;
}

QString CCaptureListDlg::RowText(int row, int column) const {
    const QTreeWidgetItem* item = ui_->id1023->topLevelItem(row);
    return item ? item->text(column) : QString();
}

// A click shows the capture of the selected row's slot. The picture is painted before the mail
// document is rebuilt, so it shows at once.
void CCaptureListDlg::OnClick() {
    const int row = SelectedRow();
    if (row < 0) return;
    ui_->id1023->setCurrentItem(ui_->id1023->topLevelItem(row));
    preview_->SetCurrent(RowSlot(row));
    preview_->DrawCurrent();
    preview_->RebuildMailDocument();
}
