#include "tools/inspector/window_facts.h"

#include "tools/inspector/style_names.h"

#include <algorithm>

namespace inspector {

namespace {

constexpr int kCaptionLength = 255;   // window texts are read into 256 characters
constexpr int kClassNameLength = 28;  // class names into 28
constexpr int kCornerReach = 16;

const char* const kAttributeLabels[] = {
    "Class Name",       "Window Handle",    "Window Caption", "Class Styles",
    "Window Styles",    "Extended Styles",  "Control Styles", "Window Properties",
    "Parent Handle",    "Parent Caption",   "Parent Class",   "Top-Level Parent",
    "Window Rectangle", "Client Rectangle", "Control ID",     "Hit-Test Result",
};

bool Contains(const std::vector<QString>& names, const char* name) {
    return std::find(names.begin(), names.end(), QLatin1String(name)) != names.end();
}

QString Hex(platform::XWindow value) {
    return QString::asprintf("0x%08X", static_cast<unsigned>(value));
}

// The class a window was registered with: WM_CLASS's class, else the system class its window
// type stands for.
QString RawClassName(platform::XWindow window) {
    if (window == platform::RootWindowId()) return "#32769";
    if (const auto wmClass = platform::WmClass(window)) return wmClass->left(kClassNameLength);
    const auto types = platform::AtomListProperty(window, "_NET_WM_WINDOW_TYPE");
    if (Contains(types, "_NET_WM_WINDOW_TYPE_DIALOG")) return "#32770";
    if (Contains(types, "_NET_WM_WINDOW_TYPE_POPUP_MENU") ||
        Contains(types, "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"))
        return "#32768";
    // A managed transient without a type is a dialog to the window manager as well.
    if (types.empty() && platform::TransientOwner(window) &&
        platform::ManagedClientOf(window) == window)
        return "#32770";
    return QString();
}

QString Caption(platform::XWindow window) {
    return platform::WindowText(window).left(kCaptionLength);
}

struct StyleWords {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
};

StyleWords BuildStyles(platform::XWindow window, const platform::XWindowState& state, bool managed,
                       const std::optional<platform::FrameExtents>& frame) {
    const platform::XWindow root = platform::RootWindowId();
    const auto wmState = platform::AtomListProperty(window, "_NET_WM_STATE");
    const auto types = platform::AtomListProperty(window, "_NET_WM_WINDOW_TYPE");
    StyleWords words;
    if (state.viewable) words.style |= WS_VISIBLE;
    if (window != root && !managed && state.parent != root) words.style |= WS_CHILD;
    if (state.overrideRedirect) words.style |= WS_POPUP;
    if (frame.value_or(platform::FrameExtents{}).top > 0) words.style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
    if (Contains(wmState, "_NET_WM_STATE_HIDDEN")) words.style |= WS_MINIMIZE;
    if (Contains(wmState, "_NET_WM_STATE_MAXIMIZED_VERT") &&
        Contains(wmState, "_NET_WM_STATE_MAXIMIZED_HORZ"))
        words.style |= WS_MAXIMIZE;

    if (Contains(wmState, "_NET_WM_STATE_ABOVE")) words.exStyle |= WS_EX_TOPMOST;
    if (Contains(types, "_NET_WM_WINDOW_TYPE_UTILITY") ||
        Contains(types, "_NET_WM_WINDOW_TYPE_TOOLBAR"))
        words.exStyle |= WS_EX_TOOLWINDOW;
    // Only a managed window can have a taskbar button.
    if (managed && !Contains(wmState, "_NET_WM_STATE_SKIP_TASKBAR"))
        words.exStyle |= WS_EX_APPWINDOW;
    if (platform::HasProperty(window, "XdndAware")) words.exStyle |= WS_EX_ACCEPTFILES;
    if (Contains(wmState, "_NET_WM_STATE_MODAL")) words.exStyle |= WS_EX_DLGMODALFRAME;
    return words;
}

// The owner of a managed window, else its X parent; the root and a window manager's frame
// are no parent.
platform::XWindow ParentOf(platform::XWindow window, const platform::XWindowState& state,
                           bool managed) {
    const platform::XWindow root = platform::RootWindowId();
    platform::XWindow parent = managed ? platform::TransientOwner(window) : state.parent;
    if (parent == root || parent == window) return 0;
    if (parent && !platform::WindowStateOf(parent)) return 0;
    return parent;
}

QString RectText(const QRect& r) {
    return QString::asprintf("(%d, %d) - (%d, %d), %d x %d", r.left(), r.top(),
                             r.left() + r.width(), r.top() + r.height(), r.width(), r.height());
}

QString PropertyText(const platform::XPropertyEntry& entry) {
    return QString::asprintf("Atom: %s:0x%08X (%d)", qPrintable(entry.name), entry.value,
                             static_cast<int>(entry.value));
}

}  // namespace

const char* AttributeLabel(int attribute) {
    if (attribute < 0 || attribute >= static_cast<int>(std::size(kAttributeLabels))) return "";
    return kAttributeLabels[attribute];
}

CachedState CacheOf(const std::optional<WindowFacts>& facts) {
    if (!facts) return CachedState{};
    return CachedState{facts->handle,  facts->style,      facts->exStyle,
                       facts->caption, facts->windowRect, facts->clientRect};
}

QString ShownClassName(const QString& rawClass) {
    static const char* const kSystemClasses[][2] = {
        {"#32768", "Menu (#32768)"},       {"#32769", "Desktop (#32769)"},
        {"#32770", "Dialog Box (#32770)"}, {"#32771", "Task Switcher (#32771)"},
        {"#32772", "Icon Title (#32772)"},
    };
    for (const auto& system : kSystemClasses) {
        if (rawClass == QLatin1String(system[0])) return system[1];
    }
    return rawClass;
}

std::optional<WindowFacts> CollectWindowFacts(platform::XWindow window) {
    if (!window) return std::nullopt;
    const auto state = platform::WindowStateOf(window);
    if (!state) return std::nullopt;
    const bool managed = platform::ManagedClientOf(window) == window;
    std::optional<platform::FrameExtents> frame;
    if (managed) frame = platform::FrameExtentsOf(window);

    WindowFacts facts;
    facts.handle = window;
    facts.className = ShownClassName(RawClassName(window));
    facts.caption = Caption(window);
    const StyleWords words = BuildStyles(window, *state, managed, frame);
    facts.style = words.style;
    facts.exStyle = words.exStyle;
    facts.parent = ParentOf(window, *state, managed);
    if (facts.parent) {
        facts.parentCaption = Caption(facts.parent);
        facts.parentClass = ShownClassName(RawClassName(facts.parent));
    }
    facts.topLevel = platform::TopLevelOf(window);
    if (facts.topLevel) facts.topLevelCaption = Caption(facts.topLevel);
    facts.clientRect = state->area;
    facts.framed = frame.has_value();
    if (frame) {
        facts.windowRect =
            state->area.adjusted(-frame->left, -frame->top, frame->right, frame->bottom);
    } else {
        const int b = state->borderWidth;
        facts.windowRect = state->area.adjusted(-b, -b, b, b);
    }
    // Read last: a window that vanished on the way fails here at the latest.
    const auto properties = platform::WindowProperties(window);
    if (!properties || !platform::WindowStateOf(window)) return std::nullopt;
    for (const auto& entry : *properties) facts.properties << PropertyText(entry);
    return facts;
}

int HitTestCode(QPoint point, const QRect& windowRect, const QRect& clientRect, bool framed) {
    if (clientRect.contains(point)) return HTCLIENT;
    if (!windowRect.contains(point)) return HTNOWHERE;
    if (!framed) return HTBORDER;  // the X border around an unframed window
    const int fl = windowRect.left(), ft = windowRect.top();
    const int fr = fl + windowRect.width(), fb = ft + windowRect.height();
    const int cl = clientRect.left(), ct = clientRect.top();
    const int cr = cl + clientRect.width(), cb = ct + clientRect.height();
    const int left = cl - fl, right = fr - cr, bottom = fb - cb;
    // The top extent holds a border as thick as the bottom one, the caption below it.
    const int top = std::min(ct - ft, bottom);
    const int x = point.x(), y = point.y();
    if (x < cl || x >= cr) {
        const bool onLeft = x < cl;
        if (y < ft + top + kCornerReach) return onLeft ? HTTOPLEFT : HTTOPRIGHT;
        if (y >= fb - bottom - kCornerReach) return onLeft ? HTBOTTOMLEFT : HTBOTTOMRIGHT;
        return onLeft ? HTLEFT : HTRIGHT;
    }
    if (y >= cb || y < ft + top) {
        const bool onBottom = y >= cb;
        if (x < fl + left + kCornerReach) return onBottom ? HTBOTTOMLEFT : HTTOPLEFT;
        if (x >= fr - right - kCornerReach) return onBottom ? HTBOTTOMRIGHT : HTTOPRIGHT;
        return onBottom ? HTBOTTOM : HTTOP;
    }
    return HTCAPTION;
}

QString RowValue(int attribute, const std::optional<WindowFacts>& facts, QPoint point) {
    if (!facts) return QString();
    const WindowFacts& f = *facts;
    switch (attribute) {
        case 0:
            return f.className;
        case 1:
            return Hex(f.handle);
        case 2:
            return f.caption;
        case 3:
            return QString();  // no class registration to read on X11
        case 4:
            return QString::fromStdString(DecodeStyle(WindowStyleNames(), f.style));
        case 5:
            return QString::fromStdString(DecodeStyle(ExtendedStyleNames(), f.exStyle));
        case 6:
            // No control on the display answers the extended-style messages: their answer is 0.
            return QString::fromStdString(DecodeControlStyles(f.className.toStdString(), f.style,
                                                              [](std::uint32_t) { return 0u; }));
        case 7:
            return f.properties.join(", ");
        case 8:
            return f.parent ? Hex(f.parent) : QString();
        case 9:
            return f.parentCaption;
        case 10:
            return f.parentClass;
        case 11:
            if (!f.topLevel || f.topLevel == f.handle) return QString();
            return f.topLevelCaption.isEmpty() ? Hex(f.topLevel)
                                               : Hex(f.topLevel) + " (" + f.topLevelCaption + ")";
        case 12:
            return RectText(f.windowRect);
        case 13:
            return RectText(f.clientRect);
        case 14:
            return QString::asprintf("0x%08X (%d)", 0u, 0);  // no control ids on X11
        case 15:
            return QString::fromStdString(
                HitTestCodeName(HitTestCode(point, f.windowRect, f.clientRect, f.framed)));
        default:
            return QString();
    }
}

}  // namespace inspector
