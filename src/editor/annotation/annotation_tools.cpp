#include "editor/annotation/annotation_tools.h"

#include <QPainter>
#include <QPixmap>
#include <QStringList>

#include <algorithm>

namespace {

constexpr AnnotationToolInfo kTools[kAnnotationToolCount] = {
    {AnnotationTool::Select, "Select", 'V', false, {0, 0, 0}},
    {AnnotationTool::Pen, "Pen", 'P', true, {2, 4, 8}},
    {AnnotationTool::Line, "Line", 'L', true, {2, 4, 8}},
    {AnnotationTool::Arrow, "Arrow", 'A', true, {2, 4, 8}},
    {AnnotationTool::Rectangle, "Rectangle", 'R', true, {2, 4, 8}},
    {AnnotationTool::Ellipse, "Ellipse", 'E', true, {2, 4, 8}},
    {AnnotationTool::Marker, "Marker", 'M', true, {12, 20, 32}},
    {AnnotationTool::Text, "Text", 'T', true, {14, 20, 32}},
    {AnnotationTool::Step, "Numbered step", 'N', true, {22, 30, 40}},
    {AnnotationTool::Pixelate, "Pixelate", 'X', false, {8, 12, 16}},
    {AnnotationTool::Blur, "Blur", 'B', false, {8, 12, 16}},
    {AnnotationTool::SolidBox, "Solid redaction box", 'K', true, {0, 0, 0}},
};

struct NamedColor {
    QRgb rgb;
    const char* name;
};

constexpr NamedColor kPalette[kPaletteSize] = {
    {0xffe02020, "Red"},  {0xffff8c00, "Orange"}, {0xffffe600, "Yellow"}, {0xff20a040, "Green"},
    {0xff2060e0, "Blue"}, {0xff9030c0, "Purple"}, {0xff000000, "Black"},  {0xffffffff, "White"},
};

constexpr const char* kWidthNames[kWidthChoices] = {"Thin", "Medium", "Thick"};

size_t Index(AnnotationTool tool) {
    return static_cast<size_t>(tool);
}

}  // namespace

const AnnotationToolInfo& ToolInfo(AnnotationTool tool) {
    return kTools[Index(tool)];
}

QColor PaletteColor(int index) {
    return QColor::fromRgb(kPalette[std::clamp(index, 0, kPaletteSize - 1)].rgb);
}

const char* PaletteColorName(int index) {
    return kPalette[std::clamp(index, 0, kPaletteSize - 1)].name;
}

const char* WidthName(int index) {
    return kWidthNames[std::clamp(index, 0, kWidthChoices - 1)];
}

CAnnotationToolbox::CAnnotationToolbox() {
    for (size_t i = 0; i < colors_.size(); ++i) {
        const auto tool = static_cast<AnnotationTool>(i);
        colors_[i] = tool == AnnotationTool::Marker     ? PaletteColor(2)
                     : tool == AnnotationTool::SolidBox ? PaletteColor(6)
                                                        : PaletteColor(0);
        widths_[i] = 1;
    }
}

QColor CAnnotationToolbox::Color(AnnotationTool tool) const {
    return colors_[Index(tool)];
}

void CAnnotationToolbox::SetColor(AnnotationTool tool, QColor color) {
    if (color.isValid()) colors_[Index(tool)] = QColor::fromRgb(color.rgb());
}

int CAnnotationToolbox::WidthChoice(AnnotationTool tool) const {
    return widths_[Index(tool)];
}

void CAnnotationToolbox::SetWidthChoice(AnnotationTool tool, int choice) {
    if (choice >= 0 && choice < kWidthChoices) widths_[Index(tool)] = choice;
}

int CAnnotationToolbox::Width(AnnotationTool tool) const {
    return ToolInfo(tool).widths[static_cast<size_t>(WidthChoice(tool))];
}

QString CAnnotationToolbox::ProfileKey(AnnotationTool tool) {
    return QString("Annotate%1").arg(QString(ToolInfo(tool).name).remove(' '));
}

QString CAnnotationToolbox::ProfileText(AnnotationTool tool) const {
    return QString("%1 %2").arg(Color(tool).name()).arg(WidthChoice(tool));
}

void CAnnotationToolbox::ReadProfileText(AnnotationTool tool, const QString& text) {
    const QStringList parts = text.trimmed().split(' ', Qt::SkipEmptyParts);
    if (parts.size() != 2 || parts[0].size() != 7 || !parts[0].startsWith('#')) return;
    const QColor color(parts[0]);
    bool ok = false;
    const int width = parts[1].toInt(&ok);
    if (!color.isValid() || !ok || width < 0 || width >= kWidthChoices) return;
    SetColor(tool, color);
    SetWidthChoice(tool, width);
}

// --- pictures -----------------------------------------------------------------------------------

namespace {

constexpr int kIconSize = 16;

QPixmap Blank() {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

}  // namespace

QIcon ToolIcon(AnnotationTool tool) {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 40, 40);
    std::unique_ptr<CAnnotation> mark = MakeAnnotation(tool, ink, 2);
    switch (tool) {
        case AnnotationTool::Select: {
            // The pointer.
            painter.setPen(QPen(ink, 1));
            painter.setBrush(Qt::white);
            painter.drawPolygon(QPolygonF(
                {{4, 1.5}, {4, 13}, {7, 10}, {9.5, 14.5}, {11, 13.5}, {8.5, 9.5}, {12.5, 9.5}}));
            return QIcon(pixmap);
        }
        case AnnotationTool::Pen: {
            auto* stroke = static_cast<CStrokeAnnotation*>(mark.get());
            stroke->SetPoints({{2, 12}, {5, 5}, {8, 10}, {11, 4}, {14, 9}});
            break;
        }
        case AnnotationTool::Marker: {
            mark = MakeAnnotation(tool, PaletteColor(2), 5);
            auto* stroke = static_cast<CStrokeAnnotation*>(mark.get());
            stroke->SetPoints({{3, 11}, {13, 5}});
            painter.setPen(QPen(ink, 1));
            painter.drawLine(QPointF(2, 8.5), QPointF(14, 8.5));
            break;
        }
        case AnnotationTool::Line:
        case AnnotationTool::Arrow:
            mark = MakeAnnotation(tool, ink, tool == AnnotationTool::Arrow ? 1.2 : 2);
            mark->Begin({2, 14});
            mark->DragTo({14, 2});
            break;
        case AnnotationTool::Rectangle:
        case AnnotationTool::Ellipse:
            mark->Begin({2, 3});
            mark->DragTo({14, 13});
            break;
        case AnnotationTool::Text: {
            QFont font;
            font.setPixelSize(15);
            font.setBold(true);
            painter.setFont(font);
            painter.setPen(ink);
            painter.drawText(QRect(0, 0, kIconSize, kIconSize), Qt::AlignCenter, "T");
            return QIcon(pixmap);
        }
        case AnnotationTool::Step:
            mark = MakeAnnotation(tool, PaletteColor(0), 15);
            mark->Begin({8, 8});
            break;
        case AnnotationTool::Pixelate:
            mark = MakeAnnotation(tool, ink, 8);
            mark->Begin({1, 2});
            mark->DragTo({15, 14});
            painter.setRenderHint(QPainter::Antialiasing, false);
            break;
        case AnnotationTool::Blur: {
            QRadialGradient gradient(QPointF(8, 8), 7);
            gradient.setColorAt(0, ink);
            gradient.setColorAt(1, Qt::transparent);
            painter.setPen(Qt::NoPen);
            painter.setBrush(gradient);
            painter.drawEllipse(QPointF(8, 8), 7, 7);
            return QIcon(pixmap);
        }
        case AnnotationTool::SolidBox:
            mark->Begin({1, 4});
            mark->DragTo({15, 12});
            break;
    }
    mark->Draw(painter);
    return QIcon(pixmap);
}

QIcon ColorIcon(QColor color) {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setPen(QColor(90, 90, 90));
    painter.setBrush(color);
    painter.drawRect(1, 1, kIconSize - 3, kIconSize - 3);
    painter.end();
    // A colour that does not apply to the tool still shows which colour it is.
    QIcon icon(pixmap);
    icon.addPixmap(pixmap, QIcon::Disabled);
    return icon;
}

QIcon WidthIcon(int choice) {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    const int thickness[kWidthChoices] = {1, 3, 6};
    painter.fillRect(QRect(2, 8 - thickness[std::clamp(choice, 0, 2)] / 2, 12,
                           thickness[std::clamp(choice, 0, 2)]),
                     QColor(40, 40, 40));
    return QIcon(pixmap);
}
