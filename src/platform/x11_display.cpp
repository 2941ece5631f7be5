#include "platform/x11_display.h"

#include <QGuiApplication>

#include <X11/Xlib.h>

namespace platform {

Display* X11Display() {
    auto* app = qGuiApp;
    if (!app) return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

bool HasX11Session() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

}  // namespace platform
