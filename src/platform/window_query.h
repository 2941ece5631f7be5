#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

// What picking asks of and does to any program's windows, beside the queries of x11_windows.h.
// Every answer copes with a window that vanished meanwhile (0 or an empty rectangle). Points and
// rectangles are in device pixels of the root window.
namespace platform {

// The pointer's position on the screen.
QPoint PointerPosition();

// One click of the wheel upwards at the pointer, as the user's mouse would give it.
void WheelClickUp();

// The end of the owner chain: the top-level window (TopLevelOf), then WM_TRANSIENT_FOR followed
// to its end.
unsigned long RootOwnerWindow(unsigned long window);

// The managed windows owned by a top-level window, directly or through other owned windows,
// bottom first (as the window manager stacks them).
std::vector<unsigned long> OwnedWindows(unsigned long topLevel);

// The frame window the window manager put around a top-level window (the root's child holding
// it), or the window itself when it has none.
unsigned long FrameWindow(unsigned long topLevel);

// Whether `window` is `ancestor` or lies inside it.
bool IsWithin(unsigned long window, unsigned long ancestor);

// The window's rectangle on the screen; with `withFrame`, a managed top-level window's
// decorations are included (_NET_FRAME_EXTENTS). Empty when the window does not exist.
QRect WindowRect(unsigned long window, bool withFrame);

// The above band of the window manager (_NET_WM_STATE_ABOVE) for a top-level window; unmanaged
// windows are only raised.
bool HasAboveState(unsigned long topLevel);
void SetAboveState(unsigned long topLevel, bool above);
void RaiseWindow(unsigned long topLevel);
// Whether the top-level window's frame is the topmost of the root's mapped children, not
// counting the listed windows of our own (outline frames and the like).
bool IsTopOfStack(unsigned long topLevel, unsigned long ignored = 0);

}  // namespace platform
