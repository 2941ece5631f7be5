#include "image/raster.h"

#include "image/block_memory.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

int RasterTypeFromPath(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return -1;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const struct {
        const char* ext;
        int type;
    } kExtensions[] = {{"bmp", kTypeBmp},   {"gif", kTypeGif},   {"jpg", kTypeJpeg},
                       {"jpeg", kTypeJpeg}, {"png", kTypePng},   {"ico", kTypeIco},
                       {"tif", kTypeTiff},  {"tiff", kTypeTiff}, {"tga", kTypeTga},
                       {"pcx", kTypePcx}};
    for (const auto& e : kExtensions) {
        if (ext == e.ext) return e.type;
    }
    return -1;
}

// --- construction and lifetime ---

CRaster::CRaster(uint32_t type) {
    Startup(type);
}

CRaster::CRaster(uint32_t width, uint32_t height, uint32_t bpp, uint32_t type) {
    Startup(type);
    Create(width, height, bpp, type);
}

CRaster::CRaster(const CRaster& src, bool copyPixels, bool copySelection, bool copyAlpha) {
    Startup(src.GetType());
    Copy(src, copyPixels, copySelection, copyAlpha);
}

CRaster::CRaster(const char* path, uint32_t type) {
    Startup(type);
    Load(path, type);
}

CRaster::CRaster(CByteStream* stream, uint32_t type) {
    Startup(type);
    Decode(stream, type);
}

CRaster::CRaster(std::FILE* file, uint32_t type) {
    Startup(type);
    Decode(file, type);
}

CRaster::CRaster(uint8_t* buffer, uint32_t size, uint32_t type) {
    Startup(type);
    Decode(buffer, size, type);
}

CRaster::~CRaster() {
    Destroy();
}

CRaster& CRaster::operator=(const CRaster& src) {
    if (this != &src) Copy(src, true, true, true);
    return *this;
}

void CRaster::Startup(uint32_t type) {
    Destroy();
    dib = nullptr;
    selection = nullptr;
    alpha = nullptr;
    header = BITMAPINFOHEADER{};
    info = RasterInfo{};
    header.biSize = kInfoHeaderSize;
    info.type = type;
    info.encodeQuality = 75;
    info.alphaMax = 255;
    info.backgroundIndex = -1;
    info.enabled = true;
    SetXDPI(72);
    SetYDPI(72);
}

// Drops buffers this object does not own (a ghost's), so that it can hold its own again.
static void ForgetBorrowed(RasterInfo& info, uint8_t*& dib, uint8_t*& selection, uint8_t*& alpha) {
    if (!info.ghostOf) return;
    dib = selection = alpha = nullptr;
    info.ghostOf = nullptr;
    info.bits = nullptr;
}

uint8_t* CRaster::Create(uint32_t width, uint32_t height, uint32_t bpp, uint32_t type) {
    Destroy();
    ForgetBorrowed(info, dib, selection, alpha);
    info.bits = nullptr;
    info.effectiveWidth = 0;
    if (width == 0 || height == 0) return nullptr;

    const uint32_t depth = bpp <= 1 ? 1 : bpp <= 4 ? 4 : bpp <= 8 ? 8 : 24;
    const uint32_t colors = depth == 24 ? 0 : 1u << depth;
    const uint64_t effWidth = ((uint64_t{width} * depth + 31) / 32) * 4;
    const uint64_t imageSize = effWidth * height;
    const uint64_t total = kInfoHeaderSize + uint64_t{colors} * 4 + imageSize;
    if (uint64_t{width} * height > kMaxRasterPixels || total > kMaxRasterBlock) return nullptr;

    uint8_t* block = AllocateZeroedBlock(static_cast<size_t>(total));
    if (!block) return nullptr;

    header.biSize = kInfoHeaderSize;
    header.biWidth = static_cast<int32_t>(width);
    header.biHeight = static_cast<int32_t>(height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(depth);
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<uint32_t>(imageSize);
    header.biClrUsed = colors;
    header.biClrImportant = 0;
    info.type = type;
    info.effectiveWidth = static_cast<uint32_t>(effWidth);
    dib = block;
    StoreHeader();
    info.bits = dib + kInfoHeaderSize + colors * 4;
    return dib;
}

void CRaster::StoreHeader() {
    if (dib) StoreInfoHeader(dib, header);
}

bool CRaster::Destroy() {
    if (info.ghostOf || !dib) return false;
    std::free(selection);
    std::free(alpha);
    std::free(dib);
    selection = alpha = dib = nullptr;
    info.bits = nullptr;
    return true;
}

void CRaster::Copy(const CRaster& src, bool copyPixels, bool copySelection, bool copyAlpha) {
    if (&src == this) return;
    Destroy();
    ForgetBorrowed(info, dib, selection, alpha);
    info = src.info;
    info.ghostOf = nullptr;
    info.bits = nullptr;
    header.biXPelsPerMeter = src.header.biXPelsPerMeter;
    header.biYPelsPerMeter = src.header.biYPelsPerMeter;
    if (!src.IsValid() || !Create(src.GetWidth(), src.GetHeight(), src.GetBpp(), src.GetType()))
        return;
    if (copyPixels) {
        std::memcpy(dib, src.dib, GetSize());
        header = LoadInfoHeader(dib);
    } else if (GetPaletteSize()) {
        std::memcpy(GetPalette(), src.GetPalette(), GetPaletteSize());
    }
    if (copySelection && src.selection) SelectionCopy(src);
    if (copyAlpha && src.alpha) AlphaCopy(src);
}

void CRaster::CopyInfo(const CRaster& src) {
    if (dib || &src == this) return;
    info = src.info;
    info.ghostOf = nullptr;
    info.bits = nullptr;
}

void CRaster::Transfer(CRaster& src) {
    if (&src == this) return;
    Destroy();
    ForgetBorrowed(info, dib, selection, alpha);
    header = src.header;
    info = src.info;
    dib = src.dib;
    selection = src.selection;
    alpha = src.alpha;
    src.dib = src.selection = src.alpha = nullptr;
    src.header = BITMAPINFOHEADER{};
    src.info = RasterInfo{};
}

void CRaster::Ghost(const CRaster* src) {
    if (!src || src == this) return;
    Destroy();
    header = src->header;
    info = src->info;
    dib = src->dib;
    selection = src->selection;
    alpha = src->alpha;
    info.ghostOf = const_cast<CRaster*>(src);
}

// --- queries ---

uint8_t* CRaster::GetBits(uint32_t row) const {
    if (!dib || row >= GetHeight()) return nullptr;
    return info.bits + static_cast<size_t>(row) * info.effectiveWidth;
}

uint32_t CRaster::GetSize() const {
    if (!dib) return 0;
    return header.biSize + header.biClrUsed * 4 + header.biSizeImage;
}

bool CRaster::IsInside(int32_t x, int32_t y) const {
    return dib && x >= 0 && y >= 0 && x < header.biWidth && y < header.biHeight;
}

void CRaster::Clear(uint8_t value) {
    if (dib) std::memset(info.bits, value, header.biSizeImage);
}

size_t CRaster::PlaneSize() const {
    return static_cast<size_t>(GetWidth()) * GetHeight();
}

// --- information record ---

void CRaster::SetLastError(const char* text) {
    std::snprintf(info.lastError, sizeof info.lastError, "%s", text ? text : "");
}

static int32_t DpiToPelsPerMeter(int32_t dpi) {
    return static_cast<int32_t>(std::floor(dpi * 39.37007874015748 + 0.5));
}

void CRaster::SetXDPI(int32_t dpi) {
    info.xDpi = dpi;
    header.biXPelsPerMeter = DpiToPelsPerMeter(dpi);
    StoreHeader();
}

void CRaster::SetYDPI(int32_t dpi) {
    info.yDpi = dpi;
    header.biYPelsPerMeter = DpiToPelsPerMeter(dpi);
    StoreHeader();
}
