#include "platform/global_keys.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace platform {

namespace {

// The modifier bit that a lock key sets, or 0 when no modifier carries it.
unsigned ModifierOf(Display* display, KeySym keysym) {
    const KeyCode code = XKeysymToKeycode(display, keysym);
    if (code == 0) return 0;
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map) return 0;
    unsigned mask = 0;
    for (int modifier = 0; modifier < 8 && mask == 0; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            if (map->modifiermap[modifier * map->max_keypermod + i] == code) {
                mask = 1u << modifier;
                break;
            }
        }
    }
    XFreeModifiermap(map);
    return mask;
}

}  // namespace

class GlobalKeys::Filter : public QAbstractNativeEventFilter {
  public:
    struct Grabbed {
        xcb_keycode_t code;
        unsigned modifiers;
        std::function<void()> action;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
        const auto* press = static_cast<const xcb_key_press_event_t*>(message);
        if (press->event != root) return false;
        const unsigned modifiers = press->state & ~lockMasks & 0xFF;
        for (const Grabbed& key : keys) {
            if (key.code != press->detail || key.modifiers != modifiers) continue;
            if (!running) {
                QMetaObject::invokeMethod(
                    &context,
                    [this, action = key.action] {
                        if (running) return;
                        running = true;
                        action();
                        running = false;
                    },
                    Qt::QueuedConnection);
            }
            return true;
        }
        return false;
    }

    QObject context;  // a queued action dies with the filter
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    unsigned lockMasks = 0;
    std::vector<unsigned> lockCombinations;
    std::vector<Grabbed> keys;
    bool running = false;
};

GlobalKeys::GlobalKeys() = default;

GlobalKeys::~GlobalKeys() {
    Release();
}

std::vector<std::string> GlobalKeys::Grab(std::vector<Key> keys) {
    Release();
    std::vector<std::string> refused;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || !x11->display()) {
        for (const Key& key : keys) refused.push_back(key.name);
        return refused;
    }
    auto filter = std::make_unique<Filter>();
    filter->connection = x11->connection();
    Display* display = x11->display();
    filter->root = static_cast<xcb_window_t>(DefaultRootWindow(display));

    const unsigned locks[] = {LockMask, ModifierOf(display, XK_Num_Lock),
                              ModifierOf(display, XK_Scroll_Lock)};
    std::vector<unsigned> combinations = {0};
    for (unsigned lock : locks) {
        if (lock == 0 || (filter->lockMasks & lock)) continue;
        filter->lockMasks |= lock;
        const std::size_t count = combinations.size();
        for (std::size_t i = 0; i < count; ++i) combinations.push_back(combinations[i] | lock);
    }

    for (Key& key : keys) {
        const KeyCode code = XKeysymToKeycode(display, key.keysym);
        if (code == 0) {
            refused.push_back(key.name);
            continue;
        }
        // Every combination is asked for before any answer is read, then all answers are read.
        std::vector<xcb_void_cookie_t> cookies;
        for (unsigned locksHeld : combinations) {
            cookies.push_back(xcb_grab_key_checked(filter->connection, 1, filter->root,
                                                   static_cast<uint16_t>(key.modifiers | locksHeld),
                                                   code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
        bool taken = true;
        for (const xcb_void_cookie_t& cookie : cookies) {
            if (xcb_generic_error_t* error = xcb_request_check(filter->connection, cookie)) {
                taken = false;
                std::free(error);
            }
        }
        if (!taken) {
            // Held elsewhere under some combination: none of this key's grabs stays.
            for (unsigned locksHeld : combinations)
                xcb_ungrab_key(filter->connection, code, filter->root,
                               static_cast<uint16_t>(key.modifiers | locksHeld));
            refused.push_back(key.name);
            continue;
        }
        filter->keys.push_back({code, key.modifiers, std::move(key.action)});
    }
    xcb_flush(filter->connection);
    filter->lockCombinations = std::move(combinations);
    QCoreApplication::instance()->installNativeEventFilter(filter.get());
    filter_ = std::move(filter);
    return refused;
}

void GlobalKeys::Release() {
    if (!filter_) return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(filter_.get());
    for (const Filter::Grabbed& key : filter_->keys) {
        for (unsigned locksHeld : filter_->lockCombinations)
            xcb_ungrab_key(filter_->connection, key.code, filter_->root,
                           static_cast<uint16_t>(key.modifiers | locksHeld));
    }
    xcb_flush(filter_->connection);
    filter_.reset();
}

}  // namespace platform
