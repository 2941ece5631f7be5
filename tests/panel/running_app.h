#pragma once

// The whole program started inside the test process, in a working folder of its own.
#include "app/quillet_app.h"
#include "support/temp_folder.h"
#include "support/x11_input.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

struct RunningApp : ::testing::Test {
    void SetUp() override {
        folder = std::make_unique<CurrentFolder>(home.path());
        ASSERT_TRUE(App()->InitInstance());
        testx11::Pump(300);
    }
    void TearDown() override {
        App()->ExitInstance(0);
        folder.reset();
    }
    bool WaitForFile(const QString& name, int timeoutMs = 8000) {
        return testx11::PumpUntil([&] { return home.Exists(name); }, timeoutMs);
    }
    QImage LoadCapture(const QString& name);

    TempFolder home;
    std::unique_ptr<CurrentFolder> folder;
};

// A plain window above the others showing a known picture.
class PictureWindow : public QWidget {
  public:
    PictureWindow(const QImage& picture, QPoint at)
        : QWidget(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint),
          picture_(picture) {
        setGeometry(QRect(at, picture.size()));
    }
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, picture_); }

  private:
    QImage picture_;
};

QImage TestPattern(int width, int height);
