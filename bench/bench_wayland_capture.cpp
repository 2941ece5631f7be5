// A desktop capture in a Wayland session through each backend, from the request to the picture in
// device pixels. Run it on the test bed's two outputs (3200 x 1080 in device pixels):
//   scripts/with-wayland --outputs 1280x1024+0+0,1920x1080@2+1280+0
//   build/bench/bench_wayland_capture
// with the test pattern shown (build/tests/wayland/wayland_pattern &) for BM_PortalRecovery.
#include "platform/capture/capture_backend.h"
#include "platform/capture/portal_backend.h"
#include "platform/capture/upscale_recovery.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

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
    bool recovered = false;
    for (auto _ : state) {
        recovered = platform::capture::RecoverFromDoubled(shot, 0, 0, 1280, 1024, output);
        benchmark::DoNotOptimize(output.pixels.data());
    }
    state.SetLabel(recovered ? "recovered" : "fell back to sampling");
}
BENCHMARK(BM_PortalRecovery)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
