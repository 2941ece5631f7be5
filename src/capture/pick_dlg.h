#pragma once

#include "capture/hook_messages.h"
#include "platform/outline_frame.h"
#include "workspace/skinned_dialog.h"

#include <QPoint>

#include <memory>

class CInspectorDlg;
class QPlainTextEdit;
class QPushButton;

// The picking balloon: while it runs, the window under the pointer anywhere on the screen is
// outlined, and a left click captures it (or its top-level window, its root owner, or the list
// that a combo box dropped). The hook library reports the pointer; the balloon holds a pointer
// grab so that the click never reaches the picked program.
class CPickDlg : public CSkinnedDialog, private CHookReceiver {
    Q_OBJECT

  public:
    static constexpr int kDialogId = 205;
    static constexpr int kSkinId = 206;

    enum Mode {
        kModeNone = 0,
        kModeWindow = 1,
        kModeControl = 2,
        kModeClient = 3,
        kModeDropdown = 4,
        kModeWholePage = 5,
        kModePageSource = 6,
        kModeTest = 7,
    };

    // The Dropdown capture looks this far down and left of the release point.
    static constexpr QPoint kDropdownOffset{-5, 15};
    static constexpr int kWaitMs = 100;

    explicit CPickDlg(QWidget* parent = nullptr);
    ~CPickDlg() override;

    // The prompt of a mode (empty for none).
    static const char* Prompt(int mode);

    int mode = kModeNone;

    // For the tests: the state of a running pick.
    bool hookSet() const { return hookSet_ != 0; }
    unsigned long lastOutlined() const { return lastOutlined_; }
    unsigned long outlineWindow() const { return outline_.window(); }
    bool grabbing() const { return pointerGrabbed_ || keyboardGrabbed_; }
    CInspectorDlg* inspector() const { return inspector_.get(); }

  public slots:
    void reject() override { Cancel(); }

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    // The grab sends every click here; they belong to the pick, not to dragging the balloon.
    void mousePressEvent(QMouseEvent*) override {}
    void mouseMoveEvent(QMouseEvent*) override {}
    void mouseReleaseEvent(QMouseEvent*) override {}

  private:
    enum class InspectorStep { StorePoint, Refresh, Show, ShowAndRefresh };

    void OnHookMessage(unsigned long message) override;
    void StartMode();
    void OnMouseMove();
    void OnButtonDown();
    void OnButtonUp();
    void HideAndWait(bool balloonToo);
    void CaptureWindow(unsigned long window, bool withFrame);
    void Cancel();

    bool TakeGrabs();
    void ReleaseGrabs();
    // The window a pick of this dialog's mode makes of the window at a point.
    unsigned long Candidate(unsigned long windowAtPoint) const;
    bool IsDialogWindow(unsigned long window) const;
    bool WithFrame() const { return mode_ == kModeWindow || mode_ == kModeControl; }
    void RunScrollTest(unsigned long window);
    void RunBrowserPick();
    // The window inspector's link in expert mode.
    void Inspector(InspectorStep step, QPoint point = {});

    QPlainTextEdit* prompt_ = nullptr;
    QPushButton* cancel_ = nullptr;
    platform::COutlineFrame outline_;
    std::unique_ptr<CInspectorDlg> inspector_;  // expert mode only
    unsigned long window_ = 0;

    int mode_ = kModeNone;  // the mode this pick started, 0 until then
    int firstShow_ = 1;
    int hookSet_ = 0;
    unsigned long lastOutlined_ = 0;
    unsigned long picked_ = 0;
    int captured_ = 0;
    int dropdown_ = 0;
    int control_ = 0;
    int wholePage_ = 0;
    int pageSource_ = 0;
    int scrollTest_ = 0;
    bool pointerGrabbed_ = false;
    bool keyboardGrabbed_ = false;
    bool ended_ = false;
};
