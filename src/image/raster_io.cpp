// Loading and saving: files, streams and memory blocks, dispatched on the type id.

#include "image/raster.h"

#include "image/codecs.h"
#include "image/file_stream.h"
#include "image/memory_stream.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kErrUnsupported = "Unsupported operation for this format";
constexpr const char* kErrNoStream = "invalid file pointer";
constexpr const char* kErrNoImage = "No image to save";

bool IsMultiFrameType(uint32_t type) {
    return type == kTypeGif || type == kTypeIco || type == kTypeTiff;
}

// The codec for `type`, or null with lastError set: unknown ids are unsupported, known ids whose
// codec is not built in say so.
const ImageCodec* CodecOrError(CRaster& image, uint32_t type, bool encoding) {
    const ImageCodec* codec = FindImageCodec(type);
    if (type >= kTypeCount) {
        image.SetLastError(kErrUnsupported);
        return nullptr;
    }
    if (!codec || !(encoding ? codec->encode != nullptr : codec->decode != nullptr)) {
        char text[64];
        std::snprintf(text, sizeof text, "%s codec not available", ImageFormatName(type));
        image.SetLastError(text);
        return nullptr;
    }
    return codec;
}

}  // namespace

const ImageCodec* FindImageCodec(uint32_t type) {
    for (const auto& codec : kImageCodecs) {
        if (codec.type == type) return &codec;
    }
    return nullptr;
}

const char* ImageFormatName(uint32_t type) {
    static const char* const kNames[kTypeCount] = {"BMP",  "GIF", "JPEG", "PNG",  "ICO",
                                                   "TIFF", "TGA", "PCX",  "WBMP", "WMF"};
    return type < kTypeCount ? kNames[type] : "image";
}

bool EncodeWmf(CRaster& image, CByteStream&) {
    image.SetLastError("Save WMF not supported");
    return false;
}

bool CRaster::Load(const char* path, uint32_t type) {
    CFileStream file;
    if (!path || !file.Open(path, "rb")) {
        SetLastError("Can't open file");
        return false;
    }
    return Decode(&file, type);
}

// The picture is written to a new file beside the target, which replaces the target only once it
// is complete: a refused or failed save never destroys the file that was there.
bool CRaster::Save(const char* path, uint32_t type) {
    if (!path) return false;
    static std::atomic<unsigned> counter{0};
    CFileStream file;
    std::string part;
    for (int attempt = 0; attempt < 100; ++attempt) {
        part = std::string(path) + ".part-" + std::to_string(getpid()) + "-" +
               std::to_string(counter++);
        if (file.Open(part.c_str(), "wbx")) break;
        if (errno != EEXIST) return false;
    }
    if (!file.GetFile()) return false;
    const bool encoded = Encode(&file, type);
    if (file.Close() && encoded && std::rename(part.c_str(), path) == 0) return true;
    std::remove(part.c_str());
    return false;
}

bool CRaster::Decode(CByteStream* stream, uint32_t type) {
    if (!stream) {
        SetLastError(kErrNoStream);
        return false;
    }
    const ImageCodec* codec = CodecOrError(*this, type, false);
    if (!codec) return false;
    CRaster decoded(type);
    decoded.SetFrame(info.frame);
    decoded.SetEscape(info.escape);
    if (codec->decode(decoded, *stream) && decoded.IsValid()) {
        Transfer(decoded);
        return true;
    }
    SetLastError(decoded.GetLastError());
    if (IsMultiFrameType(type)) info.frameCount = decoded.GetFrameCount();
    return false;
}

bool CRaster::Decode(std::FILE* file, uint32_t type) {
    if (!file) {
        SetLastError(kErrNoStream);
        return false;
    }
    CFileStream stream(file);
    return Decode(&stream, type);
}

bool CRaster::Decode(uint8_t* buffer, uint32_t size, uint32_t type) {
    if (!buffer) {
        SetLastError(kErrNoStream);
        return false;
    }
    CMemoryStream stream(buffer, size);
    return Decode(&stream, type);
}

bool CRaster::Encode(CByteStream* stream, uint32_t type) {
    if (!stream) {
        SetLastError(kErrNoStream);
        return false;
    }
    const ImageCodec* codec = CodecOrError(*this, type, true);
    if (!codec) return false;
    if (!IsValid() && type != kTypeWmf) {
        SetLastError(kErrNoImage);
        return false;
    }
    CRaster ghost(type);
    ghost.Ghost(this);
    if (codec->encode(ghost, *stream)) return true;
    SetLastError(ghost.GetLastError());
    return false;
}

bool CRaster::Encode(std::FILE* file, uint32_t type) {
    if (!file) {
        SetLastError(kErrNoStream);
        return false;
    }
    CFileStream stream(file);
    return Encode(&stream, type);
}

bool CRaster::Encode(uint8_t*& buffer, int32_t& size, uint32_t type) {
    if (buffer) return false;
    CMemoryStream stream;
    if (!stream.Open()) return false;
    if (!Encode(&stream, type)) return false;  // the stream frees its buffer
    size = static_cast<int32_t>(stream.Size());
    buffer = stream.GetBuffer();
    return true;
}

bool CRaster::Encode(CByteStream* stream, CRaster** images, int32_t count, uint32_t type) {
    if (!stream) {
        SetLastError(kErrNoStream);
        return false;
    }
    const ImageCodec* codec = CodecOrError(*this, type, true);
    if (!codec) return false;
    if (!codec->encodeFrames) {
        SetLastError(kErrUnsupported);
        return false;
    }
    CRaster report(type);
    if (codec->encodeFrames(report, *stream, images, count)) return true;
    SetLastError(report.GetLastError());
    return false;
}

bool CRaster::Encode(std::FILE* file, CRaster** images, int32_t count, uint32_t type) {
    if (!file) {
        SetLastError(kErrNoStream);
        return false;
    }
    CFileStream stream(file);
    return Encode(&stream, images, count, type);
}
