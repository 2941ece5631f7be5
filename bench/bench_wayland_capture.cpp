// A desktop capture in a Wayland session through each backend, from the request to the picture in
// device pixels; then the whole `quillet --capture desktop --wait` command given to the running
// program while its panel and preview are shown over another program's window (the tests'
// pattern window, which repaints itself when it gets the focus back). Run it on the test bed's
// two outputs (3200 x 1080 in device pixels):
//   scripts/with-wayland --outputs 1280x1024+0+0,1920x1080@2+1280+0
//   build/bench/bench_wayland_capture
// with the test pattern shown (build/tests/wayland/wayland_pattern &) for BM_PortalRecovery; the
// command's benchmark starts its own pattern window, so run it alone, without that one:
//   ... build/bench/bench_wayland_capture --benchmark_filter=CaptureCommand
// QUILLET_BENCH_BINARY gives another build of the program to time the command with.
#include "platform/capture/capture_backend.h"
#include "platform/capture/portal_backend.h"
#include "platform/capture/upscale_recovery.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

void DesktopThrough(benchmark::State& state, const char* name) {
    setenv("QUILLET_CAPTURE_BACKEND", name, 1);
    std::string error;
    const auto backend = platform::capture::OpenBackend(nullptr, error);
    if (!backend) {
        state.SkipWithError(error.c_str());
        return;
    }
    platform::capture::Picture picture;
    for (auto _ : state) {
        if (!backend->Desktop(picture, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(picture.pixels.data());
    }
    state.SetLabel(std::to_string(picture.width) + "x" + std::to_string(picture.height));
}

void BM_ScreencopyDesktop(benchmark::State& state) {
    DesktopThrough(state, "wlr-screencopy");
}
BENCHMARK(BM_ScreencopyDesktop)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PortalDesktop(benchmark::State& state) {
    DesktopThrough(state, "portal");
}
BENCHMARK(BM_PortalDesktop)->Unit(benchmark::kMillisecond)->Iterations(5);

// What the portal's desktop capture adds over sampling one picture pixel per device pixel:
// bringing the scale-1 output (1280 x 1024, at the picture's top left) back from its smoothed-up
// image in the portal's picture (4480 x 2048).
void BM_PortalRecovery(benchmark::State& state) {
    std::string path, error;
    platform::capture::Picture shot, output;
    const bool taken = platform::capture::PortalScreenshot(path, error, 30000);
    if (!taken || !platform::capture::ReadPngFile(path, shot, error)) {
        if (taken) unlink(path.c_str());
        state.SkipWithError(error.c_str());
        return;
    }
    unlink(path.c_str());
    if (shot.width != 4480 || shot.height != 2048) {
        state.SkipWithError("run it on the test bed's two outputs");
        return;
    }
    auto recovered = platform::capture::Recovery::kNone;
    for (auto _ : state) {
        recovered = platform::capture::RecoverFromDoubled(shot, 0, 0, 1280, 1024, output);
        benchmark::DoNotOptimize(output.pixels.data());
    }
    state.SetLabel(recovered == platform::capture::Recovery::kExact ? "exact"
                   : recovered == platform::capture::Recovery::kWithinOneLevel
                       ? "within one level"
                       : "fell back to sampling");
}
BENCHMARK(BM_PortalRecovery)->Unit(benchmark::kMillisecond)->MinTime(2.0);

#ifdef QUILLET_BINARY
// Starts a program with its arguments; its process id, or -1.
pid_t Start(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const bool started = posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&quiet);
    return started ? pid : -1;
}

// Runs a shell command to its end; its first line of output.
std::string Output(const std::string& command) {
    std::string line;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        if (fgets(buffer, sizeof buffer, pipe)) line = buffer;
        pclose(pipe);
    }
    while (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}

void BM_CaptureCommandWithThePanelShown(benchmark::State& state) {
    const char* other = std::getenv("QUILLET_BENCH_BINARY");
    const std::string quillet = other ? other : QUILLET_BINARY;
    char home[] = "/tmp/quillet-bench-XXXXXX";
    if (!mkdtemp(home) || chdir(home) != 0) {
        state.SkipWithError("no working folder");
        return;
    }
    setenv("XDG_CONFIG_HOME", home, 1);
    unsetenv("QUILLET_CAPTURE_BACKEND");
    std::vector<pid_t> started;
#ifdef PATTERN_BINARY
    started.push_back(Start({PATTERN_BINARY, "--windowed"}));
    std::this_thread::sleep_for(std::chrono::seconds(2));
#endif
    started.push_back(Start({quillet}));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const std::string command = "'" + quillet + "' --capture desktop --wait";
    std::remove(Output(command).c_str());  // the preview comes out
    for (auto _ : state) {
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));  // both are back
        state.ResumeTiming();
        const std::string file = Output(command);
        if (file.empty()) {
            state.SkipWithError("the capture made no file");
            break;
        }
        state.PauseTiming();
        std::remove(file.c_str());
        state.ResumeTiming();
    }
    Output("'" + quillet + "' --quit");
    for (const pid_t pid : started) {
        if (pid <= 0) continue;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}
BENCHMARK(BM_CaptureCommandWithThePanelShown)->Unit(benchmark::kMillisecond)->Iterations(15);
#endif

}  // namespace

BENCHMARK_MAIN();
