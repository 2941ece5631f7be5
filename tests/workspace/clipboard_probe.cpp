// A second program on the test display for clipboard round trips.
//   clipboard_probe get MIME OUTFILE   waits (up to 5 s) until the clipboard offers MIME, writes
//                                      its bytes to OUTFILE; exit 1 when it never does.
//   clipboard_probe set MIME INFILE    offers INFILE's bytes as MIME, prints "ready", and serves
//                                      them until another program takes the clipboard (or 30 s).
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    QGuiApplication app(argc, argv);
    const QString mime = QString::fromLocal8Bit(argv[2]);
    const QString file = QString::fromLocal8Bit(argv[3]);
    QClipboard* clipboard = QGuiApplication::clipboard();

    if (std::strcmp(argv[1], "get") == 0) {
        for (int waited = 0; waited < 5000; waited += 50) {
            const QMimeData* data = clipboard->mimeData();
            if (data && data->hasFormat(mime)) {
                QFile out(file);
                if (!out.open(QIODevice::WriteOnly)) return 1;
                out.write(data->data(mime));
                return 0;
            }
            QTimer::singleShot(50, &app, &QCoreApplication::quit);
            app.exec();
        }
        return 1;
    }
    if (std::strcmp(argv[1], "set") == 0) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly)) return 1;
        auto* data = new QMimeData;
        data->setData(mime, in.readAll());
        clipboard->setMimeData(data);
        QObject::connect(clipboard, &QClipboard::dataChanged, &app, [clipboard, &app] {
            if (!clipboard->ownsClipboard()) app.quit();
        });
        QTimer::singleShot(30000, &app, &QCoreApplication::quit);
        std::printf("ready\n");
        std::fflush(stdout);
        return app.exec();
    }
    return 2;
}
