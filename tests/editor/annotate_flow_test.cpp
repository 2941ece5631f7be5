// The real program: a screenshot opened in the editor is marked up from the keyboard and the
// mouse (arrow, box, two numbered steps, a pixelated area, one undo), saved as PNG, and the file
// read back here holds exactly what the screen showed.
#include "support/program_run.h"
#include "support/temp_folder.h"
#include "support/x11_input.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

void Xdotool(const QStringList& arguments) {
    QProcess::execute("xdotool", arguments);
    testx11::Pump(120);
}

void DragOnScreen(QPoint from, QPoint to) {
    Xdotool({"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1"});
    for (int step = 1; step <= 4; ++step) {
        const QPoint at = from + (to - from) * step / 4;
        Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
    }
    Xdotool({"mouseup", "1"});
}

void ClickOnScreen(QPoint at) {
    Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

// A picture no desktop shows by chance: a gradient with a magenta and cyan mark in its corner.
QImage Screenshot() {
    QImage image(320, 220, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, 60 + y / 2, 150));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            image.setPixel(x, y, qRgb(255, 0, 255));
            image.setPixel(x + 4, y, qRgb(0, 255, 255));
        }
    }
    return image;
}

// Where the picture's top-left pixel is on the screen, or (-1, -1).
QPoint FindOnScreen(const QImage& screen) {
    for (int y = 0; y + 4 < screen.height(); ++y) {
        for (int x = 0; x + 8 < screen.width(); ++x) {
            if (screen.pixel(x, y) == qRgb(255, 0, 255) &&
                screen.pixel(x + 3, y + 3) == qRgb(255, 0, 255) &&
                screen.pixel(x + 4, y) == qRgb(0, 255, 255) &&
                (x == 0 || screen.pixel(x - 1, y) != qRgb(255, 0, 255)) &&
                (y == 0 || screen.pixel(x, y - 1) != qRgb(255, 0, 255)))
                return QPoint(x, y);
        }
    }
    return QPoint(-1, -1);
}

TEST(AnnotateFlow, MarkedUpScreenshotIsSavedAsTheScreenShowsIt) {
    if (QProcess::execute("xdotool", {"version"}) != 0) GTEST_SKIP() << "xdotool is missing";
    TempFolder home;
    const QImage original = Screenshot();
    ASSERT_TRUE(original.save(home.File("shot.png")));
    ProgramRun program(home);
    ASSERT_TRUE(program.Start());
    QProcess open;
    open.setProcessEnvironment(program.process().processEnvironment());
    open.setWorkingDirectory(home.path());
    open.start(QUILLET_BINARY, {"--open", "shot.png"});
    ASSERT_TRUE(open.waitForFinished(20000));

    QPoint at(-1, -1);
    ASSERT_TRUE(testx11::PumpUntil(
        [&] { return (at = FindOnScreen(testx11::GrabScreen())).x() >= 0; }, 15000))
        << "the picture never showed in the editor";
    // The editor takes the keys once it has been clicked (a click on the picture crops nothing).
    ClickOnScreen(at + QPoint(300, 200));

    Xdotool({"key", "a"});
    DragOnScreen(at + QPoint(30, 180), at + QPoint(140, 70));
    Xdotool({"key", "r"});
    DragOnScreen(at + QPoint(150, 40), at + QPoint(290, 110));
    Xdotool({"key", "n"});
    ClickOnScreen(at + QPoint(60, 40));
    ClickOnScreen(at + QPoint(260, 160));
    Xdotool({"key", "x"});
    DragOnScreen(at + QPoint(170, 130), at + QPoint(250, 200));
    // The screen as it settles (a slow build may take a while to catch up with the input).
    const QPoint probe(210, 185);
    QImage pixelated;
    EXPECT_TRUE(testx11::PumpUntil([&] {
        pixelated = testx11::GrabScreen(QRect(at, original.size()));
        return pixelated.pixel(probe) != original.pixel(probe);
    }));
    Xdotool({"key", "ctrl+z"});  // the pixelated area goes
    QImage shown;
    EXPECT_TRUE(testx11::PumpUntil([&] {
        shown =
            testx11::GrabScreen(QRect(at, original.size())).convertToFormat(QImage::Format_RGB32);
        return shown.pixel(probe) == original.pixel(probe);
    }));

    const QDateTime before = QFileInfo(home.File("shot.png")).lastModified();
    Xdotool({"key", "ctrl+s"});
    ASSERT_TRUE(testx11::PumpUntil(
        [&] { return QFileInfo(home.File("shot.png")).lastModified() != before; }, 10000));
    testx11::Pump(300);
    const QImage saved = QImage(home.File("shot.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(saved.size(), original.size());

    int differences = 0, marked = 0;
    for (int y = 0; y < saved.height(); ++y) {
        for (int x = 0; x < saved.width(); ++x) {
            differences += saved.pixel(x, y) != shown.pixel(x, y);
            marked += saved.pixel(x, y) != original.pixel(x, y);
        }
    }
    EXPECT_EQ(differences, 0) << "the file holds what the screen showed";
    EXPECT_GT(marked, 1500) << "arrow, box and steps are in the file";
    // The pixelated area was there on the screen, and is gone from the file with its undo.
    EXPECT_EQ(saved.pixel(probe), original.pixel(probe));
    // Two numbered circles in the default red.
    EXPECT_NE(saved.pixel(60, 40), original.pixel(60, 40));
    EXPECT_NE(saved.pixel(260, 160), original.pixel(260, 160));

    QProcess quit;
    quit.setProcessEnvironment(program.process().processEnvironment());
    quit.setWorkingDirectory(home.path());
    quit.start(QUILLET_BINARY, {"--quit"});
    quit.waitForFinished(20000);
    EXPECT_EQ(program.WaitForExit(), 0);
}

}  // namespace
