// The work of a desktop capture between its two fixed waits: grab the screen, write the bitmap
// file, make and write the thumbnail, fill the capture record. Run it on a 1920 x 1080 display:
//   scripts/with-display --size 1920x1080x24 build-release/bench/bench_capture
#include "capture/capture_record.h"
#include "platform/screen_grab.h"

#include <benchmark/benchmark.h>

#include <QDir>

#include <string>

namespace {

std::string Folder() {
    static const std::string folder = [] {
        QDir().mkpath(QDir::tempPath() + "/quillet-bench-capture");
        return (QDir::tempPath() + "/quillet-bench-capture/").toStdString();
    }();
    return folder;
}

void BM_GrabScreen(benchmark::State& state) {
    for (auto _ : state) {
        QImage bitmap = platform::GrabWholeScreen();
        if (bitmap.isNull()) {
            state.SkipWithError("no X display");
            break;
        }
        benchmark::DoNotOptimize(bitmap.constBits());
    }
}
BENCHMARK(BM_GrabScreen)->Unit(benchmark::kMillisecond);

void BM_DesktopCaptureWork(benchmark::State& state) {
    const std::string image = Folder() + "IT-0.bmp", thumbnail = Folder() + "TT-0.bmp";
    for (auto _ : state) {
        const QImage bitmap = platform::GrabWholeScreen();
        if (bitmap.isNull()) {
            state.SkipWithError("no X display");
            break;
        }
        CCaptureRecord record(80, 60);
        record.FromBitmap(bitmap, image);
        record.MakeThumbnail(bitmap, bitmap.width(), bitmap.height(), thumbnail);
        benchmark::DoNotOptimize(record.size);
    }
    const QRect screen = platform::ScreenRect();
    state.SetLabel(std::to_string(screen.width()) + "x" + std::to_string(screen.height()));
}
BENCHMARK(BM_DesktopCaptureWork)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
