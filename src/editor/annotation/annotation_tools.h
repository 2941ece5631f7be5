#pragma once

#include "editor/annotation/annotation.h"

#include <QColor>
#include <QIcon>
#include <QString>

#include <array>

// What the tool bar and the Annotate menu show for each tool.
struct AnnotationToolInfo {
    AnnotationTool tool;
    const char* name;  // menu text and tooltip
    char key;          // the key that chooses it
    bool hasColor;     // whether the colour applies (not to Select, Pixelate and Blur)
    // Its three widths: pen width, block size, blur radius, font or circle size in picture pixels.
    std::array<int, 3> widths;
};

const AnnotationToolInfo& ToolInfo(AnnotationTool tool);
inline constexpr int kPaletteSize = 8;
// The palette's colours and their names.
QColor PaletteColor(int index);
const char* PaletteColorName(int index);
inline constexpr int kWidthChoices = 3;
const char* WidthName(int index);  // "Thin", "Medium", "Thick"

// The chosen tool and each tool's colour and width (0..2). The profile keeps them as text.
class CAnnotationToolbox {
  public:
    CAnnotationToolbox();

    AnnotationTool tool() const { return tool_; }
    void SetTool(AnnotationTool tool) { tool_ = tool; }
    QColor Color(AnnotationTool tool) const;
    void SetColor(AnnotationTool tool, QColor color);
    int WidthChoice(AnnotationTool tool) const;
    void SetWidthChoice(AnnotationTool tool, int choice);
    // The chosen tool's width in picture pixels.
    int Width(AnnotationTool tool) const;

    // The profile's key of a tool's settings and their text ("#rrggbb width"); text that does
    // not read leaves the tool as it is.
    static QString ProfileKey(AnnotationTool tool);
    QString ProfileText(AnnotationTool tool) const;
    void ReadProfileText(AnnotationTool tool, const QString& text);

  private:
    AnnotationTool tool_ = AnnotationTool::Select;
    std::array<QColor, kAnnotationToolCount> colors_;
    std::array<int, kAnnotationToolCount> widths_;
};

// The tool's picture for the tool bar, drawn with the tool's own marks.
QIcon ToolIcon(AnnotationTool tool);
// A swatch of a colour, and a line of one of the three widths, for the tool bar and the menu.
QIcon ColorIcon(QColor color);
QIcon WidthIcon(int choice);
