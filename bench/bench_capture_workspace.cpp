// The capture workspace holding a full table of large captures: the cost of one capture as the
// capture engine hands it over, the resident memory after 99 captures, and making a capture
// current (a click on its row of the capture list, until the preview is painted). Any display:
//   scripts/with-display build/bench/bench_capture_workspace
// QUILLET_BENCH_SIZE=WxH sets the captures' size (3840x2160 by default). The cache files are
// written into a fresh folder under the temporary folder (about 2.6 GB at 3840 x 2160) and removed
// at the end.
#include "bench_size.h"
#include "app/quillet_app.h"
#include "capture/naming.h"
#include "platform/message_box.h"
#include "workspace/capture_list_dlg.h"
#include "workspace/capture_preview_dlg.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

QSize CaptureSize() {
    return SizeFromEnvironment("QUILLET_BENCH_SIZE", QSize(3840, 2160));
}

// Resident memory of this process in megabytes (current, or the peak).
double ResidentMegabytes(const char* field = "VmRSS:") {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return 0;
    char line[256];
    double kilobytes = 0;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, length) == 0) kilobytes = std::atof(line + length);
    }
    std::fclose(status);
    return kilobytes / 1024;
}

// Something like a busy desktop: gradients with a grid of tiles, a band that differs per capture.
QImage ScreenPicture(QSize size, int number) {
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int tile = ((x >> 5) ^ (y >> 5)) & 7;
            row[x] = qRgb((x * 255 / size.width() + tile * 20) & 255, y * 255 / size.height(),
                          tile * 30);
        }
    }
    const int band = number % 16 * (size.height() / 16);
    for (int y = band; y < band + size.height() / 32; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x) row[x] = qRgb(number * 37 & 255, 200, 90);
    }
    return picture;
}

struct Workspace {
    Workspace() {
        CQuilletApp* app = App();
        const std::string base = folder.path().toStdString() + "/";
        app->baseFolder = base;
        app->cacheFolder = base + "cache/";
        app->cacheThumbnailsFolder = base + "cache/thumbnails/";
        app->binFolder = base + "bin/";
        app->SetSessionPaths(1);
        QDir().mkpath(folder.path() + "/cache/thumbnails");
        QDir().mkpath(folder.path() + "/bin");
        app->settings = SettingsRecord{};
        app->panelRect = QRect(900, 600, 248, 170);
        platform::SetMessageBoxRecorder([](const platform::MessageBoxCall& call) {
            std::fprintf(stderr, "message: %s\n", call.text.c_str());
            return platform::kAnswerOk;
        });
        preview = std::make_unique<CCapturePreviewDlg>();
        preview->move(600, 200);
        preview->show();
        QCoreApplication::processEvents();
    }

    void Capture(const QImage& bitmap) {
        const naming::CaptureNames names = naming::NextScreenCapture();
        preview->AddCaptureBitmap(bitmap, names.image);
        preview->SetThumbnail(bitmap, bitmap.size(), names.thumbnail);
    }

    QTemporaryDir folder{QDir::tempPath() + "/quillet-bench-workspace-XXXXXX"};
    std::unique_ptr<CCapturePreviewDlg> preview;
};

Workspace* workspace = nullptr;
double residentBefore = 0;

void FillTable() {
    const QSize size = CaptureSize();
    while (workspace->preview->number() < CCapturePreviewDlg::kSlots) {
        workspace->Capture(ScreenPicture(size, workspace->preview->number()));
    }
}

// One capture: the record, its bitmap file, its thumbnail, its row, the mail copy, the repaint.
// The 99 iterations fill the table; the resident memory is read at the end.
void BM_Capture(benchmark::State& state) {
    const QSize size = CaptureSize();
    int number = workspace->preview->number();
    for (auto _ : state) {
        state.PauseTiming();
        const QImage bitmap = ScreenPicture(size, number++);
        state.ResumeTiming();
        workspace->Capture(bitmap);
    }
    FillTable();
    QCoreApplication::processEvents();
    state.counters["captures"] = workspace->preview->number();
    state.counters["rss_MB"] = ResidentMegabytes();
    state.counters["rss_growth_MB"] = ResidentMegabytes() - residentBefore;
    state.counters["peak_MB"] = ResidentMegabytes("VmHWM:");
    state.SetLabel(std::to_string(size.width()) + "x" + std::to_string(size.height()));
}
BENCHMARK(BM_Capture)->Iterations(CCapturePreviewDlg::kSlots)->Unit(benchmark::kMillisecond);

// A click on a row of the capture list (each time another capture), up to the end of its
// handling: the picture shown, the information text, the mail document rebuilt.
void BM_ClickRow(benchmark::State& state) {
    FillTable();
    QTreeWidget* rows = workspace->preview->captureList()->list();
    int row = 0;
    for (auto _ : state) {
        state.PauseTiming();
        row = (row + 37) % rows->topLevelItemCount();
        rows->setCurrentItem(rows->topLevelItem(row));
        state.ResumeTiming();
        emit rows->clicked(rows->model()->index(row, 0));
    }
    state.counters["rss_MB"] = ResidentMegabytes();
}
BENCHMARK(BM_ClickRow)->Iterations(40)->Unit(benchmark::kMillisecond);

// The part of the click that ends with the preview painted: the capture made current and the
// image area repainted (on the screen) with its information text.
void BM_MakeCurrentAndPaint(benchmark::State& state) {
    FillTable();
    int slot = 0;
    for (auto _ : state) {
        slot = (slot + 37) % CCapturePreviewDlg::kSlots;
        workspace->preview->SetCurrent(slot);
        workspace->preview->DrawCurrent();
    }
    state.counters["rss_MB"] = ResidentMegabytes();
}
BENCHMARK(BM_MakeCurrentAndPaint)->Iterations(40)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    CQuilletApp app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Workspace bench;
    workspace = &bench;
    residentBefore = ResidentMegabytes();
    std::fprintf(stderr, "resident before the captures: %.1f MB\n", residentBefore);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    workspace = nullptr;
    return 0;
}
