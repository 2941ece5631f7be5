// The repaint wait of a hide on Wayland (repaint_wait.h).
#include "platform/capture/capture_backend.h"
#include "platform/fixed_wait.h"
#include "platform/repaint_wait.h"
#include "platform/screen_grab.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    return int(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

// Waits until the compositor has handled every request the toolkit sent on its own connection
// so far (the hide among them). The answer comes on a queue of our own, so none of the toolkit's
// events are handled here. False when it has no Wayland connection or the time ran out.
bool SyncToolkit(Clock::time_point deadline) {
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto* display = native ? static_cast<wl_display*>(native->nativeResourceForIntegration(
                                 QByteArrayLiteral("wl_display")))
                           : nullptr;
    if (!display) return false;
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    bool done = false;
    static const wl_callback_listener listener = {[](void* data, wl_callback* callback, uint32_t) {
        *static_cast<bool*>(data) = true;
        wl_callback_destroy(callback);
    }};
    wl_callback* callback = wl_display_sync(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    wl_callback_add_listener(callback, &listener, &done);
    bool failed = false;
    while (!done && !failed) {
        if (wl_display_prepare_read_queue(display, queue) != 0) {
            failed = wl_display_dispatch_queue_pending(display, queue) < 0;
            continue;
        }
        wl_display_flush(display);
        const int left = MsLeft(deadline);
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        const int ready = left > 0 ? poll(&fd, 1, left) : 0;
        if (ready <= 0) {
            wl_display_cancel_read(display);
            if (ready < 0 && errno == EINTR) continue;
            failed = true;
            continue;
        }
        failed = wl_display_read_events(display) < 0 ||
                 wl_display_dispatch_queue_pending(display, queue) < 0;
    }
    // A late answer must not write to this frame's flag.
    if (!done) wl_callback_destroy(callback);
    wl_event_queue_destroy(queue);
    return done;
}

}  // namespace

CWaylandRepaintWait::CWaylandRepaintWait() {
    std::vector<std::string> outputs;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        // A window the compositor has not shown yet is not on the screen.
        if (!window->isVisible() || !window->isExposed() || !window->screen()) continue;
        shown_.push_back(window);
        outputs.push_back(window->screen()->name().toStdString());
    }
    if (!shown_.empty()) watch_ = WatchOutputsRepaint(outputs);
}

CWaylandRepaintWait::~CWaylandRepaintWait() = default;

bool CWaylandRepaintWait::Wait(int capMs) {
    if (shown_.empty()) return true;
    const InputHold hold;
    const auto deadline = Clock::now() + std::chrono::milliseconds(capMs);
    // The toolkit hands a hide to the compositor once its posted events have run.
    QCoreApplication::sendPostedEvents();
    std::vector<capture::HiddenWindow> hidden;
    for (const QPointer<QWindow>& window : shown_) {
        if (!window || window->isVisible()) continue;
        const QSize size = window->frameGeometry().size();
        hidden.push_back({window->screen() ? window->screen()->name().toStdString() : std::string(),
                          size.width(), size.height()});
    }
    if (hidden.empty()) return true;
    if (watch_ && SyncToolkit(deadline) && watch_->Wait(hidden, std::max(MsLeft(deadline), 0)))
        return true;
    // Nothing tells when the windows have left the screen: the cap stands in.
    const int left = MsLeft(deadline);
    if (left > 0) FixedWait(left);
    return false;
}

}  // namespace platform
