// How long a capture waits for a window of ours to leave the screen before it grabs: a 400 x 300
// window is shown, then hidden while the repaint wait watches (the fixed wait it replaces took
// 500 ms). Run it on a display with a window manager, with and without a compositing manager:
//   scripts/with-display --size 1920x1080x24 build-release/bench/bench_capture_latency
#include "platform/fixed_wait.h"
#include "platform/repaint_wait.h"
#include "platform/screen_grab.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace {

class Face : public QWidget {
  public:
    Face() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint) {
        setGeometry(200, 200, 400, 300);
    }

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(40, 90, 200)); }
};

void BM_HideUntilRepainted(benchmark::State& state) {
    Face face;
    int capped = 0;
    for (auto _ : state) {
        state.PauseTiming();
        face.show();
        platform::FixedWait(150);
        state.ResumeTiming();
        const QRect screen = platform::ScreenRect();
        platform::CRepaintWait gone(platform::OwnWindowsOn(screen), screen);
        face.hide();
        if (gone.Empty() || !gone.Wait(500)) ++capped;
    }
    state.counters["capped"] = capped;
    state.counters["compositor"] = platform::CompositorRunning();
}
BENCHMARK(BM_HideUntilRepainted)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_NothingOfOursOnTheScreen(benchmark::State& state) {
    for (auto _ : state) {
        const QRect screen = platform::ScreenRect();
        platform::CRepaintWait gone(platform::OwnWindowsOn(screen), screen);
        benchmark::DoNotOptimize(gone.Empty());
    }
}
BENCHMARK(BM_NothingOfOursOnTheScreen)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
