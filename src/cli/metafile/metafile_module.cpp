// The part of quillet-tool that needs Qt: the metafile player and its painter. Loaded only when a
// WMF or EMF file is read, so every other command starts without Qt. The image library's symbols
// come from the tool itself.
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

#include "image/codecs.h"
#include "image/qt/metafile/metafile_player.h"

namespace {

// The player draws text, so fonts need an application object; its screen gives the dots per
// inch of placeable metafiles. Without a display it draws off screen.
void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    // Qt's own notes (run-time folder, fonts) are no business of a script's stderr.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    if ((!platform || !*platform) && (!display || !*display))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "quillet-tool";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}

bool Decode(CRaster& image, CByteStream& stream) {
    EnsureApplication();
    return DecodeMetafile(image, stream);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) DecodeFunction QuilletToolMetafileDecoder() {
    return Decode;
}
