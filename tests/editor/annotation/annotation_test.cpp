// Annotation marks drawn as QPainter draws them, redactions that keep nothing of the picture,
// the layer's numbering and history, and burning the marks into an image object.
#include "editor/annotation/annotation_layer.h"
#include "editor/annotation/annotation_tools.h"
#include "editor/annotation/burn_in.h"
#include "image/raster.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

// A picture of noise, the same for every run.
QImage Noise(int width, int height, unsigned seed = 7) {
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) row[x] = 0xff000000u | (random() & 0xffffff);
    }
    return image;
}

QImage Rendered(const QImage& picture, std::unique_ptr<CAnnotation> mark) {
    CAnnotationLayer layer;
    layer.Add(std::move(mark));
    QImage out = picture.copy();
    layer.Render(out, QPoint(0, 0));
    return out;
}

std::unique_ptr<CAnnotation> Dragged(AnnotationTool tool, QColor color, qreal width,
                                     std::vector<QPointF> points) {
    auto mark = MakeAnnotation(tool, color, width);
    mark->Begin(points.front());
    for (size_t i = 1; i < points.size(); ++i) mark->DragTo(points[i]);
    return mark;
}

// The reference: QPainter with antialiasing on a copy of the picture.
template <typename Paint>
QImage Reference(const QImage& picture, Paint paint) {
    QImage out = picture.copy();
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    return out;
}

int Differences(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
    }
    return count;
}

TEST(Annotation, DrawingToolsMatchQPainterPixelForPixel) {
    const QImage picture = Noise(160, 120);
    const QColor red(224, 32, 32), yellow(255, 230, 0);
    const QPen round(red, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    QImage out =
        Rendered(picture, Dragged(AnnotationTool::Pen, red, 4, {{10, 10}, {50, 40.5}, {90, 20}}));
    QImage ref = Reference(picture, [&](QPainter& p) {
        p.setPen(round);
        p.drawPolyline(QPolygonF({{10, 10}, {50, 40.5}, {90, 20}}));
    });
    EXPECT_EQ(Differences(out, ref), 0) << "pen";
    EXPECT_GT(Differences(out, picture), 100);

    out = Rendered(picture, Dragged(AnnotationTool::Line, red, 4, {{5, 100}, {150, 8}}));
    ref = Reference(picture, [&](QPainter& p) {
        p.setPen(round);
        p.drawLine(QPointF(5, 100), QPointF(150, 8));
    });
    EXPECT_EQ(Differences(out, ref), 0) << "line";

    out = Rendered(picture, Dragged(AnnotationTool::Rectangle, red, 8, {{100, 90}, {20, 30}}));
    ref = Reference(picture, [&](QPainter& p) {
        p.setPen(QPen(red, 8, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.drawRect(QRectF(20, 30, 80, 60));
    });
    EXPECT_EQ(Differences(out, ref), 0) << "rectangle";

    out = Rendered(picture, Dragged(AnnotationTool::Ellipse, red, 2, {{20, 30}, {100, 90}}));
    ref = Reference(picture, [&](QPainter& p) {
        p.setPen(QPen(red, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawEllipse(QRectF(20, 30, 80, 60));
    });
    EXPECT_EQ(Differences(out, ref), 0) << "ellipse";

    // The marker multiplies: dark text under it stays dark.
    out = Rendered(picture, Dragged(AnnotationTool::Marker, yellow, 20, {{10, 60}, {150, 60}}));
    ref = Reference(picture, [&](QPainter& p) {
        p.setCompositionMode(QPainter::CompositionMode_Multiply);
        p.setPen(QPen(QColor(255, 230, 0, 160), 20, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(10, 60), QPointF(150, 60));
    });
    EXPECT_EQ(Differences(out, ref), 0) << "marker";

    // The arrow: a shaft into a head whose length and base are 3 x width + 8, at the end point.
    out = Rendered(picture, Dragged(AnnotationTool::Arrow, red, 4, {{10, 60}, {130, 60}}));
    ref = Reference(picture, [&](QPainter& p) {
        p.setPen(round);
        p.drawLine(QPointF(10, 60), QPointF(120, 60));
        p.setPen(Qt::NoPen);
        p.setBrush(red);
        p.drawPolygon(QPolygonF({{130, 60}, {110, 70}, {110, 50}}));
    });
    EXPECT_EQ(Differences(out, ref), 0) << "arrow";

    // Text: its line's top-left corner at the press point.
    QFont font;
    font.setPixelSize(20);
    auto text = MakeAnnotation(AnnotationTool::Text, red, 20, font);
    text->Begin({12, 30});
    static_cast<CTextAnnotation*>(text.get())->SetText("Quillet 42");
    out = Rendered(picture, std::move(text));
    ref = Reference(picture, [&](QPainter& p) {
        p.setFont(font);
        p.setPen(red);
        p.drawText(QPointF(12, 30 + QFontMetricsF(font).ascent()), "Quillet 42");
    });
    EXPECT_EQ(Differences(out, ref), 0) << "text";

    // A numbered step: a filled circle around the press point, its number in white on it.
    out = Rendered(picture, Dragged(AnnotationTool::Step, red, 30, {{80, 60}}));
    ref = Reference(picture, [&](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(red);
        p.drawEllipse(QRectF(65, 45, 30, 30));
        QFont number;
        number.setBold(true);
        number.setPixelSize(18);
        p.setFont(number);
        p.setPen(Qt::white);
        p.drawText(QRectF(65, 45, 30, 30), Qt::AlignCenter, "1");
    });
    EXPECT_EQ(Differences(out, ref), 0) << "step";

    out = Rendered(picture, Dragged(AnnotationTool::SolidBox, Qt::black, 0, {{20, 30}, {60, 50}}));
    ref = Reference(picture, [&](QPainter& p) { p.fillRect(QRect(20, 30, 40, 20), Qt::black); });
    EXPECT_EQ(Differences(out, ref), 0) << "solid box";
}

// The plain mean of each block of the area, blocks counted from the area's corner.
QImage PixelateReference(const QImage& picture, QRect area, int block) {
    QImage out = picture.copy();
    for (int by = area.top(); by <= area.bottom(); by += block) {
        for (int bx = area.left(); bx <= area.right(); bx += block) {
            const QRect cell = QRect(bx, by, block, block) & area;
            double r = 0, g = 0, b = 0;
            for (int y = cell.top(); y <= cell.bottom(); ++y) {
                for (int x = cell.left(); x <= cell.right(); ++x) {
                    const QRgb c = picture.pixel(x, y);
                    r += qRed(c), g += qGreen(c), b += qBlue(c);
                }
            }
            const double n = cell.width() * cell.height();
            const QRgb mean = qRgb(int(r / n + 0.5), int(g / n + 0.5), int(b / n + 0.5));
            for (int y = cell.top(); y <= cell.bottom(); ++y) {
                for (int x = cell.left(); x <= cell.right(); ++x) out.setPixel(x, y, mean);
            }
        }
    }
    return out;
}

TEST(Annotation, RedactionsKeepNothingOfTheOriginal) {
    const QImage picture = Noise(160, 120);
    const QRect area(13, 21, 61, 43);  // not a multiple of the block size
    auto changedEverywhere = [&](const QImage& out) {
        int same = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                same += out.pixel(x, y) == picture.pixel(x, y);
        }
        return same;
    };
    auto box = [&](AnnotationTool tool, qreal width) {
        return Dragged(tool, Qt::black, width, {area.topLeft(), area.bottomRight() + QPoint(1, 1)});
    };

    // A block size asked below 8 is 8.
    const QImage pixelated = Rendered(picture, box(AnnotationTool::Pixelate, 3));
    EXPECT_EQ(Differences(pixelated, PixelateReference(picture, area, 8)), 0);
    EXPECT_EQ(changedEverywhere(pixelated), 0);
    EXPECT_EQ(Differences(pixelated, picture), area.width() * area.height());

    const QImage blurred = Rendered(picture, box(AnnotationTool::Blur, 2));
    EXPECT_EQ(changedEverywhere(blurred), 0);
    EXPECT_EQ(Differences(blurred, picture), area.width() * area.height());
    // A radius of at least 8: three box passes leave neighbours within a few levels.
    int rough = 0;
    for (int y = area.top() + 8; y < area.bottom() - 8; ++y) {
        for (int x = area.left() + 8; x < area.right() - 8; ++x)
            rough += std::abs(qRed(blurred.pixel(x, y)) - qRed(blurred.pixel(x + 1, y))) > 4;
    }
    EXPECT_EQ(rough, 0);

    const QImage filled = Rendered(picture, box(AnnotationTool::SolidBox, 0));
    EXPECT_EQ(changedEverywhere(filled), 0);
}

TEST(Annotation, RenderingAPieceGivesThePiecesOfTheWhole) {
    // The view draws only the part it repaints: a piece cut through a pixelated area and a
    // blurred one must show what the whole shows there.
    const QImage picture = Noise(200, 160, 3);
    CAnnotationLayer layer;
    layer.Add(Dragged(AnnotationTool::Pixelate, Qt::black, 12, {{30, 30}, {130, 110}}));
    layer.Add(Dragged(AnnotationTool::Blur, Qt::black, 8, {{100, 20}, {190, 150}}));
    layer.Add(Dragged(AnnotationTool::Arrow, Qt::blue, 4, {{10, 150}, {180, 40}}));
    QImage whole = picture.copy();
    layer.Render(whole, QPoint(0, 0));

    const QRect piece(60, 50, 45, 30);
    const QRect source = layer.SourceArea(piece).intersected(picture.rect());
    EXPECT_TRUE(source.contains(QRect(30, 30, 160, 120)));  // both redactions, chained
    QImage part = picture.copy(source);
    layer.Render(part, source.topLeft());
    EXPECT_EQ(Differences(part.copy(piece.translated(-source.topLeft())), whole.copy(piece)), 0);
}

TEST(Annotation, StepsRenumberAndTheHistoryUndoesEachChange) {
    CAnnotationLayer layer;
    for (int i = 0; i < 3; ++i)
        layer.Add(Dragged(AnnotationTool::Step, Qt::red, 30, {{40.0 + 50 * i, 40}}));
    auto numbers = [&] {
        std::vector<int> out;
        for (int i = 0; i < layer.Count(); ++i) {
            if (auto* s = dynamic_cast<const CStepAnnotation*>(&layer.At(i)))
                out.push_back(s->number());
        }
        return out;
    };
    EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(layer.HitTest({92, 38}, 1), 1);
    EXPECT_EQ(layer.HitTest({5, 100}, 1), -1);

    // Move the third, delete the first: the others count 1, 2.
    auto before = layer.Snapshot();
    layer.At(2).MoveBy({0, 50});
    layer.Commit(std::move(before));
    layer.Remove(0);
    EXPECT_EQ(numbers(), (std::vector<int>{1, 2}));

    layer.Undo();  // the delete
    EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3}));
    layer.Undo();  // the move
    EXPECT_EQ(static_cast<const CStepAnnotation&>(layer.At(2)).centre(), QPointF(140, 40));
    layer.Redo();
    EXPECT_EQ(static_cast<const CStepAnnotation&>(layer.At(2)).centre(), QPointF(140, 90));
    EXPECT_TRUE(layer.CanRedo());
    // A new change drops what could be redone.
    layer.Add(Dragged(AnnotationTool::Line, Qt::red, 2, {{0, 0}, {9, 9}}));
    EXPECT_FALSE(layer.CanRedo());
    EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3}));
    while (layer.CanUndo()) layer.Undo();
    EXPECT_TRUE(layer.IsEmpty());
    layer.Redo();
    layer.Clear();
    EXPECT_FALSE(layer.CanUndo() || layer.CanRedo() || !layer.IsEmpty());
}

TEST(Annotation, BurningInRaisesPalettePicturesAndDrawsWhatTheLayerDraws) {
    for (uint32_t bpp : {24u, 8u, 1u}) {
        CRaster picture(90, 70, bpp);
        if (bpp == 8) picture.SetGrayPalette();
        for (int y = 0; y < 70; ++y) {
            for (int x = 0; x < 90; ++x)
                picture.SetPixelIndex(x, y,
                                      static_cast<uint8_t>((x * 7 + y * 3) % (bpp == 1 ? 2 : 256)));
        }
        if (bpp == 24) {
            for (int y = 0; y < 70; ++y)
                for (int x = 0; x < 90; ++x)
                    picture.SetPixelColor(x, y,
                                          RGBQUAD{uint8_t(x), uint8_t(y * 3), uint8_t(x + y), 0});
        }
        CRaster raised(picture);
        ASSERT_TRUE(raised.IncreaseBpp(24));
        QImage expected(90, 70, QImage::Format_RGB32);
        for (int y = 0; y < 70; ++y) {
            for (int x = 0; x < 90; ++x) {
                const RGBQUAD c = raised.GetPixelColor(x, 69 - y);
                expected.setPixel(x, y, qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue));
            }
        }
        // Far-apart marks are burned in separate batches, in their order all the same.
        CAnnotationLayer layer;
        layer.Add(Dragged(AnnotationTool::Step, Qt::blue, 10, {{8, 8}}));
        layer.Add(Dragged(AnnotationTool::Step, Qt::green, 10, {{80, 60}}));
        layer.Add(Dragged(AnnotationTool::Arrow, QColor(200, 30, 60), 4, {{5, 60}, {80, 10}}));
        layer.Add(Dragged(AnnotationTool::Pixelate, Qt::black, 8, {{40, 40}, {89, 69}}));
        layer.Render(expected, QPoint(0, 0));

        ASSERT_TRUE(BurnIn(picture, layer));
        ASSERT_EQ(picture.GetBpp(), 24u);
        int differences = 0;
        for (int y = 0; y < 70; ++y) {
            for (int x = 0; x < 90; ++x) {
                const RGBQUAD c = picture.GetPixelColor(x, 69 - y);
                differences += qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue) != expected.pixel(x, y);
            }
        }
        EXPECT_EQ(differences, 0) << bpp << " bits";
    }
}

TEST(Annotation, ToolSettingsTravelThroughTheProfileText) {
    CAnnotationToolbox box;
    box.SetColor(AnnotationTool::Arrow, QColor(1, 2, 3));
    box.SetWidthChoice(AnnotationTool::Arrow, 2);
    CAnnotationToolbox other;
    other.ReadProfileText(AnnotationTool::Arrow, box.ProfileText(AnnotationTool::Arrow));
    EXPECT_EQ(other.Color(AnnotationTool::Arrow), QColor(1, 2, 3));
    EXPECT_EQ(other.Width(AnnotationTool::Arrow), 8);
    EXPECT_EQ(CAnnotationToolbox::ProfileKey(AnnotationTool::SolidBox),
              "AnnotateSolidredactionbox");
    for (const char* bad : {"", "#010203", "#0102 1", "#010203 3", "red 1", "#zzzzzz 1"}) {
        other.ReadProfileText(AnnotationTool::Arrow, bad);
        EXPECT_EQ(other.ProfileText(AnnotationTool::Arrow), "#010203 2") << bad;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) return RUN_ALL_TESTS();
    }
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
