// Annotating a large picture (6000 x 4000 by default; QUILLET_BENCH_SIZE=WxH): the repaint of a
// view while a mark is dragged (the handling of one pointer move and the repaint it asks for,
// over twenty marks already drawn), at zoom 1 and 4, and burning 100 marks into the picture.
// Any display:
//   scripts/with-display build/bench/bench_annotation
#include "bench_editor_window.h"
#include "app/quillet_app.h"
#include "editor/annotation/annotation_layer.h"
#include "editor/annotation/annotation_tools.h"
#include "editor/annotation/burn_in.h"
#include "editor/child_frame.h"
#include "editor/doc_template.h"
#include "editor/lumo_doc.h"
#include "editor/lumo_view.h"
#include "editor/main_frame.h"
#include "ids.h"
#include "platform/message_box.h"

#include <benchmark/benchmark.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>

#include <cmath>
#include <memory>

namespace {

// `count` marks of every kind spread over the picture, as a busy screenshot might carry.
void AddMarks(CAnnotationLayer& layer, int count) {
    const QSize size = PictureSize();
    const AnnotationTool kinds[] = {AnnotationTool::Arrow,    AnnotationTool::Rectangle,
                                    AnnotationTool::Step,     AnnotationTool::Pen,
                                    AnnotationTool::Ellipse,  AnnotationTool::Marker,
                                    AnnotationTool::Line,     AnnotationTool::Pixelate,
                                    AnnotationTool::SolidBox, AnnotationTool::Blur};
    for (int i = 0; i < count; ++i) {
        const AnnotationTool tool = kinds[i % 10];
        const QPointF at((i * 577) % (size.width() - 300) + 20,
                         (i * 389) % (size.height() - 300) + 20);
        auto mark = MakeAnnotation(tool, PaletteColor(i % 8), ToolInfo(tool).widths[1]);
        mark->Begin(at);
        if (tool == AnnotationTool::Pen || tool == AnnotationTool::Marker) {
            for (int j = 1; j <= 40; ++j) mark->DragTo(at + QPointF(5 * j, 30 * std::sin(j / 4.0)));
        } else if (tool != AnnotationTool::Step) {
            mark->DragTo(at + QPointF(180 + i % 50, 90 + i % 30));
        }
        layer.Add(std::move(mark));
    }
}

CLumoDoc* Document() {
    static CLumoDoc* doc = [] {
        CLumoDoc* made = OpenPictureDocument();
        AddMarks(made->annotations, 20);
        QCoreApplication::processEvents();
        return made;
    }();
    return doc;
}

void Mouse(QWidget* target, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

// Counts the paints a widget receives, so that a run that painted nothing shows.
struct PaintCounter : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

// One pointer move of a drag with the tool and the repaint it causes, in the middle of the
// picture: range(0) the tool, range(1) the zoom.
void BM_DragRepaint(benchmark::State& state) {
    CLumoDoc* doc = Document();
    doc->zoom = static_cast<float>(state.range(1));
    doc->UpdateAllViews(ids::kHintImageChanged);
    CMainFrame* frame = Frame();
    CLumoView* view = frame->docTemplate()->FrameOf(doc)->view();
    frame->mdiArea()->setActiveSubWindow(frame->docTemplate()->FrameOf(doc));
    view->ScrollTo(QPoint(view->ScrollSize().width() / 3, view->ScrollSize().height() / 3));
    frame->onCommand(ids::kCmdAnnotateToolFirst + static_cast<int>(state.range(0)));
    QWidget* client = view->viewport();
    view->viewport()->repaint();
    PaintCounter paints;
    client->installEventFilter(&paints);
    const QPoint start(100, 100);
    Mouse(client, QEvent::MouseButtonPress, start);
    int step = 0;
    for (auto _ : state) {
        ++step;
        // Back and forth over a wide area, as a hand moves.
        const QPoint at = start + QPoint(200 + (step * 37) % 600, 150 + (step * 23) % 400);
        Mouse(client, QEvent::MouseMove, at);
        // The repaint the move asked for (only the area it changed), painted before the next.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    state.counters["painted"] = paints.count;
    Mouse(client, QEvent::MouseButtonRelease, start + QPoint(300, 200));
    while (doc->annotations.Count() > 20) doc->annotations.Undo();
    doc->zoom = 1.0f;
    doc->UpdateAllViews(ids::kHintImageChanged);
}

void BM_BurnIn(benchmark::State& state) {
    const auto original = Picture();
    CAnnotationLayer layer;
    AddMarks(layer, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        CRaster copy(*original);
        state.ResumeTiming();
        benchmark::DoNotOptimize(BurnIn(copy, layer));
    }
}

}  // namespace

int main(int argc, char** argv) {
    CQuilletApp app(argc, argv);
    platform::SetMessageBoxRecorder([](const platform::MessageBoxCall&) { return 1; });
    benchmark::Initialize(&argc, argv);
    for (AnnotationTool tool :
         {AnnotationTool::Pen, AnnotationTool::Arrow, AnnotationTool::Rectangle,
          AnnotationTool::Marker, AnnotationTool::Pixelate}) {
        for (int zoom : {1, 4}) {
            benchmark::RegisterBenchmark("DragRepaint", BM_DragRepaint)
                ->Args({static_cast<int>(tool), zoom})
                ->Iterations(100)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    benchmark::RegisterBenchmark("BurnIn", BM_BurnIn)
        ->Arg(100)
        ->Iterations(10)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
