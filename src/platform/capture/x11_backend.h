#pragma once

#include "platform/capture/capture_backend.h"

namespace platform::capture {

// The X server's root window: RandR's monitors, the root's pixels through shared memory when the
// server offers it. `display` gives the connection to use; without one the backend opens its
// own. Null, with the reason in `error`, when there is no X display.
std::unique_ptr<Backend> OpenX11Backend(std::function<Display*()> display, std::string& error);

}  // namespace platform::capture
