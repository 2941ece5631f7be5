#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QMenu;
class QSystemTrayIcon;
class CCommandTarget;

// The window that receives the tray icon's mouse notifications (the callback message) and hands
// them back to the tray object.
class CTrayNotifyWindow {
  public:
    virtual ~CTrayNotifyWindow() = default;
    virtual int TrayNotification(int iconId, int mouseMessage) = 0;
};

// The program's icon in the notification area. Its mouse notifications travel through the notify
// window (the coordinator window) back to OnTrayNotification; menu commands go to the target,
// or to the notify window when no target is set.
class CTrayIcon : public QObject {
    Q_OBJECT

  public:
    // Mouse notifications, numbered as the classic mouse messages.
    static constexpr int kLeftButtonUp = 0x0202;
    static constexpr int kLeftButtonDoubleClick = 0x0203;
    static constexpr int kRightButtonUp = 0x0205;
    static constexpr int kMiddleButtonUp = 0x0208;
    static constexpr int kTipLength = 128;

    CTrayIcon();
    ~CTrayIcon() override;

    // Adds the icon. Returns false when there is no notification area to hold it.
    // Without an owner the notifications come straight to this object.
    bool Create(CTrayNotifyWindow* owner, int callbackMessage, const QString& tip,
                const QIcon& icon, int iconId);
    // The item shown bold and run by a left click, by command id or by position in the menu.
    bool SetDefaultItem(int item, bool byPosition);
    void SetTarget(CCommandTarget* target) { target_ = target; }

    int OnTrayNotification(int iconId, int mouseMessage);
    void Destroy();

    bool enabled() const { return enabled_; }
    bool hidden() const { return hidden_; }
    int iconId() const { return iconId_; }
    QString tip() const { return tip_; }
    QSystemTrayIcon* systemTrayIcon() const { return icon_.get(); }
    // The tray menu while it is open (for the tests that drive it).
    QMenu* openMenu() const { return openMenu_; }
    // The menu exported to a StatusNotifierItem host, or null.
    QMenu* exportedMenu() const { return exportedMenu_.get(); }

    // Builds the tray menu: "START", "EXIT", "ABOUT", the "CAPTURE" pop-up, "PROPERTIES".
    static std::unique_ptr<QMenu> LoadTrayMenu();

  signals:
    void menuShown(QMenu* menu);

  private:
    int DefaultCommand(const QMenu& menu) const;
    void MarkDefault(QMenu& menu) const;
    void ShowMenu();
    void Deliver(int mouseMessage);
    CCommandTarget* Target() const;

    bool enabled_ = false;
    bool hidden_ = true;
    bool pending_ = true;
    int iconId_ = 0;
    int callbackMessage_ = 0;
    QString tip_;
    int defaultItem_ = -1;
    bool defaultByPosition_ = false;
    CCommandTarget* target_ = nullptr;
    CTrayNotifyWindow* notifyWindow_ = nullptr;
    std::unique_ptr<QSystemTrayIcon> icon_;
    // The menu a StatusNotifierItem host shows (exported over D-Bus); none with an XEmbed tray.
    std::unique_ptr<QMenu> exportedMenu_;
    QPointer<QMenu> openMenu_;
};
