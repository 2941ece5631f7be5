#include "workspace/capture_preview_dlg.h"

#include "app/quillet_app.h"
#include "capture/bitmap_helpers.h"
#include "capture/capture_record.h"
#include "editor/bogus_doc.h"
#include "export/send_to.h"
#include "ids.h"
#include "image/qt/raster_qt.h"
#include "panel/hover_button.h"
#include "platform/message_box.h"
#include "ui_capture_preview_dlg.h"
#include "workspace/capture_list_dlg.h"
#include "workspace/clipboard_viewer.h"
#include "workspace/drop_list_dlg.h"
#include "workspace/preview_image.h"

#include <QClipboard>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPainter>

#include <algorithm>
#include <cctype>
#include <vector>
#include <filesystem>

namespace {

// Looked up by the bytes of its name: a name that is not UTF-8 does not survive a QString.
bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

constexpr const char* kCaption = "Quillet";

struct MenuEntry {
    int id;  // 0: separator; -1: pop-up holding the entries that follow up to the next -2
    const char* text;
};

// Sub-menus 3 to 6 of menu 133, the ones the preview shows or handles.
std::vector<MenuEntry> MenuEntries(int subMenu) {
    switch (subMenu) {
        case ids::kSubMenuEdit1:
            return {
                {ids::kCmdDelete, "Delete"}, {ids::kCmdCopy, "Copy"}, {ids::kCmdPaste, "Paste"}};
        case ids::kSubMenuOther:
            return {{ids::kCmdOtherClipboardViewer, "Clipboard Viewer"},
                    {ids::kCmdOtherOpenFile, "Open File"}};
        case ids::kSubMenuSend:
            return {{ids::kCmdToWorkspace, "To Workspace"},
                    {ids::kCmdToExplorer, "To Explorer"},
                    {-1, "To Email"},
                    {ids::kCmdMailRecipient, "Mail recipient (as attachment)..."},
                    {-2, ""},
                    {ids::kCmdToHtmlEditor, "To Html Editor"}};
        case ids::kSubMenuFun:
            return {{ids::kCmdOpenFile, "Open File"},
                    {ids::kCmdClipboardViewer, "Clipboard Viewer"},
                    {0, ""},
                    {-1, "EDIT"},
                    {ids::kCmdCopyToClipboard, "Copy To Clipboard"},
                    {ids::kCmdPasteFromClipboard, "Paste From Clipboard"},
                    {ids::kCmdDeleteCapture, "Delete Capture"},
                    {-2, ""}};
        default:
            return {};
    }
}

std::unique_ptr<QMenu> BuildMenu(int subMenu) {
    auto menu = std::make_unique<QMenu>();
    QMenu* target = menu.get();
    for (const MenuEntry& entry : MenuEntries(subMenu)) {
        if (entry.id == 0) {
            target->addSeparator();
        } else if (entry.id == -1) {
            target = target->addMenu(entry.text);
        } else if (entry.id == -2) {
            target = menu.get();
        } else {
            QAction* action = target->addAction(entry.text);
            action->setData(entry.id);
            action->setObjectName(QString("id%1").arg(entry.id));
        }
    }
    return menu;
}

// Extension with the dot, lower-cased, of the file name in a path ("" when none).
std::string DottedExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

CCapturePreviewDlg::CCapturePreviewDlg(QWidget* owner)
    : CSkinnedDialog(owner),
      ui_(std::make_unique<Ui::CapturePreviewDlg>()),
      slide_(*this, CSlideAnimation::Direction::Left, App()->previewHidden,
             [] { return App()->panelRect; }) {
    ui_->setupUi(this);
    slide_.SetSize(width(), height());
    LoadSkin(ids::kSkinPreview);

    SetUpButton(ui_->id1074, ids::kPreviewFunctions, ids::kStripFunctions, "Capture Function");
    SetUpButton(ui_->id1000, ids::kPreviewSendTo, ids::kStripSendTo, "Send Captured Image To!");
    SetUpButton(ui_->id1002, ids::kPreviewGalleryButton, ids::kStripSlideArrow,
                "Slide Capture List");
    SetUpButton(ui_->id1001, ids::kPreviewDropListButton, ids::kStripDropListSlide,
                "Click Here To View Drag N Drop");

    captureList_ = new CCaptureListDlg(this);
    dropList_ = new CDropListDlg(this);
    App()->captureListHidden = 1;
    dropList_->hide();
    App()->dropListHidden = 1;

    mailDocument_.reset();
    initialised_ = true;
}

CCapturePreviewDlg::~CCapturePreviewDlg() = default;

void CCapturePreviewDlg::SetUpButton(CHoverButton* button, int id, int strip, const char* tip) {
    button->SetStripBitmap(strip);
    button->SetTip(tip, true);
    connect(button, &QPushButton::clicked, this, [this, id] { onCommand(id); });
}

CPreviewImage* CCapturePreviewDlg::imageArea() const {
    return ui_->id1073;
}

CHoverButton* CCapturePreviewDlg::button(int id) const {
    switch (id) {
        case ids::kPreviewSendTo:
            return ui_->id1000;
        case ids::kPreviewDropListButton:
            return ui_->id1001;
        case ids::kPreviewGalleryButton:
            return ui_->id1002;
        case ids::kPreviewFunctions:
            return ui_->id1074;
        default:
            return nullptr;
    }
}

CClipboardViewer* CCapturePreviewDlg::clipboardViewer() const {
    return clipboardViewer_;
}

QString CCapturePreviewDlg::InfoText() const {
    return ui_->id1003->toPlainText();
}

const CCaptureRecord* CCapturePreviewDlg::Slot(int slot) const {
    return slot >= 0 && slot < kSlots ? slots_[slot].get() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Sliding and the satellites

void CCapturePreviewDlg::ToggleSlide() {
    slide_.Toggle();
    if (App()->previewHidden && captureList_->IsOut()) captureList_->ToggleSlide();
}

void CCapturePreviewDlg::BringToTop() {
    if (dropList_->IsOut()) dropList_->raise();
    if (captureList_->IsOut()) captureList_->raise();
    raise();
}

void CCapturePreviewDlg::PlaceBesidePanel() {
    if (App()->previewHidden) return;
    const QRect panel = App()->panelRect;
    setGeometry(QRect(slide_.OutPosition(panel), QSize(WindowWidth(), WindowHeight() - 2)));
    show();
}

void CCapturePreviewDlg::RepositionSatellites() {
    App()->previewRect = frameGeometry();
    const QRect preview = App()->previewRect;
    if (captureList_->IsOut()) {
        CSlideAnimation& list = captureList_->slide();
        captureList_->setGeometry(
            QRect(list.OutPosition(preview), QSize(list.width(), list.height() - 2)));
        captureList_->show();
    }
    CSlideAnimation& drop = dropList_->slide();
    if (!dropList_->IsOut()) {
        dropList_->setGeometry(preview.left(), preview.top(), drop.width(), drop.height() - 2);
        dropList_->hide();
    } else {
        dropList_->setGeometry(
            QRect(drop.OutPosition(preview, 12), QSize(drop.width(), drop.height() - 2)));
        dropList_->show();
    }
}

void CCapturePreviewDlg::ToggleCaptureList() {
    RepositionSatellites();
    captureList_->ToggleSlide();
}

// The preview's rectangle is recorded first whichever way the list goes, so a list sliding out
// starts from where the preview is now.
void CCapturePreviewDlg::ToggleDropList() {
    RepositionSatellites();
    dropList_->ToggleSlide();
}

void CCapturePreviewDlg::HideDropList() {
    dropList_->slide().Stop();
    dropList_->hide();
}

void CCapturePreviewDlg::TakeDroppedFile(const QString& path) {
    dropList_->InsertFirstRow(path);
    if (!dropList_->IsOut()) ToggleDropList();
    AddCaptureFile(path.toStdString());
}

void CCapturePreviewDlg::moveEvent(QMoveEvent* event) {
    CSkinnedDialog::moveEvent(event);
    if (captureList_ && dropList_ && (captureList_->initialised() || dropList_->initialised())) {
        RepositionSatellites();
    }
}

void CCapturePreviewDlg::ShowSatellites(bool show) {
    if (captureList_->IsOut()) captureList_->setVisible(show);
    if (dropList_->IsOut()) dropList_->setVisible(show);
}

void CCapturePreviewDlg::showEvent(QShowEvent* event) {
    CSkinnedDialog::showEvent(event);
    ShowSatellites(true);
}

void CCapturePreviewDlg::hideEvent(QHideEvent* event) {
    CSkinnedDialog::hideEvent(event);
    ShowSatellites(false);
}

// ---------------------------------------------------------------------------------------------
// The capture table

std::unique_ptr<CCaptureRecord> CCapturePreviewDlg::NewRecord() const {
    return std::make_unique<CCaptureRecord>(App()->settings.thumbWidth,
                                            App()->settings.thumbHeight);
}

int CCapturePreviewDlg::FirstFreeSlot() const {
    for (int slot = 0; slot < kSlots; ++slot) {
        if (!slots_[slot]) return slot;
    }
    return -1;
}

int CCapturePreviewDlg::FirstOccupiedSlot() const {
    for (int slot = 0; slot < kSlots; ++slot) {
        if (slots_[slot]) return slot;
    }
    return -1;
}

int CCapturePreviewDlg::OldestSlot() const {
    return static_cast<int>(std::min_element(addedAt_.begin(), addedAt_.end()) - addedAt_.begin());
}

// A new capture takes the first free slot. With all slots taken, the oldest capture leaves the
// table (its files stay in the cache) and the user is told so, once.
int CCapturePreviewDlg::StoreCapture(std::unique_ptr<CCaptureRecord> record) {
    int slot = FirstFreeSlot();
    const bool full = slot < 0;
    if (full) {
        slot = OldestSlot();
        slots_[slot].reset();
        captureList_->RemoveRowOfSlot(slot);
        --number_;
    }
    slots_[slot] = std::move(record);
    addedAt_[slot] = ++addSerial_;
    ++number_;
    hasCaptures_ = 1;
    App()->captureExists = 1;
    captureList_->InsertRow(*slots_[slot], slot);
    newest_ = slot;
    emit captureStored(QString::fromStdString(slots_[slot]->cachePath));
    SetCurrent(slot);
    update();
    UpdateInfoText();
    ui_->id1073->update();
    if (full && !toldTableFull_) {
        toldTableFull_ = true;
        platform::ShowMessage(kTableFullMessage, kCaption, platform::MessageIcon::Information);
    }
    return slot;
}

void CCapturePreviewDlg::AddCaptureBitmap(const QImage& bitmap, const std::string& path, int) {
    auto record = NewRecord();
    record->FromBitmap(bitmap, path);
    StoreCapture(std::move(record));
    RepositionSatellites();
    RebuildMailDocument();
}

void CCapturePreviewDlg::SetThumbnail(const QImage& bitmap, QSize size,
                                      const std::string& thumbnailPath) {
    CCaptureRecord* newest = newest_ >= 0 ? slots_[newest_].get() : nullptr;
    if (!newest) return;
    newest->MakeThumbnail(bitmap, size.width(), size.height(), thumbnailPath);
    hasCaptures_ = 1;
    ui_->id1073->update();
}

void CCapturePreviewDlg::AddCaptureIcon(const QImage& colourBitmap) {
    auto record = NewRecord();
    record->FromIcon(colourBitmap);
    StoreCapture(std::move(record));
    RebuildMailDocument();
}

void CCapturePreviewDlg::AddCaptureFile(const std::string& path) {
    auto record = NewRecord();
    if (!record->FromFile(path)) return;
    StoreCapture(std::move(record));
    RebuildMailDocument();
}

void CCapturePreviewDlg::AddCaptureFromClipboard(const uint8_t* dib, size_t size) {
    auto record = NewRecord();
    if (!record->FromClipboardDib(dib, size)) return;
    StoreCapture(std::move(record));
    RebuildMailDocument();
}

void CCapturePreviewDlg::OpenCaptureFile(const std::string& path) {
    const int type = RasterTypeFromPath(path);
    if (type < 0) {
        platform::ShowMessage(kOpenTypesMessage, kCaption, platform::MessageIcon::Information);
        return;
    }
    auto record = NewRecord();
    if (!record->FromTypedFile(path, static_cast<uint32_t>(type))) return;
    StoreCapture(std::move(record));
    RebuildMailDocument();
}

// ---------------------------------------------------------------------------------------------
// The current capture

// Only the current capture keeps its picture in memory: the one shown before lets it go (unless
// something still uses it), the new one reads it back from its file.
void CCapturePreviewDlg::SetCurrent(int slot) {
    if (slot < 0 || slot >= kSlots) return;
    if (slot != current_ && slots_[current_]) slots_[current_]->ReleaseImage();
    current_ = slot;
    if (slots_[current_]) slots_[current_]->HoldImage();
}

// The information text follows the capture shown, whether or not the window is out.
void CCapturePreviewDlg::DrawCurrent() {
    UpdateInfoText();
    ui_->id1073->repaint();
}

void CCapturePreviewDlg::DrawCurrent(QPainter& painter, const QRect& area) {
    if (!hasCaptures_) return;
    painter.fillRect(area, QColor(kBarColour));
    UpdateInfoText();
    const CCaptureRecord* record = Slot(current_);
    if (!record) return;
    // A capture whose file has gone shows its thumbnail (the information text says why).
    const std::shared_ptr<const CRaster> image = record->Image();
    const CRaster* shown = image ? image.get() : record->thumbnail.get();
    if (!shown || !shown->IsValid()) return;
    const QRect picture =
        FitRect(area, static_cast<int>(shown->GetWidth()), static_cast<int>(shown->GetHeight()));
    Stretch(*shown, painter, picture.x(), picture.y(), picture.width(), picture.height());
}

void CCapturePreviewDlg::UpdateInfoText() {
    const CCaptureRecord* record = hasCaptures_ ? Slot(current_) : nullptr;
    QString text;
    const std::shared_ptr<const CRaster> image = record ? record->Image() : nullptr;
    if (image && image->IsValid()) {
        text = QString("%1x%2\n%3 Bpp\n%4")
                   .arg(image->GetWidth())
                   .arg(image->GetHeight())
                   .arg(image->GetBpp())
                   .arg(image->GetSize());
    } else if (record) {
        // The message's file name, on as many lines as the box needs.
        text = QString::fromStdString(record->FileMissing()
                                          ? CCaptureRecord::MissingFileText(record->FileName())
                                          : record->ImageError());
    }
    ui_->id1003->setLineWrapMode(image ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    if (ui_->id1003->toPlainText() != text) ui_->id1003->setPlainText(text);
}

QRect CCapturePreviewDlg::FitRect(const QRect& area, int pictureWidth, int pictureHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || area.isEmpty()) return area;
    const double pictureRatio = double(pictureWidth) / pictureHeight;
    const double areaRatio = double(area.width()) / area.height();
    if (pictureRatio > areaRatio) {
        const int height = static_cast<int>(int64_t{pictureHeight} * area.width() / pictureWidth);
        return QRect(area.left(), area.top() + (area.height() - height) / 2, area.width(), height);
    }
    if (pictureRatio < areaRatio) {
        const int width = static_cast<int>(int64_t{pictureWidth} * area.height() / pictureHeight);
        return QRect(area.left() + (area.width() - width) / 2, area.top(), width, area.height());
    }
    return area;
}

std::string CCapturePreviewDlg::WebImagePath(const CCaptureRecord& record) {
    const std::string& path = record.cachePath;
    const std::string extension = DottedExtension(path);
    for (const char* web : {".jpg", ".jpeg", ".gif", ".png", ".ico"}) {
        if (extension != web) continue;
        if (FileExists(path)) return path;
        record.Image();  // notes that the file is missing
        return {};
    }
    const std::shared_ptr<const CRaster> image = record.Image();
    if (!image || !image->IsValid()) return {};
    const std::string jpeg = path.substr(0, path.size() - extension.size()) + ".jpg";
    // JPEG holds only true colour: a palette or transparent picture is written from a copy.
    if (!SaveJpegCopy(*image, jpeg)) return {};
    return jpeg;
}

void CCapturePreviewDlg::RebuildMailDocument() {
    mailDocument_.reset();
    const CCaptureRecord* record = hasCaptures_ ? Slot(current_) : nullptr;
    if (!record) return;
    const std::string path = WebImagePath(*record);
    mailDocument_ = std::make_unique<CBogusDoc>();
    if (path.empty() && !record->ImageError().empty()) {
        platform::ShowMessage(record->ImageError(), kCaption);
    } else if (path.empty() || !mailDocument_->OnOpenDocument(path)) {
        platform::ShowMessage("bad document", kCaption);
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

bool CCapturePreviewDlg::onCommand(int id) {
    if (mailDocument_ && mailDocument_->onCommand(id)) return true;
    switch (id) {
        case ids::kPreviewSendTo:
            PopUpMenu(ids::kSubMenuSend);
            return true;
        case ids::kPreviewFunctions:
            PopUpMenu(ids::kSubMenuFun);
            return true;
        case ids::kPreviewGalleryButton:
            ToggleCaptureList();
            return true;
        case ids::kPreviewDropListButton:
            ToggleDropList();
            return true;
        case ids::kCmdOpenFile:
        case ids::kCmdOtherOpenFile:
            OpenFile();
            return true;
        case ids::kCmdClipboardViewer:
        case ids::kCmdOtherClipboardViewer:
            ShowClipboardViewer();
            return true;
        case ids::kCmdCopy:
        case ids::kCmdCopyToClipboard:
            CopyToClipboard();
            return true;
        case ids::kCmdPaste:
        case ids::kCmdPasteFromClipboard:
            PasteFromClipboard();
            return true;
        case ids::kCmdDelete:
            Delete();
            return true;
        case ids::kCmdDeleteCapture:
            DeleteCapture();
            return true;
        case ids::kCmdToWorkspace:
            SendToWorkspace(hasCaptures_ ? Slot(current_) : nullptr);
            return true;
        case ids::kCmdToExplorer:
            SendToExplorer(hasCaptures_ ? Slot(current_) : nullptr, webImagePath, htmlPagePath);
            return true;
        case ids::kCmdToHtmlEditor:
            SendToHtmlEditor(hasCaptures_ ? Slot(current_) : nullptr, webImagePath, htmlPagePath);
            return true;
        case ids::kCmdMailRecipient:
            // Reached only when the mail document holds no picture.
            platform::ShowMessage(kNoCaptureMessage, kCaption);
            return true;
        default:
            return false;
    }
}

QMenu* CCapturePreviewDlg::Menu(int subMenu) {
    std::unique_ptr<QMenu>& menu = menus_[subMenu];
    if (!menu) {
        menu = BuildMenu(subMenu);
        connect(menu.get(), &QMenu::aboutToShow, this, [this, m = menu.get()] {
            // Mail needs a composer to hand the message to.
            if (QAction* mail = m->findChild<QAction*>(QString("id%1").arg(ids::kCmdMailRecipient)))
                mail->setEnabled(MailAvailable());
            emit menuShown(m);
        });
    }
    return menu.get();
}

// Left-aligned 30 pixels above the pointer; the chosen item's command comes here.
void CCapturePreviewDlg::PopUpMenu(int subMenu) {
    QMenu* menu = Menu(subMenu);
    QAction* chosen = menu->exec(QCursor::pos() - QPoint(0, 30));
    if (chosen && chosen->data().isValid()) onCommand(chosen->data().toInt());
}

void CCapturePreviewDlg::OpenFile() {
    const CQuilletApp* app = App();
    QFileDialog dialog(
        this, "Open image file",
        QString::fromStdString(app->sessionUsed ? app->sessionFolder : app->binFolder));
    dialog.setObjectName("OpenImageFile");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({
        "Supported files (*.bmp *.gif *.jpg *.jpeg *.png *.ico *.tif *.tiff *.tga *.pcx)",
        "BMP files (*.bmp)",
        "GIF files (*.gif)",
        "JPG files (*.jpg *.jpeg)",
        "PNG files (*.png)",
        "ICO files (*.ico)",
        "TIF files (*.tif *.tiff)",
        "TGA files (*.tga)",
        "PCX files (*.pcx)",
    });
    dialog.selectNameFilter("JPG files (*.jpg *.jpeg)");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenCaptureFile(dialog.selectedFiles().first().toStdString());
}

void CCapturePreviewDlg::ShowClipboardViewer() {
    if (!clipboardViewer_) clipboardViewer_ = new CClipboardViewer(this);
    clipboardViewer_->Refresh();
    clipboardViewer_->show();
    clipboardViewer_->raise();
}

// The current capture goes on the clipboard as a bitmap file payload and as a picture.
void CCapturePreviewDlg::CopyToClipboard() {
    if (!hasCaptures_) return;
    const CCaptureRecord* record = Slot(current_);
    if (!record) return;
    const std::shared_ptr<const CRaster> image = record->Image();
    if (!image || !image->IsValid()) {
        platform::ShowMessage(
            record->ImageError().empty() ? "Unable to set Clipboard data" : record->ImageError(),
            kCaption);
        return;
    }
    if (!PlaceOnClipboard(*image)) platform::ShowMessage("Unable to set Clipboard data", kCaption);
}

// A bitmap on the clipboard becomes a capture; anything else is left alone.
void CCapturePreviewDlg::PasteFromClipboard() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data) return;
    std::vector<uint8_t> dib;
    constexpr int kFileHeader = 14;
    if (data->hasFormat("image/bmp")) {
        const QByteArray payload = data->data("image/bmp");
        if (payload.size() > kFileHeader && payload.startsWith("BM")) {
            dib.assign(payload.begin() + kFileHeader, payload.end());
        }
    }
    if (dib.empty() && data->hasImage()) {
        const QImage image = qvariant_cast<QImage>(data->imageData());
        if (!image.isNull()) dib = BitmapToDib(image.convertToFormat(QImage::Format_RGB32));
    }
    if (!dib.empty()) AddCaptureFromClipboard(dib.data(), dib.size());
}

int CCapturePreviewDlg::ReleaseCurrent() {
    if (!hasCaptures_) return -1;
    const int released = current_;
    slots_[released].reset();
    addedAt_[released] = 0;
    number_ = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
        if (slots_[slot]) ++number_;
    }
    // The first capture left is shown (slot 0 when none is left).
    SetCurrent(std::max(0, FirstOccupiedSlot()));
    if (number_ == 0) hasCaptures_ = 0;
    return released;
}

void CCapturePreviewDlg::DeleteCapture() {
    const int released = ReleaseCurrent();
    if (released < 0) return;
    captureList_->RemoveRowOfSlot(released);
    captureList_->SelectRowOfSlot(current_);
    RebuildMailDocument();
    UpdateInfoText();
    ui_->id1073->update();
}

void CCapturePreviewDlg::Delete() {
    if (ReleaseCurrent() < 0) return;
    if (captureList_->RowCount() > 0) {
        captureList_->DeleteAllRows();
        for (int slot = 0; slot < kSlots; ++slot) {
            if (slots_[slot]) captureList_->InsertRow(*slots_[slot], slot);
        }
    }
    captureList_->SelectRowOfSlot(current_);
    RebuildMailDocument();
    DrawCurrent();
}
