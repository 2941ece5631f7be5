// TIFF for quillet-tool: the codec and libtiff (with its many compression libraries) live in a
// module, loaded on the first TIFF read or write. These stand in for the codec's functions in the
// image library's format table.
#include "cli/tool_module.h"
#include "image/codecs.h"

namespace {

struct TiffCodec {
    DecodeFunction decode = nullptr;
    EncodeFunction encode = nullptr;
    EncodeFramesFunction encodeFrames = nullptr;
};

const TiffCodec* Codec(CRaster& image) {
    static const TiffCodec codec = [] {
        TiffCodec loaded;
        using Entry = void (*)(DecodeFunction*, EncodeFunction*, EncodeFramesFunction*);
        if (const auto entry = reinterpret_cast<Entry>(
                cli::ModuleEntry("quillet-tool-tiff.so", "QuilletToolTiffCodec")))
            entry(&loaded.decode, &loaded.encode, &loaded.encodeFrames);
        return loaded;
    }();
    if (codec.decode && codec.encode && codec.encodeFrames) return &codec;
    image.SetLastError("TIFF codec not available");
    return nullptr;
}

}  // namespace

bool DecodeTiff(CRaster& image, CByteStream& stream) {
    const TiffCodec* codec = Codec(image);
    return codec && codec->decode(image, stream);
}

bool EncodeTiff(CRaster& image, CByteStream& stream) {
    const TiffCodec* codec = Codec(image);
    return codec && codec->encode(image, stream);
}

bool EncodeTiffFrames(CRaster& report, CByteStream& stream, CRaster** images, int32_t count) {
    const TiffCodec* codec = Codec(report);
    return codec && codec->encodeFrames(report, stream, images, count);
}
