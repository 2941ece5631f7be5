// Draws the pictures of Quillet's skinned windows and the three-picture strips of their hover
// buttons. Usage: quillet_make_skins OUTPUT_FOLDER (the pictures are committed beside this file).
//
// Window pictures keep their surround black: every pixel whose three channels are all at most 16
// falls outside the window's shape, so the faces stay above 16 in at least one channel.

#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <cstdio>
#include <functional>

namespace {

const QColor kFaceTop(64, 104, 162);
const QColor kFaceBottom(34, 62, 110);
const QColor kEdge(132, 170, 222);
const QColor kGold(232, 179, 58);
const QColor kLabel(244, 246, 250);

QString outputFolder;

bool Save(const QImage& image, const QString& name) {
    const QString path = outputFolder + '/' + name;
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// A vertical gradient in a few flat bands, so the picture keeps to a small palette.
void FillBanded(QPainter& painter, const QPainterPath& shape, const QRectF& box, QColor top,
                QColor bottom, int bands) {
    painter.save();
    painter.setClipPath(shape, Qt::IntersectClip);
    for (int i = 0; i < bands; ++i) {
        const double t = bands > 1 ? double(i) / (bands - 1) : 0.0;
        const QColor colour(int(top.red() + (bottom.red() - top.red()) * t),
                            int(top.green() + (bottom.green() - top.green()) * t),
                            int(top.blue() + (bottom.blue() - top.blue()) * t));
        const double y0 = box.top() + box.height() * i / bands;
        const double y1 = box.top() + box.height() * (i + 1) / bands;
        painter.fillRect(QRectF(box.left(), y0, box.width(), y1 - y0 + 0.5), colour);
    }
    painter.restore();
}

// The 262 x 180 rounded face on black that the preview and the icon window share.
QImage RoundedFace() {
    QImage image(262, 180, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath face;
    face.addRoundedRect(QRectF(1, 1, 260, 178), 16, 16);
    FillBanded(painter, face, QRectF(1, 1, 260, 178), kFaceTop, kFaceBottom, 24);
    painter.setPen(QPen(kEdge, 2));
    painter.drawPath(face);
    painter.end();
    return image;
}

// Skin 218: the capture preview and its two lists. A rounded face on black.
QImage PreviewSkin() {
    QImage image = RoundedFace();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath inner;
    inner.addRoundedRect(QRectF(6, 6, 250, 168), 11, 11);
    painter.setPen(QPen(QColor(48, 84, 140), 1));
    painter.drawPath(inner);
    // A small grip of gold dots at the top edge: the window is dragged from anywhere.
    painter.setPen(Qt::NoPen);
    painter.setBrush(kGold);
    for (int i = 0; i < 5; ++i) painter.drawRect(115 + i * 7, 2, 3, 2);
    painter.end();
    // 256 colours, as the windows' skins are.
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

// Skin 207: the icon window. A rounded face on black with its title, and a sunken frame around
// the icon list (13, 24, 234 x 104 pixels).
QImage IconSkin() {
    QImage image = RoundedFace();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(24, 44, 80), 1));
    painter.drawRect(QRectF(11.5, 22.5, 237, 107));
    painter.setPen(QPen(kEdge, 1));
    painter.drawLine(QPointF(12, 130.5), QPointF(249, 130.5));
    painter.drawLine(QPointF(249.5, 23), QPointF(249.5, 130));
    QFont title("DejaVu Sans");
    title.setPixelSize(12);
    title.setBold(true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(title);
    painter.setPen(kGold);
    painter.drawText(QRectF(16, 4, 200, 17), Qt::AlignLeft | Qt::AlignVCenter, "Icons");
    painter.end();
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

// Skin 236: the floating panel. No near-black pixel anywhere: its shape is the whole rectangle.
QImage PanelSkin() {
    QImage image(248, 170, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    QPainterPath all;
    all.addRect(QRectF(0, 0, 248, 170));
    FillBanded(painter, all, QRectF(0, 0, 248, 170), kFaceTop, kFaceBottom, 34);
    painter.setPen(QPen(kEdge, 2));
    painter.drawRect(QRectF(1, 1, 246, 168));
    painter.setPen(QPen(QColor(48, 84, 140), 1));
    painter.drawRect(QRectF(5.5, 5.5, 237, 159));
    // Title band.
    QFont title("DejaVu Sans");
    title.setPixelSize(30);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(kGold);
    painter.drawText(QRectF(14, 10, 220, 40), Qt::AlignLeft | Qt::AlignVCenter, "Quillet");
    QFont tagline("DejaVu Sans");
    tagline.setPixelSize(11);
    painter.setFont(tagline);
    painter.setPen(kLabel);
    painter.drawText(QRectF(16, 46, 220, 14), Qt::AlignLeft | Qt::AlignVCenter,
                     "screen capture workspace");
    painter.end();
    return image;
}

// Skin 206: the picking balloon. A rounded face with a tail pointing down at the screen, on black.
QImage BalloonSkin() {
    QImage image(242, 71, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath balloon;
    balloon.addRoundedRect(QRectF(1, 1, 240, 58), 14, 14);
    QPainterPath tail;
    tail.moveTo(24, 50);
    tail.lineTo(18, 70);
    tail.lineTo(46, 50);
    tail.closeSubpath();
    balloon = balloon.united(tail);
    FillBanded(painter, balloon, QRectF(1, 1, 240, 70), kFaceTop, kFaceBottom, 14);
    painter.setPen(QPen(kEdge, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(balloon);
    painter.end();
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

enum class State { Normal, Pressed, Hover };

// Draws one picture of a strip into `cell` (normal, pressed or hover).
using DrawLabel = std::function<void(QPainter&, const QRectF&, const QColor&)>;

void DrawButtonFace(QPainter& painter, const QRectF& cell, State state) {
    const QColor top = state == State::Pressed ? QColor(28, 52, 92)
                       : state == State::Hover ? QColor(96, 142, 206)
                                               : QColor(74, 114, 174);
    const QColor bottom = state == State::Pressed ? QColor(46, 78, 130)
                          : state == State::Hover ? QColor(62, 102, 166)
                                                  : QColor(42, 76, 130);
    QPainterPath shape;
    shape.addRect(cell);
    FillBanded(painter, shape, cell, top, bottom, int(cell.height()));
    const QColor edge = state == State::Hover     ? kGold
                        : state == State::Pressed ? QColor(104, 136, 186)
                                                  : kEdge;
    painter.setPen(QPen(edge, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(cell.adjusted(0.5, 0.5, -0.5, -0.5));
}

// A strip of three pictures side by side, each (width / 3) wide.
QImage Strip(int width, int height, const DrawLabel& label) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(42, 76, 130));
    const int cellWidth = width / 3;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (int i = 0; i < 3; ++i) {
        const State state = static_cast<State>(i);
        const QRectF cell(i * cellWidth, 0, cellWidth, height);
        DrawButtonFace(painter, cell, state);
        const QRectF labelBox = state == State::Pressed ? cell.translated(1, 1) : cell;
        label(painter, labelBox, state == State::Pressed ? kGold : kLabel);
    }
    painter.end();
    return image;
}

DrawLabel Text(const QString& text) {
    return [text](QPainter& painter, const QRectF& box, const QColor& colour) {
        QFont font("DejaVu Sans");
        font.setBold(true);
        // As large as fits: about half the height, narrower for long labels.
        for (int size = int(box.height() * 0.55); size > 6; --size) {
            font.setPixelSize(size);
            if (QFontMetricsF(font).horizontalAdvance(text) <= box.width() - 6) break;
        }
        painter.setFont(font);
        painter.setPen(colour);
        painter.drawText(box, Qt::AlignCenter, text);
    };
}

// A filled triangle pointing left (the slide-out arrow) or up (the drop list).
DrawLabel Arrow(bool up) {
    return [up](QPainter& painter, const QRectF& box, const QColor& colour) {
        const QRectF r = box.adjusted(3, 3, -3, -3);
        QPolygonF triangle;
        if (up) {
            triangle << QPointF(r.left(), r.bottom()) << QPointF(r.right(), r.bottom())
                     << QPointF(r.center().x(), r.top());
        } else {
            triangle << QPointF(r.right(), r.top()) << QPointF(r.right(), r.bottom())
                     << QPointF(r.left(), r.center().y());
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPolygon(triangle);
    };
}

// The panel's two tiny buttons: a bar (hide) and a cross (exit).
DrawLabel Mark(bool cross) {
    return [cross](QPainter& painter, const QRectF& box, const QColor& colour) {
        const QRectF r = box.adjusted(1.5, 2, -1.5, -2);
        painter.setPen(QPen(colour, 1.2));
        if (cross) {
            painter.drawLine(r.topLeft(), r.bottomRight());
            painter.drawLine(r.topRight(), r.bottomLeft());
        } else {
            painter.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
        }
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillet_make_skins OUTPUT_FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    outputFolder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outputFolder);

    bool ok = Save(PreviewSkin(), "skin218.png") && Save(PanelSkin(), "skin236.png") &&
              Save(BalloonSkin(), "skin206.png") && Save(IconSkin(), "skin207.png");
    struct StripPicture {
        int id, width, height;
        DrawLabel label;
    };
    const StripPicture strips[] = {
        // The panel: six 55 x 22 buttons, the slide arrow and the hide and exit marks.
        {212, 165, 22, Text("Desktop")},
        {213, 165, 22, Text("Slice")},
        {214, 165, 22, Text("Help")},
        {215, 165, 22, Text("Icons")},
        {216, 165, 22, Text("Window")},
        {217, 165, 22, Text("Options")},
        {227, 21, 9, Mark(false)},
        {228, 21, 9, Mark(true)},
        {229, 36, 12, Arrow(false)},
        // The preview: two 110 x 22 menu buttons and the drop list's arrow.
        {219, 330, 22, Text("Send to..")},
        {220, 330, 22, Text("Functions")},
        {233, 36, 12, Arrow(true)},
        // The drop list.
        {231, 165, 22, Text("OK")},
        {232, 165, 22, Text("Clear")},
        // The icon window's Browse button (its close button shares the panel's exit mark).
        {221, 150, 20, Text("Browse")},
    };
    for (const StripPicture& strip : strips) {
        ok = ok && Save(Strip(strip.width, strip.height, strip.label),
                        QString("strip%1.png").arg(strip.id));
    }
    return ok ? 0 : 1;
}
