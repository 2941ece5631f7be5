// The slot through which the metafile player of the Qt bridge reads WMF and EMF files.

#include "image/codecs.h"

#include <atomic>

namespace {
std::atomic<DecodeFunction> installedDecoder{nullptr};
}

void SetMetafileDecoder(DecodeFunction decoder) {
    installedDecoder.store(decoder);
}

bool DecodeWmf(CRaster& image, CByteStream& stream) {
    const DecodeFunction decoder = installedDecoder.load();
    if (!decoder) {
        image.SetLastError("WMF codec not available");
        return false;
    }
    return decoder(image, stream);
}
