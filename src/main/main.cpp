#include "app/quillet_app.h"
#include "ids.h"
#include "platform/termination_signals.h"
#include "platform/x11_display.h"
#include "capture/mw.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    // Quillet sees the screen and the pointer through X11; a Wayland session hides both.
    const char* sessionType = std::getenv("XDG_SESSION_TYPE");
    if (!platform::HasX11Session() || (sessionType && std::strcmp(sessionType, "wayland") == 0 &&
                                       !std::getenv("QUILLET_ALLOW_XWAYLAND"))) {
        std::fprintf(stderr,
                     "Quillet needs an X11 session (Xorg): it cannot see the screen or the pointer "
                     "without one.\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    CQuilletApp app(argc, argv);
    if (!app.InitInstance()) return app.ExitInstance(1);
    platform::HandleTerminationSignals([&app] { app.coordinator()->onCommand(ids::kCmdExit); });
    return app.ExitInstance(app.exec());
}
