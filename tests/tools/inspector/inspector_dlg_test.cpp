#include "tools/inspector/inspector_dlg.h"

#include "ids.h"
#include "support/x11_input.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTreeWidget>

#include <gtest/gtest.h>

// Xlib last: its macros clash with names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <set>
#include <string>

namespace {

// Rows of the attributes the tests read.
enum Row {
    kClassRow = 0,
    kHandleRow = 2,
    kCaptionRow = 3,
    kStylesRow = 6,
    kExStylesRow = 7,
    kControlRow = 8,
    kPropertiesRow = 9,
    kParentRow = 11,
    kParentCaptionRow = 12,
    kParentClassRow = 13,
    kTopLevelRow = 15,
    kWindowRectRow = 17,
    kClientRectRow = 18,
    kControlIdRow = 20,
    kHitTestRow = 22
};

QString Hex(unsigned long window) {
    return QString::asprintf("0x%08X", static_cast<unsigned>(window));
}

bool Lists(const QString& names, const QString& name) {
    return (", " + names + ", ").contains(", " + name + ", ");
}

QString RectText(const QRect& r) {
    return QString::asprintf("(%d, %d) - (%d, %d), %d x %d", r.x(), r.y(), r.x() + r.width(),
                             r.y() + r.height(), r.width(), r.height());
}

// Another client of the display, whose windows the inspector looks at.
class OtherClient {
  public:
    OtherClient() : display_(XOpenDisplay(nullptr)) {}
    ~OtherClient() { XCloseDisplay(display_); }

    struct Options {
        const char* wmClass = nullptr;  // "instance\0Class"
        const char* name = nullptr;
        const char* type = nullptr;  // _NET_WM_WINDOW_TYPE_...
        Window transientFor = 0;
        Window parent = 0;  // a child window inside this one
        bool overrideRedirect = false;
    };

    Window Create(const QRect& rect, const Options& o) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = o.overrideRedirect;
        attributes.background_pixel = WhitePixel(display_, DefaultScreen(display_));
        attributes.event_mask = PropertyChangeMask;
        const Window parent = o.parent ? o.parent : DefaultRootWindow(display_);
        const Window w =
            XCreateWindow(display_, parent, rect.x(), rect.y(), rect.width(), rect.height(), 0,
                          CopyFromParent, InputOutput, CopyFromParent,
                          CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
        if (o.wmClass) {
            const int length = static_cast<int>(
                std::strlen(o.wmClass) + std::strlen(o.wmClass + std::strlen(o.wmClass) + 1) + 2);
            XChangeProperty(display_, w, XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(o.wmClass), length);
        }
        if (o.name) {
            XChangeProperty(display_, w, Intern("_NET_WM_NAME"), Intern("UTF8_STRING"), 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(o.name),
                            static_cast<int>(std::strlen(o.name)));
        }
        if (o.type) {
            const long type = static_cast<long>(Intern(o.type));
            XChangeProperty(display_, w, Intern("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(&type), 1);
        }
        if (o.transientFor) XSetTransientForHint(display_, w, o.transientFor);
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = rect.x();
        hints.y = rect.y();
        hints.width = rect.width();
        hints.height = rect.height();
        XSetWMNormalHints(display_, w, &hints);
        XMapWindow(display_, w);
        XSync(display_, False);
        return w;
    }

    // Waits for the window manager to frame a top-level window (its PropertyNotify of the frame
    // extents) and for the window to be where the pointer would find it.
    bool WaitFramed(Window w) {
        return testx11::PumpUntil([&] {
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == PropertyNotify &&
                    event.xproperty.atom == Intern("_NET_FRAME_EXTENTS"))
                    framed_.insert(event.xproperty.window);
            }
            return framed_.count(w) && platform::WindowAtPoint(Center(w)) == w;
        });
    }

    bool WaitShown(Window w) {
        return testx11::PumpUntil([&] { return platform::WindowAtPoint(Center(w)) == w; });
    }

    QPoint Center(Window w) { return testx11::WindowScreenRect(w).center(); }

    // The window's own area and the frame the window manager put around it.
    QRect FrameRect(Window w) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        QRect rect = testx11::WindowScreenRect(w);
        if (XGetWindowProperty(display_, w, Intern("_NET_FRAME_EXTENTS"), 0, 4, False, XA_CARDINAL,
                               &type, &format, &count, &after, &data) == Success &&
            count == 4) {
            const long* e = reinterpret_cast<const long*>(data);
            rect.adjust(-static_cast<int>(e[0]), -static_cast<int>(e[2]), static_cast<int>(e[1]),
                        static_cast<int>(e[3]));
        }
        if (data) XFree(data);
        return rect;
    }

    void Destroy(Window w) {
        XDestroyWindow(display_, w);
        XSync(display_, False);
    }

    Atom Intern(const char* name) { return XInternAtom(display_, name, False); }

  private:
    Display* display_;
    std::set<Window> framed_;
};

class InspectorTest : public ::testing::Test {
  protected:
    QString Value(int row) { return rows()->topLevelItem(row)->text(1); }
    QTreeWidget* rows() {
        return inspector.findChild<QTreeWidget*>("id" + QString::number(ids::kInspectorRows));
    }
    QComboBox* classes() {
        return inspector.findChild<QComboBox*>("id" + QString::number(ids::kInspectorClass));
    }
    void InspectAt(QPoint point) {
        inspector.SetPoint(point);
        inspector.Refresh();
    }

    OtherClient client;
    CInspectorDlg inspector;
};

}  // namespace

TEST_F(InspectorTest, FramedTopLevelAndItsNativeChild) {
    const Window top = client.Create(QRect(120, 140, 320, 200),
                                     {.wmClass = "probe\0QuilletProbe", .name = "Probe Window"});
    const Window child =
        client.Create(QRect(20, 30, 100, 40), {.wmClass = "probe\0button", .parent = top});
    ASSERT_TRUE(client.WaitFramed(top));

    InspectAt(client.Center(top) + QPoint(100, 60));
    EXPECT_EQ(Value(kClassRow), "QuilletProbe");
    EXPECT_EQ(Value(kHandleRow), Hex(top));
    EXPECT_EQ(Value(kCaptionRow), "Probe Window");
    EXPECT_EQ(inspector.windowTitle(), "Quillet - Probe Window");
    const QString styles = Value(kStylesRow);
    for (const char* name :
         {"WS_OVERLAPPED", "WS_VISIBLE", "WS_CAPTION", "WS_SYSMENU", "WS_THICKFRAME"})
        EXPECT_TRUE(Lists(styles, name)) << name << " in " << styles.toStdString();
    EXPECT_FALSE(Lists(styles, "WS_CHILD"));
    EXPECT_FALSE(Lists(styles, "WS_POPUP"));
    EXPECT_EQ(Value(kExStylesRow),
              "WS_EX_LEFT, WS_EX_LTRREADING, WS_EX_RIGHTSCROLLBAR, WS_EX_APPWINDOW");
    EXPECT_EQ(Value(kControlRow), "");
    // WM_CLASS holds "probe\0QuilletProbe\0": 19 bytes.
    EXPECT_TRUE(Lists(Value(kPropertiesRow), "Atom: WM_CLASS:0x00000013 (19)"))
        << Value(kPropertiesRow).toStdString();
    EXPECT_TRUE(Lists(Value(kPropertiesRow), "Atom: _NET_WM_NAME:0x0000000C (12)"));
    EXPECT_EQ(Value(kParentRow), "");
    EXPECT_EQ(Value(kTopLevelRow), "");
    EXPECT_EQ(Value(kClientRectRow), RectText(testx11::WindowScreenRect(top)));
    EXPECT_EQ(Value(kWindowRectRow), RectText(client.FrameRect(top)));
    EXPECT_EQ(Value(kControlIdRow), "0x00000000 (0)");
    EXPECT_EQ(Value(kHitTestRow), "HTCLIENT");
    EXPECT_EQ(classes()->currentIndex(), -1);
    EXPECT_TRUE(classes()->isEnabled());

    InspectAt(client.Center(child));
    EXPECT_EQ(Value(kHandleRow), Hex(child));
    EXPECT_EQ(Value(kClassRow), "button");
    EXPECT_EQ(classes()->currentText(), "Button");  // prefix search without regard to case
    EXPECT_TRUE(Lists(Value(kStylesRow), "WS_CHILD"));
    EXPECT_FALSE(Lists(Value(kExStylesRow), "WS_EX_APPWINDOW"));
    EXPECT_EQ(Value(kControlRow), "BS_PUSHBUTTON, BS_TEXT");
    EXPECT_EQ(Value(kParentRow), Hex(top));
    EXPECT_EQ(Value(kParentCaptionRow), "Probe Window");
    EXPECT_EQ(Value(kParentClassRow), "QuilletProbe");
    EXPECT_EQ(Value(kTopLevelRow), Hex(top) + " (Probe Window)");
    EXPECT_EQ(Value(kWindowRectRow), Value(kClientRectRow));
}

TEST_F(InspectorTest, TransientDialogAndOverrideRedirectMenu) {
    // Texts are read into 256 characters, class names into 28.
    const std::string longName(300, 'n');
    const Window owner = client.Create(
        QRect(60, 80, 400, 300),
        {.wmClass = "owner\0OwnerWithAClassNameLongerThanItsBuffer", .name = longName.c_str()});
    ASSERT_TRUE(client.WaitFramed(owner));
    const Window dialog = client.Create(
        QRect(160, 180, 200, 120),
        {.name = "Question", .type = "_NET_WM_WINDOW_TYPE_DIALOG", .transientFor = owner});
    ASSERT_TRUE(client.WaitFramed(dialog));

    InspectAt(client.Center(dialog));
    EXPECT_EQ(Value(kClassRow), "Dialog Box (#32770)");
    EXPECT_EQ(classes()->currentText(), "Dialog Box (#32770)");
    EXPECT_EQ(Value(kParentRow), Hex(owner));
    EXPECT_EQ(Value(kParentClassRow), "OwnerWithAClassNameLongerTha");
    EXPECT_EQ(Value(kParentCaptionRow), QString(255, 'n'));
    EXPECT_EQ(Value(kTopLevelRow), "");

    const Window menu =
        client.Create(QRect(500, 90, 120, 160),
                      {.type = "_NET_WM_WINDOW_TYPE_POPUP_MENU", .overrideRedirect = true});
    ASSERT_TRUE(client.WaitShown(menu));
    InspectAt(client.Center(menu));
    EXPECT_EQ(Value(kClassRow), "Menu (#32768)");
    EXPECT_EQ(inspector.windowTitle(), "Quillet - Menu (#32768)");
    EXPECT_EQ(Value(kStylesRow), "WS_OVERLAPPED, WS_POPUP, WS_VISIBLE");
    EXPECT_EQ(Value(kExStylesRow), "WS_EX_LEFT, WS_EX_LTRREADING, WS_EX_RIGHTSCROLLBAR");
    EXPECT_EQ(Value(kParentRow), "");
    EXPECT_EQ(Value(kWindowRectRow), RectText(QRect(500, 90, 120, 160)));
}

TEST_F(InspectorTest, PointsOnTheFrameBelongToTheClient) {
    const Window top =
        client.Create(QRect(200, 200, 300, 200), {.wmClass = "f\0Framed", .name = "Framed"});
    ASSERT_TRUE(client.WaitFramed(top));
    const QRect frame = client.FrameRect(top);
    const QRect area = testx11::WindowScreenRect(top);
    ASSERT_NE(frame, area) << "the window manager put no frame around the window";

    InspectAt(QPoint(frame.x() + frame.width() - 1, frame.y() + frame.height() - 1));
    EXPECT_EQ(Value(kHandleRow), Hex(top));
    EXPECT_EQ(Value(kHitTestRow), "HTSIZELAST");
    // The hit-test row follows a new point only once the window changes or the refresh is forced.
    inspector.SetPoint(QPoint(area.center().x(), area.y() - 3));
    inspector.Refresh(true);
    EXPECT_EQ(Value(kHitTestRow), "HTCAPTION");
}

TEST_F(InspectorTest, VanishedWindowShowsAsNone) {
    const Window top =
        client.Create(QRect(150, 150, 200, 150), {.wmClass = "gone\0Gone", .name = "Gone"});
    ASSERT_TRUE(client.WaitFramed(top));
    InspectAt(client.Center(top));
    ASSERT_EQ(Value(kHandleRow), Hex(top));

    client.Destroy(top);
    inspector.ShowWindowInfo(top);
    for (int row = 0; row < inspector::kRowCount; ++row) EXPECT_EQ(Value(row), "") << "row " << row;
    EXPECT_EQ(inspector.windowTitle(), "Quillet");
    EXPECT_FALSE(classes()->isEnabled());
    EXPECT_EQ(classes()->currentIndex(), -1);
}

TEST_F(InspectorTest, UnchangedWindowRewritesNoRow) {
    const Window first =
        client.Create(QRect(100, 100, 200, 150), {.wmClass = "a\0First", .name = "First"});
    const Window second =
        client.Create(QRect(400, 100, 200, 150), {.wmClass = "b\0Second", .name = "Second"});
    ASSERT_TRUE(client.WaitFramed(first));
    ASSERT_TRUE(client.WaitFramed(second));
    InspectAt(client.Center(first));

    QSignalSpy changes(rows()->model(), &QAbstractItemModel::dataChanged);
    InspectAt(client.Center(first) + QPoint(10, 10));
    EXPECT_EQ(changes.count(), 0);
    InspectAt(client.Center(second));
    EXPECT_GT(changes.count(), 0);
    EXPECT_EQ(Value(kCaptionRow), "Second");
}

TEST_F(InspectorTest, PlacedAtTheTopRightCornerWithItsRows) {
    InspectAt(QPoint(0, 500));  // nothing there but the root
    EXPECT_EQ(Value(kHandleRow), Hex(platform::RootWindowId()));
    EXPECT_EQ(classes()->currentText(), "Desktop (#32769)");

    ASSERT_EQ(rows()->topLevelItemCount(), inspector::kRowCount);
    EXPECT_EQ(rows()->topLevelItem(0)->text(0), "Class Name");
    EXPECT_EQ(rows()->topLevelItem(1)->data(0, Qt::UserRole).toInt(), -1);
    EXPECT_EQ(rows()->topLevelItem(22)->text(0), "Hit-Test Result");
    EXPECT_EQ(rows()->topLevelItem(22)->data(0, Qt::UserRole).toInt(), 15);
    EXPECT_EQ(classes()->count(), 32);
    EXPECT_EQ(classes()->itemText(0), "Button");

    inspector.show();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(testx11::PumpUntil([&] {
        const QRect frame = inspector.frameGeometry();
        return frame != inspector.geometry() && frame.right() == screen.right() &&
               frame.top() == screen.top();
    })) << inspector.frameGeometry().x()
        << "," << inspector.frameGeometry().y();
}
