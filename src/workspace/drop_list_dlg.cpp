#include "workspace/drop_list_dlg.h"

#include "app/quillet_app.h"
#include "ids.h"
#include "panel/hover_button.h"
#include "ui_drop_list_dlg.h"
#include "workspace/capture_preview_dlg.h"

CDropListDlg::CDropListDlg(CCapturePreviewDlg* preview)
    : CSatelliteDlg(preview, CSlideAnimation::Direction::Up, App()->dropListHidden),
      ui_(std::make_unique<Ui::DropListDlg>()) {
    ui_->setupUi(this);
    InitialiseList(ui_->id1023);
    App()->dropListHidden = 1;
    ui_->id1->SetStripBitmap(ids::kStripDropListOk);
    ui_->id1->SetTip("Click To Hide This List!", true);
    ui_->id1032->SetStripBitmap(ids::kStripDropListClear);
    ui_->id1032->SetTip("Click To Clear This List!", true);
    connect(ui_->id1, &QPushButton::clicked, this, &CDropListDlg::OnOk);
    connect(ui_->id1032, &QPushButton::clicked, this, &CDropListDlg::Clear);
}

CDropListDlg::~CDropListDlg() = default;

CHoverButton* CDropListDlg::okButton() const {
    return ui_->id1;
}
CHoverButton* CDropListDlg::clearButton() const {
    return ui_->id1032;
}

void CDropListDlg::InsertFirstRow(const QString& path) {
    auto* row = new QTreeWidgetItem(QStringList{path});
    row->setTextAlignment(0, Qt::AlignCenter);
    ui_->id1023->insertTopLevelItem(0, row);
    ui_->id1023->setCurrentItem(row);
}

void CDropListDlg::Clear() {
    if (RowCount() > 0) ui_->id1023->clear();
}

QString CDropListDlg::RowText(int row) const {
    const QTreeWidgetItem* item = ui_->id1023->topLevelItem(row);
    return item ? item->text(0) : QString();
}

// OK: the preview slides this list back in (placing its lists first while this one is out).
void CDropListDlg::OnOk() {
    preview_->ToggleDropList();
}
