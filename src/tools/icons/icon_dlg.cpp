#include "tools/icons/icon_dlg.h"

#include "app/quillet_app.h"
#include "ids.h"
#include "panel/hover_button.h"
#include "platform/dialog_units.h"
#include "platform/icon_theme.h"
#include "platform/message_box.h"
#include "ui_icon_dlg.h"
#include "workspace/capture_preview_dlg.h"

#include <QDir>
#include <QFileDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace {

struct Placement {
    int id;
    QRect units;  // dialog units: x, y, width, height
};

// Form 181, 174 x 102 units. The hover buttons take their pictures' size.
const Placement kPlacements[] = {
    {ids::kIconsClose, {159, 6, 7, 6}},      {ids::kIconsSystemList, {9, 15, 156, 64}},
    {ids::kIconsFileList, {9, 15, 156, 64}}, {ids::kIconsReport, {9, 15, 156, 64}},
    {ids::kIconsPath, {9, 86, 113, 12}},     {ids::kIconsBrowse, {128, 86, 33, 12}},
};

QString ItemLabel(int index) {
    return QString::asprintf("Icon%d%cico", index, '.');
}

QIcon ItemIcon(const QImage& small, const QImage& large) {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(small));
    icon.addPixmap(QPixmap::fromImage(large));
    return icon;
}

// The colour plane of a picture: transparent areas black.
QImage ColourPlane(const QImage& picture) {
    QImage plane(picture.size(), QImage::Format_RGB32);
    plane.fill(Qt::black);
    QPainter painter(&plane);
    painter.drawImage(0, 0, picture);
    return plane;
}

void PrepareList(QListWidget* list) {
    list->setIconSize(QSize(32, 32));
    list->setMovement(QListView::Static);
    list->setResizeMode(QListView::Adjust);
    list->setWrapping(true);
    list->setUniformItemSizes(true);
    // The list's own style sheet: the program's style sheet would otherwise paint it white.
    list->setStyleSheet(QString("QListWidget { background-color: %1; }")
                            .arg(QColor(CIconDlg::kListBackground).name()));
    // The selection stays marked while another control has the focus.
    QPalette palette = list->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    list->setPalette(palette);
}

}  // namespace

CIconDlg::CIconDlg(int mode, CCapturePreviewDlg* preview, QWidget* owner)
    : CSkinnedDialog(owner), mode_(mode), preview_(preview), ui_(std::make_unique<Ui::IconDlg>()) {
    ui_->setupUi(this);
    // A modal window of its own: it takes the focus when it opens.
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setWindowTitle("Icons");

    // 1. The report list stays hidden; each mode shows its own controls.
    ui_->id1075->hide();
    ui_->id1044->setVisible(mode_ == kSystemIcons);
    ui_->id1045->setVisible(mode_ == kExtractIcon);
    ui_->id1076->setVisible(mode_ == kExtractIcon);
    ui_->id1048->setVisible(mode_ == kExtractIcon);

    // 2. The skin, its shape, and the window's size.
    LoadSkin(ids::kSkinIcons);
    if (!skin().isNull()) setFixedSize(skin().size());
    PlaceControls();

    // 4. The theme's icons.
    if (mode_ == kSystemIcons) FillSystemList();

    // 5. The buttons, item 0, the lists' colours.
    ui_->id2->SetStripBitmap(ids::kStripIconsClose);
    ui_->id2->SetTip("Exit Program!", true);
    ui_->id2->setAutoDefault(false);
    connect(ui_->id2, &QPushButton::clicked, this, &CIconDlg::reject);
    ui_->id1076->SetStripBitmap(ids::kStripIconsBrowse);
    ui_->id1076->SetTip("Browse for a DLL or EXE!", true);
    ui_->id1076->setAutoDefault(false);
    connect(ui_->id1076, &QPushButton::clicked, this, &CIconDlg::OnBrowse);
    if (ui_->id1044->count() > 0) ui_->id1044->setCurrentRow(0);
    for (QListWidget* list : {ui_->id1044, ui_->id1045}) {
        PrepareList(list);
        list->viewport()->installEventFilter(this);
    }
}

CIconDlg::~CIconDlg() = default;

QListWidget* CIconDlg::systemList() const {
    return ui_->id1044;
}
QListWidget* CIconDlg::fileList() const {
    return ui_->id1045;
}
QLineEdit* CIconDlg::pathEdit() const {
    return ui_->id1048;
}
CHoverButton* CIconDlg::browseButton() const {
    return ui_->id1076;
}
CHoverButton* CIconDlg::closeButton() const {
    return ui_->id2;
}

void CIconDlg::PlaceControls() {
    for (const Placement& placement : kPlacements) {
        if (QWidget* control = findChild<QWidget*>(QString("id%1").arg(placement.id))) {
            control->setGeometry(platform::SkinUnitsToPixels(placement.units));
        }
    }
}

// One item per icon the theme provides, each with its own 16 x 16 and 32 x 32 picture.
void CIconDlg::FillSystemList() {
    platform::EnsureIconTheme();
    QListWidget* list = ui_->id1044;
    for (const QString& name : platform::ThemeIconNames()) {
        const QImage small = platform::ThemeIconPicture(name, 16);
        const QImage large = platform::ThemeIconPicture(name, 32);
        if (small.isNull() || large.isNull()) continue;
        const int index = static_cast<int>(systemPictures_.size());
        systemPictures_.push_back(large);
        auto* item = new QListWidgetItem(ItemIcon(small, large), ItemLabel(index), list);
        item->setToolTip(name);
    }
}

void CIconDlg::OnBrowse() {
    QFileDialog prompt(this, QString(),
                       QDir(QString::fromStdString(App()->baseFolder)).absolutePath());
    prompt.setObjectName("BrowseForIcons");
    prompt.setOption(QFileDialog::DontUseNativeDialog);
    prompt.setAcceptMode(QFileDialog::AcceptOpen);
    prompt.setFileMode(QFileDialog::ExistingFile);
    prompt.setNameFilters({"EXE Files (*.exe)", "DLL Files (*.dll)"});
    // Files copied from other systems are often named in capitals.
    prompt.setFilter(prompt.filter() & ~QDir::CaseSensitive);
    if (prompt.exec() != QDialog::Accepted || prompt.selectedFiles().isEmpty()) return;
    ExtractFrom(prompt.selectedFiles().first());
}

void CIconDlg::ExtractFrom(const QString& path) {
    filePath_ = path;
    ui_->id1048->setText(path);
    bool cutShort = false;
    fileIcons_ = platform::ExtractIcons(path, &cutShort);
    iconCount_ = static_cast<int>(fileIcons_.size());
    if (cutShort) {
        // A file whose directories claim far more than it can hold: what was read is listed.
        platform::ShowMessage(QString("%1\nholds more icon entries than can be read; the file was "
                                      "cut short after %2 icons.")
                                  .arg(QDir::toNativeSeparators(path))
                                  .arg(iconCount_)
                                  .toStdString(),
                              "Quillet", platform::MessageIcon::Warning);
    }
    if (fileIcons_.empty()) return;

    QListWidget* list = ui_->id1045;
    list->setUpdatesEnabled(false);
    list->clear();
    for (int i = 0; i < iconCount_; ++i) {
        const platform::IconPictures& icon = fileIcons_[static_cast<size_t>(i)];
        new QListWidgetItem(ItemIcon(icon.small, icon.large), ItemLabel(i), list);
    }
    list->setCurrentRow(0);
    list->setUpdatesEnabled(true);
    list->setFocus();
    update();
}

// A press records the item under the pointer (none on empty space); a double click hands over
// the item that press recorded.
bool CIconDlg::eventFilter(QObject* watched, QEvent* event) {
    QListWidget* list = watched == ui_->id1044->viewport()   ? ui_->id1044
                        : watched == ui_->id1045->viewport() ? ui_->id1045
                                                             : nullptr;
    if (list && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) {
            const QListWidgetItem* item = list->itemAt(press->position().toPoint());
            (list == ui_->id1045 ? fileSelection_ : systemSelection_) = item ? list->row(item) : -1;
            clickedLast_ = list;
        }
    } else if (list && event->type() == QEvent::MouseButtonDblClick) {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) HandOff(list);
        return true;
    }
    return CSkinnedDialog::eventFilter(watched, event);
}

void CIconDlg::HandOff(QListWidget* list) {
    if (!preview_) return;
    const bool file = list == ui_->id1045;
    const int index = file ? fileSelection_ : systemSelection_;
    if (index < 0) return;
    const size_t at = static_cast<size_t>(index);
    if (file && at < fileIcons_.size()) {
        preview_->AddCaptureIcon(ColourPlane(fileIcons_[at].large));
    } else if (!file && at < systemPictures_.size()) {
        preview_->AddCaptureIcon(ColourPlane(systemPictures_[at]));
    }
}
