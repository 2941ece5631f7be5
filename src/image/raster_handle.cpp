// Packed DIB blocks as the clipboard carries them.

#include "image/raster.h"

#include "image/dib_reader.h"
#include "image/memory_stream.h"

#include <cstring>

std::vector<uint8_t> CRaster::CopyToHandle() const {
    if (!dib) return {};
    return std::vector<uint8_t>(dib, dib + GetSize());
}

bool CRaster::CreateFromHANDLE(const uint8_t* block, size_t size) {
    if (!block || size < kInfoHeaderSize) return false;
    // The reader only reads; the stream never writes into a borrowed buffer.
    CMemoryStream stream(const_cast<uint8_t*>(block), size);
    CRaster image(kTypeBmp);
    if (!ReadDib(image, stream, -1, kTypeBmp)) {
        SetLastError(image.GetLastError());
        return false;
    }
    // The image keeps its own record; only what the block describes changes.
    RasterInfo kept = info;
    Transfer(image);
    kept.effectiveWidth = info.effectiveWidth;
    kept.bits = info.bits;
    kept.ghostOf = info.ghostOf;
    kept.type = kTypeBmp;
    kept.xDpi = info.xDpi;
    kept.yDpi = info.yDpi;
    info = kept;
    return true;
}
