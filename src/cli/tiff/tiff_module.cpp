// The TIFF codec for quillet-tool, with libtiff: loaded only when a TIFF file is read or written.
// Built with hidden symbols, so that its codec functions are its own and not the tool's stand-ins
// of the same names.
#include "image/codecs.h"

extern "C" __attribute__((visibility("default"))) void QuilletToolTiffCodec(
    DecodeFunction* decode, EncodeFunction* encode, EncodeFramesFunction* encodeFrames) {
    *decode = DecodeTiff;
    *encode = EncodeTiff;
    *encodeFrames = EncodeTiffFrames;
}
