// Loading and saving: files, streams and memory blocks, dispatched on the type id.

#include "image/raster.h"

#include "image/codecs.h"
#include "image/file_stream.h"
#include "image/memory_stream.h"
#include "platform/replacing_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
// is complete: a refused or failed save never destroys the file that was there. The new file keeps
// the old one's permission bits. A name that is a symbolic link is followed, as cp follows it: the
// file the link points to is replaced and the link stays; a link to nothing is refused.
bool CRaster::Save(const char* path, uint32_t type) {
    if (!path) return false;
    std::string target = path;
    struct stat info {};
    if (lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) {
        char* resolved = realpath(path, nullptr);
        if (!resolved) {
            SetLastError("Can't save through a link to nothing");
            return false;
        }
        target = resolved;
        std::free(resolved);
    }
    // A file this process may not write (read-only, another user's) is never replaced. As with a
    // file that cannot be opened, lastError stays as it was; errno says why for the caller.
    if (const int refusal = platform::ReplaceRefusal(target)) {
        errno = refusal;
        return false;
    }
    const mode_t permissions = platform::ReplacementPermissions(target);
    platform::CReplacingFile file;
    if (!file.Open(target)) return false;
    CFileStream stream(file.file());
    return Encode(&stream, type) && file.Commit(permissions, false);
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
