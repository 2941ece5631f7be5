#include "panel/control_panel.h"

#include "app/quillet_app.h"
#include "capture/mw.h"
#include "ids.h"
#include "panel/hover_button.h"
#include "platform/screen_grab.h"
#include "platform/dialog_units.h"
#include "platform/message_box.h"
#include "tools/icons/icon_dlg.h"
#include "workspace/capture_preview_dlg.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

namespace {

// A control whose action has no handler yet is shown disabled (`enabled` false); the change that
// brings its handler turns it on here.
struct PanelButton {
    int id;
    int strip;
    const char* tip;
    QRect units;  // dialog units: x, y, width, height
    bool enabled;
};

constexpr int kButtonCount = 9;
const PanelButton kButtons[kButtonCount] = {
    {ids::kPanelDesktop, 212, "Capture Desktop!", {4, 50, 34, 10}, true},
    {ids::kPanelSlice,
     213,
     "Click Here. Then, Hold Down Left Mouse Button And Slide To Draw!",
     {4, 62, 34, 10},
     true},
    {ids::kPanelHelp, 214, "Click Me For Help!", {4, 75, 34, 10}, true},
    {ids::kPanelWindow, 216, "Click To View Window Options!", {85, 50, 34, 10}, true},
    {ids::kPanelIcons, 215, "Click To View Icon Options!", {85, 62, 34, 10}, true},
    {ids::kPanelOptions, 217, "Click To View Properties Dialog!", {85, 75, 34, 10}, true},
    {ids::kPanelSlide, 229, "Slide Capture Window!", {0, 41, 6, 6}, true},
    {ids::kPanelOk, 228, "Click Here To Exit Quillet!", {151, 87, 7, 6}, true},
    {ids::kPanelCancel, 227, "Click Here To Hide Quillet!", {7, 87, 7, 6}, true},
};

// The pick modes of the Window menu's commands.
int PickMode(int id) {
    switch (id) {
        case ids::kCmdPickWindow:
            return 1;
        case ids::kCmdPickControl:
            return 2;
        case ids::kCmdPickClient:
            return 3;
        case ids::kCmdPickDropdown:
            return 4;
        case ids::kCmdWholePage:
            return 5;
        case ids::kCmdPageSource:
            return 6;
        default:
            return 7;  // Test
    }
}

struct MenuItem {
    int subMenu;        // ids::kSubMenuWindow or ids::kSubMenuIcons
    const char* popUp;  // the pop-up inside the sub-menu that holds the item, or null
    int id;
    const char* text;
    bool enabled;  // false until the item's handler lands
};

// Sub-menus 1 "Window" and 2 "Icons" of the program's menu.
const MenuItem kMenuItems[] = {
    {ids::kSubMenuWindow, nullptr, ids::kCmdPickWindow, "Window", true},
    {ids::kSubMenuWindow, nullptr, ids::kCmdPickClient, "Client", true},
    {ids::kSubMenuWindow, nullptr, ids::kCmdPickControl, "Control", true},
    {ids::kSubMenuWindow, nullptr, ids::kCmdPickDropdown, "Dropdown", true},
    {ids::kSubMenuWindow, "Explorer", ids::kCmdWholePage, "Capture Whole Page As Image", true},
    {ids::kSubMenuWindow, "Explorer", ids::kCmdPageSource, "Save Page Source And Images", true},
    {ids::kSubMenuWindow, nullptr, ids::kCmdPickTest, "Test", true},
    {ids::kSubMenuIcons, nullptr, ids::kCmdSystemIcons, "System Icons", true},
    {ids::kSubMenuIcons, nullptr, ids::kCmdExtractIcon, "Extract Icon", true},
};

std::unique_ptr<QMenu> LoadPanelMenu(int subMenu) {
    auto menu = std::make_unique<QMenu>(subMenu == ids::kSubMenuWindow ? "Window" : "Icons");
    QMenu* popUp = nullptr;
    const bool wayland = platform::RunsOnWayland();
    for (const MenuItem& item : kMenuItems) {
        if (item.subMenu != subMenu) continue;
        QMenu* target = menu.get();
        if (item.popUp) {
            if (!popUp || popUp->title() != item.popUp) popUp = menu->addMenu(item.popUp);
            target = popUp;
        }
        QAction* action = target->addAction(item.text);
        action->setData(item.id);
        action->setObjectName(QString("id%1").arg(item.id));
        action->setEnabled(item.enabled);
        // Every other mode picks a window with the pointer, which needs X11; the browser's
        // commands take the browser's visible page there instead.
        if (wayland && subMenu == ids::kSubMenuWindow && !item.popUp) {
            action->setEnabled(false);
            action->setToolTip(platform::kWaylandNoPickReason);
            action->setStatusTip(platform::kWaylandNoPickReason);
            target->setToolTipsVisible(true);
        }
    }
    return menu;
}

}  // namespace

// The coordinator owns the panel through the application object; as a window the panel stands on
// its own, since a window manager may keep the transients of a never-mapped window hidden.
CControlPanel::CControlPanel(CMW* owner) : CSkinnedDialog(nullptr), owner_(owner) {
    setObjectName(QString("id%1").arg(kDialogId));
    setWindowTitle("Quillet");
    LoadSkin(kSkinId);
    resize(skin().isNull() ? platform::SkinUnitsToPixels(QSize(161, 102)) : skin().size());
    RecordPanelRect();
    PlaceAtCorner();
    // When monitors come or go, or another becomes the primary, the panel goes back to the
    // primary monitor's corner.
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &CControlPanel::ReturnToCorner,
            Qt::QueuedConnection);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &CControlPanel::ReturnToCorner,
            Qt::QueuedConnection);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &CControlPanel::ReturnToCorner,
            Qt::QueuedConnection);
    preview_ = std::make_unique<CCapturePreviewDlg>(this);
    App()->previewHidden = 1;
    CreateButtons();
}

CControlPanel::~CControlPanel() = default;

void CControlPanel::CreateButtons() {
    for (int i = 0; i < kButtonCount; ++i) {
        const PanelButton& entry = kButtons[i];
        auto* button = new CHoverButton(this);
        button->setObjectName(QString("id%1").arg(entry.id));
        button->setGeometry(platform::SkinUnitsToPixels(entry.units));
        button->SetStripBitmap(entry.strip);
        button->SetTip(entry.tip, true);
        button->setAutoDefault(false);
        button->setEnabled(entry.enabled);
        connect(button, &QPushButton::clicked, this, [this, id = entry.id] { onCommand(id); });
        buttons_[i] = button;
    }
}

CHoverButton* CControlPanel::button(int id) const {
    for (int i = 0; i < kButtonCount; ++i) {
        if (kButtons[i].id == id) return buttons_[i];
    }
    return nullptr;
}

void CControlPanel::RecordPanelRect() {
    App()->panelRect = frameGeometry();
}

// The bottom-right corner of the screen's available area. The margin keeps the panel clear of a
// task bar the desktop does not announce; where it reserves its bars, the area already ends above
// them.
QPoint CControlPanel::CornerPosition(const QRect& screen, const QRect& available, QSize panel) {
    const int margin = available.bottom() >= screen.bottom() ? kBottomMargin : 0;
    return {available.right() + 1 - panel.width(),
            available.bottom() + 1 - panel.height() - margin};
}

void CControlPanel::ReturnToCorner() {
    firstPlacement_ = true;
    PlaceAtCorner();
}

void CControlPanel::PlaceAtCorner() {
    if (!firstPlacement_) return;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    move(CornerPosition(screen->geometry(), screen->availableGeometry(), frameGeometry().size()));
    RecordPanelRect();
    firstPlacement_ = false;
}

bool CControlPanel::onCommand(int id) {
    switch (id) {
        case ids::kPanelDesktop:
            owner_->StartCapture(CMW::kKindDesktop);
            ShowPreviewOut();
            return true;
        case ids::kPanelSlice:
            owner_->StartCapture(CMW::kKindRectangle);
            return true;
        case ids::kPanelHelp:
            OpenHelp();
            return true;
        case ids::kPanelWindow:
            PopUpMenu(ids::kSubMenuWindow);
            return true;
        case ids::kPanelIcons:
            PopUpMenu(ids::kSubMenuIcons);
            return true;
        case ids::kPanelOptions:
            return owner_->onCommand(ids::kCmdProperties);
        case ids::kPanelSlide:
            SlidePreview();
            return true;
        case ids::kPanelOk:
            accept();
            return true;
        case ids::kPanelCancel:
            reject();
            return true;
        case ids::kCmdPickWindow:
            // The panel stays on the screen while a whole window is picked.
            App()->Pick(1);
            show();
            preview_->BringToTop();
            return true;
        case ids::kCmdPickControl:
        case ids::kCmdPickClient:
        case ids::kCmdPickDropdown:
        case ids::kCmdWholePage:
        case ids::kCmdPageSource:
        case ids::kCmdPickTest:
            hide();
            App()->Pick(PickMode(id));
            raise();
            activateWindow();
            return true;
        case ids::kCmdSystemIcons:
            RunIconTool(CIconDlg::kSystemIcons);
            return true;
        case ids::kCmdExtractIcon:
            RunIconTool(CIconDlg::kExtractIcon);
            return true;
        default:
            return owner_->onCommand(id);
    }
}

void CControlPanel::accept() {
    // OK (and Enter) ends the program as EXIT does; the panel stays when the user keeps it.
    owner_->onCommand(ids::kCmdExit);
}

void CControlPanel::reject() {
    hide();
}

void CControlPanel::keyPressEvent(QKeyEvent* event) {
    // Enter is the panel's OK and Escape its Cancel, whichever button has the focus.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            accept();
            return;
        case Qt::Key_Escape:
            reject();
            return;
        default:
            CSkinnedDialog::keyPressEvent(event);
    }
}

void CControlPanel::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu;
    QAction* about = menu.addAction("&About Quillet...");
    about->setObjectName(QString("id%1").arg(ids::kCmdAppAbout));
    openMenu_ = &menu;
    QMetaObject::invokeMethod(
        this, [this, m = &menu] { emit menuShown(m); }, Qt::QueuedConnection);
    QAction* chosen = menu.exec(event->globalPos());
    openMenu_ = nullptr;
    if (chosen == about) App()->onCommand(ids::kCmdAppAbout);
}

void CControlPanel::SlidePreview() {
    PlacePreview();
    preview_->ToggleSlide();
}

void CControlPanel::ShowPreviewOut() {
    show();
    if (App()->previewHidden) {
        SlidePreview();
    } else {
        PlacePreview();
    }
    preview_->BringToTop();
}

void CControlPanel::PlacePreview() {
    RecordPanelRect();
    if (App()->previewHidden) return;
    preview_->PlaceBesidePanel();
}

void CControlPanel::PopUpMenu(int subMenu) {
    const QPoint at = QCursor::pos() - QPoint(0, kMenuLift);
    const std::unique_ptr<QMenu> menu = LoadPanelMenu(subMenu);
    openMenu_ = menu.get();
    QMetaObject::invokeMethod(
        this, [this, m = menu.get()] { emit menuShown(m); }, Qt::QueuedConnection);
    QAction* chosen = menu->exec(at);
    openMenu_ = nullptr;
    if (chosen && chosen->data().toInt() > 0) onCommand(chosen->data().toInt());
}

void CControlPanel::RunIconTool(int mode) {
    CIconDlg tool(mode, preview_.get(), this);
    tool.exec();
}

void CControlPanel::OpenHelp() {
    // The help page travels inside the program; the browser gets a copy of it in a file of our
    // own, made new under an unguessable name, so nothing another user left in the shared
    // temporary folder can stand in for it or keep it out.
    if (!helpPage_) {
        auto page =
            std::make_unique<QTemporaryFile>(QDir::tempPath() + "/quillet-help-XXXXXX.html");
        QFile shipped(":/help/quillet-help.html");
        if (!page->open() || !shipped.open(QIODevice::ReadOnly) ||
            page->write(shipped.readAll()) != shipped.size() || !page->flush()) {
            platform::ShowMessage("Quillet cannot write its help page to the temporary folder " +
                                      QDir::tempPath().toStdString() + " (" +
                                      page->errorString().toStdString() + ").",
                                  "Quillet", platform::MessageIcon::Warning);
            return;
        }
        helpPage_ = std::move(page);
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(helpPage_->fileName()));
}

void CControlPanel::moveEvent(QMoveEvent* event) {
    CSkinnedDialog::moveEvent(event);
    if (preview_ && preview_->initialised()) PlacePreview();
}

void CControlPanel::showEvent(QShowEvent* event) {
    CSkinnedDialog::showEvent(event);
    PlaceAtCorner();
    ShowSatellitesThatAreOut(true);
}

void CControlPanel::hideEvent(QHideEvent* event) {
    ShowSatellitesThatAreOut(false);
    CSkinnedDialog::hideEvent(event);
}

void CControlPanel::ShowSatellitesThatAreOut(bool visible) {
    if (!preview_) return;
    if (!App()->previewHidden) preview_->setVisible(visible);
}
