#pragma once

#include "platform/x11_windows.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

// What the inspector shows of one window: gathered from the display in one go, then turned
// into the values of its attribute rows.
namespace inspector {

inline constexpr int kRowCount = 23;
// The attribute number of each row (its item data), -1 for a blank row.
inline constexpr std::array<int, kRowCount> kRowAttributes = {
    0, -1, 1, 2, -1, 3, 4, 5, 6, 7, -1, 8, 9, 10, -1, 11, -1, 12, 13, -1, 14, -1, 15};
const char* AttributeLabel(int attribute);  // empty for -1

struct WindowFacts {
    platform::XWindow handle = 0;
    QString className;  // as shown: system classes get their long names
    QString caption;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    QStringList properties;  // formatted, in the server's order
    platform::XWindow parent = 0;
    QString parentCaption;
    QString parentClass;
    platform::XWindow topLevel = 0;
    QString topLevelCaption;
    QRect windowRect;     // screen coordinates, frame included
    QRect clientRect;     // the window's own area
    bool framed = false;  // windowRect comes from the window manager's frame extents
};

// The part of a window's facts that decides whether the rows need writing again.
struct CachedState {
    platform::XWindow handle = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    QString caption;
    QRect windowRect;
    QRect clientRect;
    bool operator==(const CachedState&) const = default;
};
CachedState CacheOf(const std::optional<WindowFacts>& facts);

// The facts of a window; nothing for 0 or a window that is gone (also when it vanishes while
// being read).
std::optional<WindowFacts> CollectWindowFacts(platform::XWindow window);

// "#32768" to "#32772" get their long names; other class names stay as they are.
QString ShownClassName(const QString& rawClass);

// The hit-test code of a screen point: client area, caption, borders and sizing corners of
// the frame (a corner reaches along a border up to that border's width plus 16 pixels).
int HitTestCode(QPoint point, const QRect& windowRect, const QRect& clientRect, bool framed);

// The text of a row's "Value" column; every value is empty without a window.
QString RowValue(int attribute, const std::optional<WindowFacts>& facts, QPoint point);

}  // namespace inspector
