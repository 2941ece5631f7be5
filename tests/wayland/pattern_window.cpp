// A full-screen window on every output, each showing the same pattern in its output's device
// pixels (wayland_pattern.h); prints "ready" once every window has been drawn. With --windowed,
// one ordinary window the size of the first output instead, which other windows can lie over
// (a full-screen one hides them).
#include "wayland/wayland_pattern.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

class PatternWindow : public QWidget {
  public:
    PatternWindow() { setAttribute(Qt::WA_OpaquePaintEvent); }
    bool painted = false;

  protected:
    void paintEvent(QPaintEvent*) override {
        const qreal ratio = devicePixelRatio();
        const QSize device(qRound(width() * ratio), qRound(height() * ratio));
        QImage picture(device, QImage::Format_RGB32);
        for (int y = 0; y < device.height(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(picture.scanLine(y));
            for (int x = 0; x < device.width(); ++x) row[x] = waylandtest::PatternPixel(x, y);
        }
        picture.setDevicePixelRatio(ratio);
        QPainter(this).drawImage(0, 0, picture);
        painted = true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool windowed = QCoreApplication::arguments().contains("--windowed");
    std::vector<std::unique_ptr<PatternWindow>> windows;
    for (QScreen* screen : QGuiApplication::screens()) {
        auto window = std::make_unique<PatternWindow>();
        window->setWindowTitle("pattern " + screen->name());
        window->setScreen(screen);
        window->setGeometry(screen->geometry());
        if (windowed) {
            window->show();
            windows.push_back(std::move(window));
            break;
        }
        window->showFullScreen();
        windows.push_back(std::move(window));
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (const auto& window : windows)
            if (!window->painted) return;
        poll.stop();
        // The compositor shows a new frame after the commit: give it a moment.
        QTimer::singleShot(300, [] {
            std::printf("ready\n");
            std::fflush(stdout);
        });
    });
    poll.start(50);
    return app.exec();
}
