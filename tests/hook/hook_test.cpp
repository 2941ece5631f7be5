// The hook library loaded as a plain shared object, driven by XTest input over another program's
// window, with the messages read from a window of the test's own X connection.
#include "hook/quillet_hook.h"

// GoogleTest before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using HookCall = int (*)(unsigned long);

struct HookLibrary {
    void* handle = nullptr;
    HookCall set = nullptr;
    HookCall clear = nullptr;

    bool Load() {
        handle = dlopen(QUILLET_HOOK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return false;
        set = reinterpret_cast<HookCall>(dlsym(handle, "setMyHook"));
        clear = reinterpret_cast<HookCall>(dlsym(handle, "clearMyHook"));
        return set && clear;
    }
    void Unload() {
        if (handle) dlclose(handle);
        handle = nullptr;
    }
};

// Another process started from a program and killed at the end.
struct ChildProcess {
    pid_t pid = -1;
    int output = -1;

    bool Start(std::vector<std::string> arguments) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return false;
        std::vector<char*> argv;
        for (auto& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            dup2(pipeFds[1], 1);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(pipeFds[1]);
        output = pipeFds[0];
        return pid > 0;
    }
    std::string ReadLine(int timeoutMs = 5000) {
        std::string line;
        pollfd fd{output, POLLIN, 0};
        char c = 0;
        while (poll(&fd, 1, timeoutMs) > 0 && read(output, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }
    void Kill() {
        if (pid <= 0) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(output);
        pid = -1;
    }
    ~ChildProcess() { Kill(); }
};

enum Message { kMove, kDown, kUp, kOther };

class HookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
        ASSERT_TRUE(library.Load()) << dlerror();
        receiver = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
        move = XInternAtom(display, QUILLET_UWM_MOUSEMOVE_NAME, False);
        down = XInternAtom(display, QUILLET_UWM_LBUTTONDN_NAME, False);
        up = XInternAtom(display, QUILLET_UWM_LBUTTONUP_NAME, False);
        XSync(display, False);
    }
    void TearDown() override {
        library.clear(receiver);
        library.Unload();
        if (logo.pid > 0) logo.Kill();
        XDestroyWindow(display, receiver);
        XCloseDisplay(display);
    }

    // The next hook message, or -1 when none comes in time.
    int NextMessage(int timeoutMs = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type != ClientMessage || event.xclient.window != receiver) continue;
                const Atom type = event.xclient.message_type;
                return type == move ? kMove : type == down ? kDown : type == up ? kUp : kOther;
            }
            const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     end - std::chrono::steady_clock::now())
                                     .count());
            if (left <= 0) return -1;
            pollfd fd{ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, left);
        }
    }
    // The next message that is not a move.
    int NextButtonMessage(int timeoutMs = 3000) {
        int message;
        while ((message = NextMessage(timeoutMs)) == kMove) {
        }
        return message;
    }
    void Drain() {
        while (NextMessage(300) != -1) {
        }
    }

    void MoveTo(int x, int y) {
        XTestFakeMotionEvent(display, -1, x, y, 0);
        XFlush(display);
    }
    void Click(unsigned button) {
        XTestFakeButtonEvent(display, button, True, 0);
        XTestFakeButtonEvent(display, button, False, 0);
        XFlush(display);
    }

    // xlogo, another program's window under the pointer.
    void StartOtherProgram() {
        ASSERT_TRUE(logo.Start({"/usr/bin/xlogo", "-geometry", "200x200+60+60"}));
        for (int i = 0; i < 250 && !LogoShown(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(LogoShown());
    }
    bool LogoShown() {
        Window root = 0, child = 0;
        int rx, ry, wx, wy;
        unsigned mask;
        MoveTo(160, 160);
        XSync(display, False);
        XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rx, &ry, &wx, &wy,
                      &mask);
        return child != 0;
    }

    Display* display = nullptr;
    HookLibrary library;
    Window receiver = 0;
    Atom move = 0, down = 0, up = 0;
    ChildProcess logo;
};

TEST_F(HookTest, ReportsMovesAndLeftButtonOnlyEvenDuringAnotherClientsGrab) {
    StartOtherProgram();
    ASSERT_EQ(library.set(receiver), 1);
    MoveTo(120, 130);
    EXPECT_EQ(NextMessage(), kMove);

    // A pointer grab of another client (the picking dialog holds one) stops no raw event.
    ASSERT_EQ(XGrabPointer(display, DefaultRootWindow(display), False, ButtonPressMask,
                           GrabModeAsync, GrabModeAsync, None, None, CurrentTime),
              GrabSuccess);
    Drain();
    MoveTo(140, 150);
    EXPECT_EQ(NextMessage(), kMove);
    Click(1);
    EXPECT_EQ(NextButtonMessage(), kDown);
    EXPECT_EQ(NextButtonMessage(), kUp);
    XUngrabPointer(display, CurrentTime);

    // Right button, wheel and keys give nothing: the first message after them is the sentinel's.
    Drain();
    Click(3);
    Click(4);
    Click(5);
    const KeyCode key = XKeysymToKeycode(display, XStringToKeysym("a"));
    XTestFakeKeyEvent(display, key, True, 0);
    XTestFakeKeyEvent(display, key, False, 0);
    Click(1);
    EXPECT_EQ(NextMessage(), kDown);
    EXPECT_EQ(NextMessage(), kUp);

    // Physical buttons count through the mapping: a left-handed mouse presses left with button 3.
    unsigned char map[32];
    const int count = XGetPointerMapping(display, map, sizeof(map));
    std::vector<unsigned char> swapped(map, map + count);
    std::swap(swapped[0], swapped[2]);
    ASSERT_EQ(XSetPointerMapping(display, swapped.data(), count), MappingSuccess);
    Drain();
    Click(1);
    EXPECT_EQ(NextButtonMessage(500), -1);
    Click(3);
    EXPECT_EQ(NextMessage(), kDown);
    EXPECT_EQ(NextMessage(), kUp);
    EXPECT_EQ(NextMessage(500), -1);
    XSetPointerMapping(display, map, count);
    XSync(display, False);

    EXPECT_NE(library.clear(receiver), 0);
    Click(1);
    EXPECT_EQ(NextMessage(500), -1) << "nothing comes once the hook is cleared";
}

TEST_F(HookTest, OneHookPerDisplayAndTheRecordDiesWithItsOwner) {
    EXPECT_EQ(library.clear(0), 0);
    EXPECT_EQ(library.clear(receiver), 0) << "nothing set yet";

    ChildProcess holder;
    ASSERT_TRUE(holder.Start({QUILLET_HOOK_HOLDER, std::to_string(receiver + 1)}));
    ASSERT_EQ(holder.ReadLine(), "1");
    EXPECT_EQ(library.set(receiver), 0) << "another process holds the hook";
    EXPECT_EQ(library.clear(receiver + 1), 0) << "only the process that set it clears it";

    // Once the server has noticed the holder's death, its record is gone.
    holder.Kill();
    int result = 0;
    for (int i = 0; i < 250 && !(result = library.set(receiver)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(result, 1);
    EXPECT_EQ(library.set(receiver), 0) << "the same window asking twice";
    EXPECT_EQ(library.set(receiver + 1), 0);
    EXPECT_EQ(library.clear(receiver + 1), 0);
    EXPECT_NE(library.clear(receiver), 0);
    EXPECT_EQ(library.clear(receiver), 0);

    // Unloading the library clears a hook it left set, so the next load can set one at once.
    ASSERT_EQ(library.set(receiver), 1);
    library.Unload();
    ASSERT_TRUE(library.Load());
    EXPECT_EQ(library.set(receiver), 1);
}

}  // namespace
