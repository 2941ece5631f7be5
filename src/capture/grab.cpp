#include "capture/grab.h"

#include "app/quillet_app.h"
#include "capture/mw.h"
#include "panel/control_panel.h"
#include "platform/message_box.h"
#include "platform/fixed_wait.h"
#include "platform/repaint_wait.h"
#include "platform/screen_grab.h"
#include "platform/x11_cursor.h"
#include "platform/x11_display.h"
#include "platform/window_query.h"
#include "platform/x11_windows.h"
#include "workspace/capture_preview_dlg.h"

#include <algorithm>

namespace {

bool WantsPointer() {
    CMW* coordinator = App()->coordinator();
    return coordinator && coordinator->Options().pointer;
}

// The screen's pixels of an area; with the pointer drawn in by the compositor where it can.
QImage GrabScreen(const QRect& area) {
    platform::SetGrabOverlaysPointer(WantsPointer());
    return platform::GrabScreenArea(area);
}

// Lays the X server's pointer over a picture of the screen whose top-left pixel lies at
// `origin`, when the capture options ask for it (nothing where there is no X display).
void AddPointer(QImage& picture, QPoint origin) {
    if (!WantsPointer()) return;
    const platform::PointerImage pointer = platform::ReadPointerImage(platform::X11Display());
    if (pointer.empty() || picture.format() != QImage::Format_RGB32) return;
    for (int y = 0; y < picture.height(); ++y) {
        platform::BlendPointerRow(pointer, origin.x(), origin.y() + y,
                                  reinterpret_cast<uint32_t*>(picture.scanLine(y)),
                                  picture.width());
    }
}

}  // namespace

void HandCaptureToPreview(const QImage& bitmap, const std::string& imagePath) {
    CControlPanel* panel = App()->panel();
    CCapturePreviewDlg* preview = panel ? panel->preview() : nullptr;
    if (!preview || bitmap.isNull()) return;
    preview->AddCaptureBitmap(bitmap, imagePath);
    preview->SetThumbnail(bitmap, bitmap.size(), App()->currentThumbnailPath);
}

int GrabWindowArea(const std::string& imagePath, unsigned long window, const QRect& rect,
                   int /*number*/) {
    const QRect windowRect = window ? platform::WindowScreenRect(window) : platform::ScreenRect();
    const QRect area = rect.isEmpty() ? windowRect : rect.translated(windowRect.topLeft());
    QImage bitmap = GrabScreen(area);
    if (bitmap.isNull()) {
        platform::ShowMessage(platform::GrabFailureText(), "Quillet");
        return 0;
    }
    // The desktop on several monitors: what no monitor shows is black.
    if (!window && rect.isEmpty()) platform::BlackenOutsideMonitors(bitmap);
    AddPointer(bitmap, area.intersected(platform::ScreenRect()).topLeft());
    HandCaptureToPreview(bitmap, imagePath);
    return 0;
}

namespace {
constexpr int kRestackTimeoutMs = 1000;
constexpr int kRepaintWaitMs = 100;
}  // namespace

void GrabWindow(const std::string& imagePath, unsigned long window, int /*number*/,
                bool withFrame) {
    // The visible part: right and bottom clamped to the screen, a negative left or top edge
    // starts the copy at the first visible pixel.
    const QRect rect = platform::WindowRect(window, withFrame);
    const QRect screen = platform::ScreenRect();
    const int right = std::min(rect.x() + rect.width(), screen.width());
    const int bottom = std::min(rect.y() + rect.height(), screen.height());
    const int left = std::max(rect.x(), 0), top = std::max(rect.y(), 0);
    if (right - left <= 0 || bottom - top <= 0) return;

    // Only the top-level window is restacked, never another program's child windows.
    // The windows it owns go along and stay above it, as owned windows do.
    std::vector<unsigned long> band;
    if (const unsigned long topLevel = platform::TopLevelOf(window)) {
        band.push_back(topLevel);
        for (unsigned long owned : platform::OwnedWindows(topLevel)) band.push_back(owned);
    }
    // A window already on top of the stack has nothing covered to repaint.
    const bool wasOnTop = band.empty() || platform::IsTopOfStack(band.back());
    for (unsigned long topLevel : band) {
        platform::SetAboveState(topLevel, true);
        platform::RaiseWindow(platform::FrameWindow(topLevel));
    }
    for (int waited = 0;
         !band.empty() && waited < kRestackTimeoutMs && !platform::IsTopOfStack(band.back());
         waited += 10) {
        platform::FixedWait(10);
    }
    if (!wasOnTop)
        platform::WaitForQuietArea(QRect(left, top, right - left, bottom - top), kRepaintWaitMs);
    QImage bitmap = GrabScreen(QRect(left, top, right - left, bottom - top));
    for (unsigned long topLevel : band) platform::SetAboveState(topLevel, false);
    if (bitmap.isNull()) {
        platform::ShowMessage(platform::GrabFailureText(), "Quillet");
        return;
    }
    // A window reaching where no monitor shows keeps black there, as the desktop does.
    platform::BlackenOutsideMonitors(bitmap, QPoint(left, top));
    AddPointer(bitmap, QPoint(left, top));
    HandCaptureToPreview(bitmap, imagePath);
}

void FreezeScreen() {
    CQuilletApp* app = App();
    app->frozenScreen = QImage();
    const QRect screen = platform::ScreenRect();
    QImage snapshot(screen.size(), QImage::Format_RGB32);
    if (snapshot.isNull()) {
        platform::ShowMessage("bad screen\n", "Quillet");
        return;
    }
    snapshot.fill(Qt::black);
    QImage grabbed = GrabScreen(screen);
    if (grabbed.isNull()) {
        platform::ShowMessage(platform::GrabFailureText(), "Quillet");
        app->frozenScreen = snapshot;
        return;
    }
    platform::BlackenOutsideMonitors(grabbed);
    AddPointer(grabbed, QPoint(0, 0));
    app->frozenScreen = grabbed;
}
