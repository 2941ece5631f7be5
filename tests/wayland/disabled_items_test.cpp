// On Wayland the menu items that pick another program's window are disabled, and each says why
// (the browser's items are left out here).
#include "ids.h"
#include "panel/control_panel.h"
#include "panel/running_app.h"
#include "panel/tray_icon.h"
#include "platform/screen_grab.h"

#include <QMenu>

namespace {

struct Item {
    QString text;
    bool enabled;
    QString toolTip, statusTip;
    bool tipsShown;  // by its menu
};

void Collect(const QMenu& menu, std::vector<Item>& items) {
    for (QAction* action : menu.actions()) {
        const int id = action->data().toInt();
        if (action->menu())
            Collect(*action->menu(), items);
        else if (id > 0 && id != ids::kCmdWholePage && id != ids::kCmdPageSource)
            items.push_back({action->text(), action->isEnabled(), action->toolTip(),
                             action->statusTip(), menu.toolTipsVisible()});
    }
}

void ExpectDisabledSayingWhy(const std::vector<Item>& items) {
    for (const Item& item : items) {
        SCOPED_TRACE(item.text.toStdString());
        EXPECT_FALSE(item.enabled);
        EXPECT_TRUE(item.toolTip.contains("Wayland")) << item.toolTip.toStdString();
        EXPECT_EQ(item.statusTip, item.toolTip);
        EXPECT_TRUE(item.tipsShown);
    }
}

}  // namespace

TEST_F(RunningApp, PickingItemsAreDisabledAndSayWhy) {
    ASSERT_TRUE(platform::RunsOnWayland()) << "run under scripts/with-wayland";
    std::vector<Item> items;
    QObject::connect(App()->panel(), &CControlPanel::menuShown, [&](QMenu* menu) {
        Collect(*menu, items);
        menu->close();
    });
    App()->panel()->onCommand(ids::kPanelWindow);  // the menu is up until the handler closes it
    QStringList names;
    for (const Item& item : items) names << item.text;
    EXPECT_EQ(names, QStringList({"Window", "Client", "Control", "Dropdown", "Test"}));
    ExpectDisabledSayingWhy(items);

    // The tray's WINDOWCLIENT (the menu a tray or a StatusNotifierItem host shows).
    const std::unique_ptr<QMenu> tray = CTrayIcon::LoadTrayMenu();
    std::vector<Item> trayItems;
    Collect(*tray, trayItems);
    std::erase_if(trayItems, [](const Item& item) { return item.text != "WINDOWCLIENT"; });
    ASSERT_EQ(trayItems.size(), 1u);
    ExpectDisabledSayingWhy(trayItems);
}
