#include "workspace/skinned_dialog.h"

#include "capture/bitmap_helpers.h"
#include "panel/hover_button.h"

#include "platform/x11_display.h"

#include <QMouseEvent>
#include <QPainter>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <xcb/xproto.h>

#include <algorithm>

namespace {

// Asks the window manager to leave the window out of the taskbar and the pager. Set before each
// map: the manager drops the window's states when it is withdrawn.
void KeepOutOfTaskbar(QWidget& window) {
    Display* display = platform::X11Display();
    if (!display) return;
    const Window id = window.winId();
    Atom states[] = {XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False),
                     XInternAtom(display, "_NET_WM_STATE_SKIP_PAGER", False)};
    XChangeProperty(display, id, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(states), 2);
}

Atom NetWmState(Display* display) {
    return XInternAtom(display, "_NET_WM_STATE", False);
}

bool HasState(Display* display, Window window, Atom state) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(display, window, NetWmState(display), 0, 32, False, XA_ATOM, &type,
                           &format, &count, &after, &data) == Success &&
        data && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        found = std::find(atoms, atoms + count, state) != atoms + count;
    }
    if (data) XFree(data);
    return found;
}

// A window manager may flag a satellite that maps while another program has the focus as
// demanding attention, which puts it into the taskbar, blinking. Our windows never need that.
void DropAttentionFlag(QWidget& window) {
    Display* display = platform::X11Display();
    if (!display) return;
    const Window id = window.winId();
    const Atom attention = XInternAtom(display, "_NET_WM_STATE_DEMANDS_ATTENTION", False);
    if (!HasState(display, id, attention)) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id;
    event.xclient.message_type = NetWmState(display);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 0;  // remove
    event.xclient.data.l[1] = static_cast<long>(attention);
    event.xclient.data.l[3] = 1;  // from an application
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

}  // namespace

bool CSkinnedDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (eventType == "xcb_generic_event_t") {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
            const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
            Display* display = platform::X11Display();
            if (display && change->atom == NetWmState(display)) DropAttentionFlag(*this);
        }
    }
    return QDialog::nativeEvent(eventType, message, result);
}

CSkinnedDialog::CSkinnedDialog(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void CSkinnedDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) KeepOutOfTaskbar(*this);
    QDialog::showEvent(event);
}

void CSkinnedDialog::LoadSkin(int resourceId) {
    skin_ = LoadSkinBitmap(resourceId);
    skinRegion_ = BitmapToRegion(skin_, 0, false);
    if (!skinRegion_.isEmpty()) setMask(skinRegion_);
}

void CSkinnedDialog::paintEvent(QPaintEvent* event) {
    if (skin_.isNull()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), skin_);
}

// A press on the background (not on a control) drags the window, as a caption would.
void CSkinnedDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CSkinnedDialog::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CSkinnedDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}
