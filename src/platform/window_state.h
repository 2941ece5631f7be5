#pragma once

namespace platform {

// Keeps a shown top-level window out of the taskbar and the pager (the window manager's
// _NET_WM_STATE), as the program's floating windows have no taskbar button.
void SkipTaskbar(unsigned long window);

}  // namespace platform
