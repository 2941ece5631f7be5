#pragma once

#include <functional>

namespace platform {

// Runs `onSignal` on the user-interface thread when the process gets SIGTERM, SIGINT or SIGHUP,
// so that a logout or Ctrl+C ends the program through its normal shut-down.
void HandleTerminationSignals(std::function<void()> onSignal);

}  // namespace platform
