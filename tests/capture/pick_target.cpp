// Another program for the picking tests: windows with known fill colours.
//   --frame X Y    a managed 400 x 300 red window with a native blue child (40, 40, 120 x 80) and a
//                  combo box (40, 180, 160 x 28); prints "child ID" and "combo X Y W H" (screen)
//   --transient    with --frame: a green 160 x 100 dialog owned by the red window, over it
//   --bare X Y     an unmanaged 200 x 150 window showing Pattern(x, y)
// Prints "ready" once everything is on the screen, and "popup X Y W H" when the combo's list
// opens.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

void Say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString RectText(const QRect& r) {
    return QString("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

class Filled : public QWidget {
  public:
    Filled(QColor colour, QWidget* parent = nullptr, Qt::WindowFlags flags = {})
        : QWidget(parent, flags), colour_(colour) {}
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), colour_); }

  private:
    QColor colour_;
};

class Patterned : public QWidget {
  public:
    Patterned() : QWidget(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint) {}
    void paintEvent(QPaintEvent*) override {
        QImage image(size(), QImage::Format_RGB32);
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                image.setPixel(x, y, qRgb((x * 3) & 255, (y * 5) & 255, 90));
        QPainter(this).drawImage(0, 0, image);
    }
};

class Combo : public QComboBox {
  public:
    using QComboBox::QComboBox;
    void showPopup() override {
        QComboBox::showPopup();
        QTimer::singleShot(300, this, [this] {
            const QWidget* list = view()->window();
            Say("popup " + RectText(QRect(list->mapToGlobal(QPoint(0, 0)), list->size())));
        });
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    std::unique_ptr<QWidget> main;
    std::unique_ptr<QDialog> transient;
    std::unique_ptr<Patterned> bare;

    if (const int i = args.indexOf("--frame"); i > 0 && i + 2 < args.size()) {
        main = std::make_unique<Filled>(QColor(220, 30, 30));
        main->setWindowTitle("pick target");
        main->setGeometry(args[i + 1].toInt(), args[i + 2].toInt(), 400, 300);
        auto* child = new Filled(QColor(30, 40, 220), main.get());
        child->setGeometry(40, 40, 120, 80);
        child->setAttribute(Qt::WA_NativeWindow);
        auto* combo = new Combo(main.get());
        combo->setGeometry(40, 180, 160, 28);
        for (int n = 1; n <= 8; ++n) combo->addItem(QString("Item %1").arg(n));
        main->show();
        Say(QString("child %1").arg(child->winId()));
        QTimer::singleShot(400, combo, [combo] {
            Say("combo " + RectText(QRect(combo->mapToGlobal(QPoint(0, 0)), combo->size())));
        });
        if (args.contains("--transient")) {
            transient = std::make_unique<QDialog>(main.get());
            transient->setWindowTitle("owned");
            transient->setStyleSheet("background: rgb(30, 200, 60);");
            transient->setGeometry(main->x() + 220, main->y() + 150, 160, 100);
            transient->show();
        }
    }
    if (const int i = args.indexOf("--bare"); i > 0 && i + 2 < args.size()) {
        bare = std::make_unique<Patterned>();
        bare->setGeometry(args[i + 1].toInt(), args[i + 2].toInt(), 200, 150);
        bare->show();
    }
    QTimer::singleShot(500, [] { Say("ready"); });
    return app.exec();
}
