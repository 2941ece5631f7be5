// A desktop capture in a Wayland session through each backend, from the request to the picture in
// device pixels. Run it on the test bed's two outputs (3200 x 1080 in device pixels):
//   scripts/with-wayland --outputs 1280x1024+0+0,1920x1080@2+1280+0
//   build/bench/bench_wayland_capture
#include "platform/capture/capture_backend.h"

#include <benchmark/benchmark.h>

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

}  // namespace

BENCHMARK_MAIN();
