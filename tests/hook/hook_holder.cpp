// Sets the hook for the window id given as its argument, prints the result and waits to be killed:
// another process holding the display's hook.
#include "hook/quillet_hook.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::printf("%d\n", setMyHook(std::strtoul(argv[1], nullptr, 0)));
    std::fflush(stdout);
    for (;;) pause();
}
