#include "capture/hook_messages.h"

#include "hook/quillet_hook.h"
#include "platform/x11_display.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QMetaObject>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <deque>

unsigned long UWM_MOUSEMOVE = 0;
unsigned long UWM_LBUTTONDN = 0;
unsigned long UWM_LBUTTONUP = 0;

namespace {

class HookMessageQueue : public QAbstractNativeEventFilter {
  public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (!receiver_ || eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
        const auto* client = static_cast<const xcb_client_message_event_t*>(message);
        const unsigned long type = client->type;
        if (client->window != window_ ||
            (type != UWM_MOUSEMOVE && type != UWM_LBUTTONDN && type != UWM_LBUTTONUP)) {
            return false;
        }
        Enqueue(type);
        return true;
    }

    void SetReceiver(unsigned long window, CHookReceiver* receiver) {
        window_ = window;
        receiver_ = receiver;
        queue_.clear();
    }

  private:
    void Enqueue(unsigned long message) {
        if (message == UWM_MOUSEMOVE && !queue_.empty() && queue_.back() == UWM_MOUSEMOVE) return;
        queue_.push_back(message);
        if (scheduled_) return;
        scheduled_ = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [this] { Dispatch(); }, Qt::QueuedConnection);
    }

    void Dispatch() {
        scheduled_ = false;
        if (dispatching_) return;  // the running handler's loop takes it
        dispatching_ = true;
        while (receiver_ && !queue_.empty()) {
            const unsigned long message = queue_.front();
            queue_.pop_front();
            receiver_->OnHookMessage(message);
        }
        dispatching_ = false;
    }

    unsigned long window_ = 0;
    CHookReceiver* receiver_ = nullptr;
    std::deque<unsigned long> queue_;
    bool scheduled_ = false;
    bool dispatching_ = false;
};

HookMessageQueue* Queue() {
    static HookMessageQueue* queue = new HookMessageQueue;  // lives as long as the program
    return queue;
}

}  // namespace

void RegisterHookMessages() {
    Display* display = platform::X11Display();
    if (!display || UWM_MOUSEMOVE) return;
    UWM_MOUSEMOVE = XInternAtom(display, QUILLET_UWM_MOUSEMOVE_NAME, False);
    UWM_LBUTTONDN = XInternAtom(display, QUILLET_UWM_LBUTTONDN_NAME, False);
    UWM_LBUTTONUP = XInternAtom(display, QUILLET_UWM_LBUTTONUP_NAME, False);
    QCoreApplication::instance()->installNativeEventFilter(Queue());
}

void SetHookReceiver(unsigned long window, CHookReceiver* receiver) {
    Queue()->SetReceiver(window, receiver);
}
