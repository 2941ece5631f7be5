#include "capture/pick_dlg.h"

#include "app/quillet_app.h"
#include "browser/browser_access.h"
#include "browser/page_choice.h"
#include "browser/page_source.h"
#include "browser/whole_page.h"
#include "capture/grab.h"
#include "capture/mw.h"
#include "capture/naming.h"
#include "hook/quillet_hook.h"
#include "panel/control_panel.h"
#include "platform/dialog_units.h"
#include "platform/fixed_wait.h"
#include "platform/message_box.h"
#include "platform/repaint_wait.h"
#include "platform/screen_grab.h"
#include "platform/window_query.h"
#include "platform/x11_windows.h"
#include "tools/inspector/inspector_dlg.h"
#include "workspace/capture_preview_dlg.h"
#include "workspace/drop_list_dlg.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWindow>

namespace {

constexpr int kGrabAttempts = 50;  // a menu that just closed may hold its grab a little longer
constexpr int kGrabRetryMs = 20;

const QRect kPromptUnits(8, 6, 104, 30);
const QRect kCancelUnits(118, 14, 36, 14);

// Told once per run: a browser window whose DevTools endpoint does not answer.
bool unreachableTold = false;

}  // namespace

CPickDlg::CPickDlg(QWidget* parent) : CSkinnedDialog(parent) {
    setObjectName(QString("id%1").arg(kDialogId));
    setWindowTitle("Quillet");
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    LoadSkin(kSkinId);
    resize(skin().isNull() ? platform::SkinUnitsToPixels(QSize(163, 43)) : skin().size());
    move(0, 0);

    prompt_ = new QPlainTextEdit(this);
    prompt_->setObjectName("id1050");
    prompt_->setReadOnly(true);
    prompt_->setFrameShape(QFrame::NoFrame);
    prompt_->setFocusPolicy(Qt::NoFocus);
    prompt_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    prompt_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    prompt_->setGeometry(platform::SkinUnitsToPixels(kPromptUnits));
    prompt_->setStyleSheet("background: transparent; color: rgb(244, 246, 250);");

    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("id2");
    cancel_->setGeometry(platform::SkinUnitsToPixels(kCancelUnits));
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, [this] { Cancel(); });

    // The inspector is a window of its own, kept above the balloon as its transient.
    if (App()->expertMode) inspector_ = std::make_unique<CInspectorDlg>(this);
}

CPickDlg::~CPickDlg() {
    SetHookReceiver(0, nullptr);
    if (hookSet_) clearMyHook(window_);
    hookSet_ = 0;
}

const char* CPickDlg::Prompt(int mode) {
    switch (mode) {
        case kModeWindow:
            return "Click on Window to be captured";
        case kModeControl:
            return "Click on CONTROL to be captured";
        case kModeWholePage:
            return "Click on Client Area of I.E. to be captured";
        case kModeClient:
        case kModeDropdown:
        case kModePageSource:
        case kModeTest:
            return "Click on Client Area to be captured";
        default:
            return "";
    }
}

void CPickDlg::showEvent(QShowEvent* event) {
    CSkinnedDialog::showEvent(event);
    if (App()->expertMode) Inspector(InspectorStep::Show);
    if (!firstShow_) return;
    firstShow_ = 0;
    activateWindow();
    // The grabs need the balloon on the screen: start once the show has been processed.
    QMetaObject::invokeMethod(
        this, [this] { StartMode(); }, Qt::QueuedConnection);
}

void CPickDlg::StartMode() {
    if (ended_ || mode < kModeWindow || mode > kModeTest) return;  // mode 0: waits for Cancel
    mode_ = mode;
    control_ = mode_ == kModeControl;
    dropdown_ = mode_ == kModeDropdown;
    wholePage_ = mode_ == kModeWholePage;
    pageSource_ = mode_ == kModePageSource;
    scrollTest_ = mode_ == kModeTest;
    prompt_->setPlainText(Prompt(mode_));
    App()->captureChangeSwallow = 0;
    window_ = winId();
    TakeGrabs();
    if (!hookSet_) {
        if (!setMyHook(window_)) {
            // The message needs the pointer and the keyboard; the pick goes on afterwards.
            ReleaseGrabs();
            platform::ShowMessage("MOUseHook not set", "Quillet");
            if (!ended_) TakeGrabs();
        }
        hookSet_ = 1;
    }
    SetHookReceiver(window_, this);
}

bool CPickDlg::TakeGrabs() {
    QWindow* handle = windowHandle();
    if (!handle) return false;
    setCursor(Qt::CrossCursor);
    for (int attempt = 0; attempt < kGrabAttempts && !ended_; ++attempt) {
        // In Dropdown mode the user's own press must reach the combo box: no pointer grab.
        if (!pointerGrabbed_ && mode_ != kModeDropdown) {
            pointerGrabbed_ = handle->setMouseGrabEnabled(true);
        }
        if (!keyboardGrabbed_) keyboardGrabbed_ = handle->setKeyboardGrabEnabled(true);
        if (keyboardGrabbed_ && (pointerGrabbed_ || mode_ == kModeDropdown)) return true;
        platform::FixedWait(kGrabRetryMs);
    }
    return false;
}

void CPickDlg::ReleaseGrabs() {
    if (QWindow* handle = windowHandle()) {
        if (pointerGrabbed_) handle->setMouseGrabEnabled(false);
        if (keyboardGrabbed_) handle->setKeyboardGrabEnabled(false);
    }
    pointerGrabbed_ = keyboardGrabbed_ = false;
}

void CPickDlg::OnHookMessage(unsigned long message) {
    if (ended_) return;
    if (message == UWM_MOUSEMOVE) {
        OnMouseMove();
    } else if (message == UWM_LBUTTONDN) {
        OnButtonDown();
    } else if (message == UWM_LBUTTONUP) {
        OnButtonUp();
    }
}

// The balloon and the inspector that belongs to it.
bool CPickDlg::IsDialogWindow(unsigned long window) const {
    if (!window) return false;
    if (platform::IsWithin(window, window_)) return true;
    return inspector_ && inspector_->isVisible() && platform::IsWithin(window, inspector_->winId());
}

unsigned long CPickDlg::Candidate(unsigned long windowAtPoint) const {
    if (!windowAtPoint) return 0;
    if (IsDialogWindow(windowAtPoint)) return window_;
    switch (mode_) {
        case kModeWindow:
            return platform::TopLevelOf(windowAtPoint);
        case kModeControl:
            return platform::RootOwnerWindow(windowAtPoint);
        default:
            return windowAtPoint;
    }
}

void CPickDlg::OnMouseMove() {
    const QPoint point = platform::PointerPosition();
    if (App()->expertMode) Inspector(InspectorStep::StorePoint, point);
    const unsigned long candidate = Candidate(platform::WindowAtPoint(point));
    if (candidate != lastOutlined_) {
        const QRect rect = platform::WindowRect(candidate, WithFrame());
        if (candidate && !rect.isEmpty()) {
            outline_.Show(rect);
        } else {
            outline_.Hide();
        }
        lastOutlined_ = candidate;
    }
    if (App()->expertMode) Inspector(InspectorStep::Refresh);
}

void CPickDlg::OnButtonDown() {
    // The window stays remembered: a move back over it does not outline it again.
    HideAndWait(false);
}

void CPickDlg::OnButtonUp() {
    if (hookSet_) {
        if (clearMyHook(window_)) {
            hookSet_ = 0;
        } else {
            platform::ShowMessage("MOUseHook not unhooked", "Quillet");
        }
    }
    SetHookReceiver(0, nullptr);
    ReleaseGrabs();
    HideAndWait(true);

    QPoint point = platform::PointerPosition();
    if (dropdown_) point += kDropdownOffset;
    if (App()->expertMode) Inspector(InspectorStep::StorePoint, point);
    // What the press opened (a drop-down list) has been drawn.
    platform::WaitForQuietArea(platform::ScreenRect(), kWaitMs);

    picked_ = platform::WindowAtPoint(point);

    if (scrollTest_) {
        RunScrollTest(picked_);
        scrollTest_ = 0;
        Cancel();  // the Client capture below still happens
    }
    if (wholePage_ || pageSource_) {
        const QString className =
            platform::WmClass(platform::ManagedClientOf(picked_)).value_or(QString());
        if (!browser::IsBrowserClass(className)) {
            activateWindow();
            platform::ShowMessage("!! Not an Explorer Window", "Quillet");
            wholePage_ = pageSource_ = 0;
            Cancel();
            return;
        }
        RunBrowserPick();
        Cancel();
        return;
    }
    if (picked_) {
        if (App()->expertMode) Inspector(InspectorStep::Refresh);
        if (IsDialogWindow(picked_)) {
            CaptureWindow(window_, false);
        } else if (!captured_) {
            switch (mode_) {
                case kModeWindow:
                    CaptureWindow(platform::TopLevelOf(picked_), true);
                    break;
                case kModeControl:
                    CaptureWindow(platform::RootOwnerWindow(picked_), true);
                    break;
                default:
                    CaptureWindow(picked_, false);
                    break;
            }
            captured_ = 1;
        }
        if (App()->expertMode) Inspector(InspectorStep::ShowAndRefresh);
    }
    Cancel();
}

// Modes 5 and 6: the page of the browser window under the release point.
void CPickDlg::RunBrowserPick() {
    const browser::MatchResult found = browser::FindBrowser(picked_);
    if (found == browser::MatchResult::Unreachable) {
        if (!unreachableTold) {
            unreachableTold = true;
            platform::ShowMessage(browser::kUnreachableMessage, "Quillet");
        }
    } else if (found == browser::MatchResult::NoMatch) {
        platform::ShowMessage(browser::kNoPageMessage, "Quillet");
    } else if (wholePage_) {
        CaptureWholePage();
    } else if (pageSource_) {
        SavePageSource([this](const QString& html) { prompt_->setPlainText(html); });
    }
    wholePage_ = pageSource_ = 0;
    browser::ClearCurrentBrowser();
}

// X11 gives no program another's scroll information: the test reports that it could not read it,
// shows position 0 and makes no scroll steps. Its page-up step is one wheel click up.
void CPickDlg::RunScrollTest(unsigned long window) {
    if (window) platform::WheelClickUp();
    platform::FixedWait(0);
    platform::ShowMessage("HWND", "Quillet");
    platform::ShowMessage(QString::asprintf("%d", 0).toStdString(), "Quillet");
}

void CPickDlg::CaptureWindow(unsigned long window, bool withFrame) {
    if (!window) return;
    dropdown_ = 0;
    HideAndWait(true);
    if (!App()->coordinator()->CountDown()) return;
    const naming::CaptureNames names = naming::NextScreenCapture();
    GrabWindow(names.image, window, App()->captureCounter - 1, withFrame);
    // The balloon stays hidden: the release ends the dialog right after the capture.
}

// Hides the outline (and the balloon) and waits until the windows beneath have repainted where
// they lay, at most the pick's wait.
void CPickDlg::HideAndWait(bool balloonToo) {
    std::vector<unsigned long> leaving;
    const QRect screen = platform::ScreenRect();
    if (outline_.visible()) leaving.push_back(outline_.window());
    if (balloonToo) {
        for (unsigned long window : platform::OwnWindowsOn(screen)) {
            if (window == window_ || (inspector_ && window == inspector_->winId()))
                leaving.push_back(window);
        }
    }
    platform::CRepaintWait gone(leaving, screen);
    outline_.Hide();
    if (balloonToo) hide();
    if (!gone.Empty()) gone.Wait(kWaitMs);
}

void CPickDlg::Cancel() {
    if (hookSet_) {
        clearMyHook(window_);
        hookSet_ = 0;
    }
    SetHookReceiver(0, nullptr);
    outline_.Hide();
    ReleaseGrabs();
    if (!ended_) {
        ended_ = true;
        done(QDialog::Rejected);
    }
}

void CPickDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Cancel();
        event->accept();
        return;
    }
    CSkinnedDialog::keyPressEvent(event);
}

bool CPickDlg::event(QEvent* event) {
    // Losing the pointer grab is of no interest before any pick has started.
    if (event->type() == QEvent::UngrabMouse && App()->captureChangeSwallow) return true;
    return CSkinnedDialog::event(event);
}

void CPickDlg::Inspector(InspectorStep step, QPoint point) {
    if (!inspector_) return;
    switch (step) {
        case InspectorStep::StorePoint:
            inspector_->SetPoint(point);
            break;
        case InspectorStep::Refresh:
            inspector_->Refresh();
            break;
        case InspectorStep::Show:
            inspector_->show();
            break;
        case InspectorStep::ShowAndRefresh:
            inspector_->show();
            inspector_->Refresh();
            break;
    }
}

namespace {

// Wayland lets no program pick another's window: the browser's commands take its visible page.
void RunBrowserCommandWithoutPick(int mode) {
    browser::RunOnVisiblePage(
        [](const std::vector<browser::PageLabel>& pages) { return browser::ChoosePage(pages); },
        [mode] {
            if (mode == CPickDlg::kModeWholePage) {
                CaptureWholePage();
            } else {
                SavePageSource([](const QString&) {});  // no balloon to show the HTML in
            }
        });
}

}  // namespace

// Runs the picking balloon in a mode, then brings the panel and the capture preview back.
void CQuilletApp::Pick(int mode) {
    bool captured = false;
    {
        const int before = captureCounter;
        ++picking;
        if (platform::RunsOnWayland() &&
            (mode == CPickDlg::kModeWholePage || mode == CPickDlg::kModePageSource)) {
            RunBrowserCommandWithoutPick(mode);
        } else {
            CPickDlg dialog(nullptr);
            dialog.mode = mode;
            dialog.exec();
        }
        --picking;
        captured = captureCounter != before;
    }
    CControlPanel* panel = this->panel();
    if (!panel) return;
    panel->activateWindow();
    panel->showNormal();
    panel->raise();
    panel->repaint();
    CCapturePreviewDlg* preview = panel->preview();
    preview->BringToTop();
    panel->show();
    if (captured) panel->ShowPreviewOut();
    if (preview->dropList()->IsOut()) preview->ToggleDropList();
}
