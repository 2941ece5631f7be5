// The image editor on a large picture (6000 x 4000 by default; QUILLET_BENCH_SIZE=WxH): each
// Image-menu operation through the document's worker (thread start, the wait, the undo copy, the
// views' refresh) beside the same library call alone, and a repaint of the visible part of the
// view at several zooms. Any display:
//   scripts/with-display build/bench/bench_editor
#include "bench_editor_window.h"
#include "app/quillet_app.h"
#include "editor/child_frame.h"
#include "editor/doc_template.h"
#include "editor/lumo_doc.h"
#include "editor/lumo_view.h"
#include "editor/main_frame.h"
#include "ids.h"
#include "platform/message_box.h"

#include <benchmark/benchmark.h>

#include <QMdiSubWindow>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

CLumoDoc* Document() {
    static CLumoDoc* doc = OpenPictureDocument();
    return doc;
}

// The library call alone, on a fresh copy each time (rotations: the quarter turns one by one).
bool Library(CRaster& image, int command, int turns) {
    switch (command) {
        case ids::kCmdMirror:
            return image.Mirror();
        case ids::kCmdLighten:
            return image.Light(20, 100);
        case ids::kCmdGreyscale:
            return image.GrayScale();
        case ids::kCmdRotateRight:
            for (int i = 0; i < turns; ++i) {
                if (!image.RotateRight()) return false;
            }
            return true;
        default:
            return image.Resample(static_cast<int32_t>(image.GetWidth() / 2),
                                  static_cast<int32_t>(image.GetHeight() / 2), false);
    }
}

void BM_Library(benchmark::State& state) {
    const int command = static_cast<int>(state.range(0));
    const int turns = static_cast<int>(state.range(1));
    const CRaster& original = *Document()->image;
    for (auto _ : state) {
        state.PauseTiming();
        CRaster copy(original);
        state.ResumeTiming();
        benchmark::DoNotOptimize(Library(copy, command, turns));
    }
}

void BM_Worker(benchmark::State& state) {
    const int command = static_cast<int>(state.range(0));
    CLumoDoc* doc = Document();
    const auto original = std::make_unique<CRaster>(*doc->image);
    // The undo ring full, as after the first operations of a session: each operation then lets
    // the oldest state go, and the memory of the pictures is reused rather than taken anew.
    for (int i = 0; i < CLumoDoc::kUndoDepth; ++i) doc->RunWorker(ids::kCmdMirror);
    for (auto _ : state) {
        state.PauseTiming();
        *doc->image = *original;
        state.ResumeTiming();
        if (command == ids::kCmdResize) {
            doc->RunWorker(command, static_cast<int32_t>(original->GetWidth() / 2),
                           static_cast<int32_t>(original->GetHeight() / 2), 0);
        } else {
            doc->RunWorker(command,
                           command == ids::kCmdLighten ? 20 : static_cast<int32_t>(state.range(1)),
                           100);
        }
    }
    *doc->image = *original;
    doc->UpdateAllViews(ids::kHintImageChanged);
}

// The costs the worker can add to the library's: a full copy of the picture (made only for the
// operations that change pixels in place, the others keep the picture itself as the undo
// state), and the views' refresh (the visible part of the screen copy made again).
void BM_UndoCopy(benchmark::State& state) {
    const CRaster& original = *Document()->image;
    for (auto _ : state) {
        auto copy = std::make_unique<CRaster>(original);
        benchmark::DoNotOptimize(copy->GetDIB());
    }
}

void BM_Refresh(benchmark::State& state) {
    CLumoDoc* doc = Document();
    for (auto _ : state) doc->UpdateAllViews(ids::kHintImageChanged);
}

// What a change costs on the screen: the refresh and the first repaint after it, and a repaint
// after a scroll onto a part of the picture not converted since the change.
void BM_ChangeRepaint(benchmark::State& state) {
    CLumoDoc* doc = Document();
    doc->zoom = static_cast<float>(state.range(0)) / 8.0f;
    doc->UpdateAllViews(ids::kHintImageChanged);
    CLumoView* view = Frame()->docTemplate()->FrameOf(doc)->view();
    view->ScrollTo(QPoint(view->ScrollSize().width() / 3, view->ScrollSize().height() / 3));
    for (auto _ : state) {
        doc->UpdateAllViews(ids::kHintImageChanged);
        view->viewport()->repaint();
    }
    doc->zoom = 1.0f;
    doc->UpdateAllViews(ids::kHintImageChanged);
}

void BM_ScrollRepaint(benchmark::State& state) {
    CLumoDoc* doc = Document();
    doc->zoom = static_cast<float>(state.range(0)) / 8.0f;
    CLumoView* view = Frame()->docTemplate()->FrameOf(doc)->view();
    for (auto _ : state) {
        state.PauseTiming();
        view->ScrollTo(QPoint(0, 0));
        doc->UpdateAllViews(ids::kHintImageChanged);
        state.ResumeTiming();
        view->ScrollTo(QPoint(view->ScrollSize().width() / 2, view->ScrollSize().height() / 2));
        view->viewport()->repaint();
    }
    doc->zoom = 1.0f;
    doc->UpdateAllViews(ids::kHintImageChanged);
}

void BM_Repaint(benchmark::State& state) {
    CLumoDoc* doc = Document();
    doc->zoom = static_cast<float>(state.range(0)) / 8.0f;
    doc->UpdateAllViews(ids::kHintImageChanged);
    CLumoView* view = Frame()->docTemplate()->FrameOf(doc)->view();
    view->ScrollTo(QPoint(view->ScrollSize().width() / 3, view->ScrollSize().height() / 3));
    for (auto _ : state) view->viewport()->repaint();
    state.counters["pixels"] = view->viewport()->width() * view->viewport()->height();
    doc->zoom = 1.0f;
    doc->UpdateAllViews(ids::kHintImageChanged);
}

// Each command with its quarter turns (rotations only).
constexpr int kCommands[][2] = {{ids::kCmdMirror, 1},      {ids::kCmdLighten, 1},
                                {ids::kCmdGreyscale, 1},   {ids::kCmdRotateRight, 1},
                                {ids::kCmdRotateRight, 3}, {ids::kCmdResize, 1}};

}  // namespace

int main(int argc, char** argv) {
    CQuilletApp app(argc, argv);
    platform::SetMessageBoxRecorder([](const platform::MessageBoxCall&) { return 1; });
    benchmark::Initialize(&argc, argv);
    for (const auto& command : kCommands) {
        benchmark::RegisterBenchmark("Library", BM_Library)
            ->Args({command[0], command[1]})
            ->Iterations(10)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("Worker", BM_Worker)
            ->Args({command[0], command[1]})
            ->Iterations(10)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("UndoCopy", BM_UndoCopy)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Refresh", BM_Refresh)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    // Zoom in eighths: 1/8, 1, 16.
    for (auto* bench : {benchmark::RegisterBenchmark("ChangeRepaint", BM_ChangeRepaint),
                        benchmark::RegisterBenchmark("ScrollRepaint", BM_ScrollRepaint)}) {
        bench->Arg(1)->Arg(8)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    benchmark::RegisterBenchmark("Repaint", BM_Repaint)
        ->Arg(1)
        ->Arg(8)
        ->Arg(128)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
