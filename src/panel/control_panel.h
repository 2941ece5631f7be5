#pragma once

#include "app/command_target.h"
#include "workspace/skinned_dialog.h"

#include <array>
#include <memory>

class CCapturePreviewDlg;
class CHoverButton;
class CMW;
class QMenu;
class QTemporaryFile;

// The floating control panel: the program's main face near the bottom-right corner of the
// screen. Its nine hover buttons start captures, open the Window and Icons menus, the options
// and the help page, slide the capture preview out of its left edge, hide or quit.
class CControlPanel : public CSkinnedDialog, public CCommandTarget {
    Q_OBJECT

  public:
    static constexpr int kDialogId = 201;
    static constexpr int kSkinId = 236;
    static constexpr int kBottomMargin = 32;  // kept free above a bottom edge without task bar
    static constexpr int kMenuLift = 30;      // the menus open this far above the pointer

    explicit CControlPanel(CMW* owner);
    ~CControlPanel() override;

    bool onCommand(int id) override;

    CCapturePreviewDlg* preview() const { return preview_.get(); }
    CHoverButton* button(int id) const;

    // The panel's "Slide Capture Window!" action: the preview slides out or back in.
    void SlidePreview();
    // After a capture: the preview comes out (sliding when it was in) and to the front.
    void ShowPreviewOut();
    // Holds the preview against the panel's left edge while it is out.
    void PlacePreview();

    // Where the panel goes at first: the bottom-right corner of the available area (logical
    // pixels).
    static QPoint CornerPosition(const QRect& screen, const QRect& available, QSize panel);

    // The menu the panel opened last, while it is open (for the tests that drive it).
    QMenu* openMenu() const { return openMenu_; }

  signals:
    void menuShown(QMenu* menu);

  public slots:
    void accept() override;
    void reject() override;

  protected:
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // A right click on the panel offers About, which a desktop without a tray has nowhere else.
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void CreateButtons();
    void PlaceAtCorner();
    void ReturnToCorner();
    void RecordPanelRect();
    void PopUpMenu(int subMenu);
    void OpenHelp();
    // The icon window, modal, in "System Icons" or "Extract Icon" mode.
    void RunIconTool(int mode);
    void ShowSatellitesThatAreOut(bool visible);

    CMW* owner_;
    std::array<CHoverButton*, 9> buttons_{};
    std::unique_ptr<CCapturePreviewDlg> preview_;
    std::unique_ptr<QTemporaryFile> helpPage_;  // the help page's copy, removed at the end
    bool firstPlacement_ = true;
    QMenu* openMenu_ = nullptr;
};
