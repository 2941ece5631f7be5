#include "capture/grab.h"

#include "app/quillet_app.h"
#include "panel/control_panel.h"
#include "platform/message_box.h"
#include "platform/screen_grab.h"
#include "workspace/capture_preview_dlg.h"

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
    const QImage bitmap = platform::GrabScreenArea(area);
    if (bitmap.isNull()) {
        platform::ShowMessage("Screen to Compat Blt Failed\n", "Quillet");
        return 0;
    }
    HandCaptureToPreview(bitmap, imagePath);
    return 0;
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
    const QImage grabbed = platform::GrabScreenArea(screen);
    if (grabbed.isNull()) {
        platform::ShowMessage("Screen to Compat Blt Failed\n", "Quillet");
        app->frozenScreen = snapshot;
        return;
    }
    app->frozenScreen = grabbed;
}
