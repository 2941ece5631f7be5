#include "panel/tray_icon.h"

#include "app/command_target.h"
#include "ids.h"
#include "platform/screen_grab.h"
#include "platform/fixed_wait.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {

// How long start-up waits for a notification area that is still coming up with the desktop.
constexpr int kTrayWaitMs = 3000;

bool WaitForNotificationArea() {
    QElapsedTimer clock;
    clock.start();
    while (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (clock.elapsed() > kTrayWaitMs) return false;
        platform::FixedWait(100);
    }
    return true;
}

struct TrayMenuItem {
    bool inCapture;  // in the CAPTURE pop-up
    int id;
    const char* text;
    bool enabled;  // false until the command's handler lands
};

// Menu 133's tray sub-menu.
const TrayMenuItem kTrayMenu[] = {
    {false, ids::kCmdStart, "START", true},
    {false, ids::kCmdExit, "EXIT", true},
    {false, ids::kCmdAbout, "ABOUT", true},
    {true, ids::kCmdRectangle, "RECTANGLE", true},
    {true, ids::kCmdWindowClient, "WINDOWCLIENT", true},
    {true, ids::kCmdScreen, "&SCREEN..\tCtl+Z", true},
    {false, ids::kCmdProperties, "PROPERTIES", true},
};

void AddCommand(QMenu& menu, const TrayMenuItem& item) {
    QAction* action = menu.addAction(item.text);
    action->setData(item.id);
    action->setObjectName(QString("id%1").arg(item.id));
    action->setEnabled(item.enabled);
    if (item.id == ids::kCmdWindowClient && platform::RunsOnWayland()) {
        action->setEnabled(false);
        action->setToolTip(platform::kWaylandNoPickReason);
        action->setStatusTip(platform::kWaylandNoPickReason);
        menu.setToolTipsVisible(true);
    }
}

// A StatusNotifierItem host on the session bus: Qt then shows the icon through it, and the host
// (not a click on an XEmbed icon) opens the menu, which Qt must export.
bool StatusNotifierHostPresent() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    return bus.interface()->isServiceRegistered("org.kde.StatusNotifierWatcher").value();
}

int MouseMessageFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return CTrayIcon::kLeftButtonUp;
        case QSystemTrayIcon::Context:
            return CTrayIcon::kRightButtonUp;
        case QSystemTrayIcon::DoubleClick:
            return CTrayIcon::kLeftButtonDoubleClick;
        case QSystemTrayIcon::MiddleClick:
            return CTrayIcon::kMiddleButtonUp;
        default:
            return 0;
    }
}

}  // namespace

CTrayIcon::CTrayIcon() = default;

CTrayIcon::~CTrayIcon() {
    Destroy();
}

std::unique_ptr<QMenu> CTrayIcon::LoadTrayMenu() {
    auto menu = std::make_unique<QMenu>("Menu");
    QMenu* capture = nullptr;
    for (const TrayMenuItem& item : kTrayMenu) {
        if (item.inCapture && !capture) {
            capture = menu->addMenu("CAPTURE");
            capture->setObjectName("CAPTURE");
        }
        AddCommand(item.inCapture ? *capture : *menu, item);
    }
    return menu;
}

bool CTrayIcon::Create(CTrayNotifyWindow* owner, int callbackMessage, const QString& tip,
                       const QIcon& icon, int iconId) {
    enabled_ = WaitForNotificationArea();
    if (!enabled_) {
        hidden_ = pending_ = true;
        return false;
    }
    iconId_ = iconId;
    notifyWindow_ = owner;
    callbackMessage_ = callbackMessage;
    tip_ = tip.left(kTipLength);
    icon_ = std::make_unique<QSystemTrayIcon>(icon);
    icon_->setToolTip(tip_);
    connect(icon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { Deliver(MouseMessageFor(reason)); });
    if (StatusNotifierHostPresent()) {
        exportedMenu_ = LoadTrayMenu();
        MarkDefault(*exportedMenu_);
        connect(exportedMenu_.get(), &QMenu::triggered, this, [this](QAction* action) {
            CCommandTarget* target = Target();
            const int command = action->data().toInt();
            if (enabled_ && command > 0 && target) target->onCommand(command);
        });
        icon_->setContextMenu(exportedMenu_.get());
    }
    icon_->show();
    hidden_ = pending_ = !icon_->isVisible();
    return !hidden_;
}

void CTrayIcon::Deliver(int mouseMessage) {
    if (mouseMessage == 0) return;
    if (notifyWindow_) {
        notifyWindow_->TrayNotification(iconId_, mouseMessage);
    } else {
        OnTrayNotification(iconId_, mouseMessage);
    }
}

CCommandTarget* CTrayIcon::Target() const {
    return target_ ? target_ : dynamic_cast<CCommandTarget*>(notifyWindow_);
}

bool CTrayIcon::SetDefaultItem(int item, bool byPosition) {
    if (defaultItem_ == item && defaultByPosition_ == byPosition) return true;
    defaultItem_ = item;
    defaultByPosition_ = byPosition;
    if (exportedMenu_) MarkDefault(*exportedMenu_);
    return true;
}

int CTrayIcon::DefaultCommand(const QMenu& menu) const {
    if (!defaultByPosition_) return defaultItem_;
    const auto actions = menu.actions();
    if (defaultItem_ < 0 || defaultItem_ >= actions.size()) return 0;
    return actions[defaultItem_]->data().toInt();
}

int CTrayIcon::OnTrayNotification(int iconId, int mouseMessage) {
    if (!enabled_ || iconId != iconId_ || !Target()) return 0;
    if (mouseMessage == kRightButtonUp) {
        ShowMenu();
        return 1;
    }
    if (mouseMessage == kLeftButtonUp) {
        const auto menu = LoadTrayMenu();
        const int command = DefaultCommand(*menu);
        if (command > 0) Target()->onCommand(command);
        return 1;
    }
    return 0;
}

void CTrayIcon::MarkDefault(QMenu& menu) const {
    for (QAction* action : menu.actions()) {
        const bool isDefault = defaultByPosition_
                                   ? menu.actions().indexOf(action) == defaultItem_
                                   : action->data().toInt() == defaultItem_ && defaultItem_ > 0;
        QFont font = action->font();
        font.setBold(isDefault);
        action->setFont(font);
        if (isDefault) menu.setDefaultAction(action);
    }
}

void CTrayIcon::ShowMenu() {
    if (openMenu_) return;  // one menu at a time
    auto menu = LoadTrayMenu();
    MarkDefault(*menu);
    openMenu_ = menu.get();
    QMetaObject::invokeMethod(
        this, [this, m = menu.get()] { emit menuShown(m); }, Qt::QueuedConnection);
    QAction* chosen = menu->exec(QCursor::pos());
    openMenu_ = nullptr;
    CCommandTarget* target = Target();
    if (chosen && chosen->data().toInt() > 0 && target) target->onCommand(chosen->data().toInt());
}

void CTrayIcon::Destroy() {
    if (icon_) icon_->hide();
    icon_.reset();
    exportedMenu_.reset();
    hidden_ = true;
}
