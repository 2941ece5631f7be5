#pragma once

// The image object: a packed device-independent bitmap (40-byte header, colour table, bottom-up
// rows padded to 4 bytes) with an information record, an optional alpha plane and an optional
// selection plane. Coordinates given to the pixel accessors are bottom-up (y = 0 is the bottom
// row). Only the depths 1, 4, 8 and 24 exist inside the object.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image/byte_stream.h"
#include "image/dib_types.h"

// Image type ids. Files are never sniffed: the caller names the format.
enum RasterType : uint32_t {
    kTypeBmp = 0,
    kTypeGif = 1,
    kTypeJpeg = 2,
    kTypePng = 3,
    kTypeIco = 4,
    kTypeTiff = 5,
    kTypeTga = 6,
    kTypePcx = 7,
    kTypeWbmp = 8,
    kTypeWmf = 9,
    kTypeCount = 10,
};

// The type id of a file name's extension (text after the last '.', compared lower-cased):
// "bmp" 0, "gif" 1, "jpg"/"jpeg" 2, "png" 3, "ico" 4, "tif"/"tiff" 5, "tga" 6, "pcx" 7;
// -1 for anything else or a name without '.'.
int RasterTypeFromPath(const std::string& path);

// Size limits applied by Create (and so by every decoder): at most 2^28 pixels and a packed
// block of at most 1 GiB. Larger requests fail as an allocation failure would.
constexpr uint64_t kMaxRasterPixels = uint64_t{1} << 28;
constexpr uint64_t kMaxRasterBlock = uint64_t{1} << 30;

// A 32-bit value that another thread may read (progress) or write (escape) while an operation
// runs; copied like a plain integer.
class SharedInt {
  public:
    SharedInt(int32_t v = 0) : value(v) {}
    SharedInt(const SharedInt& o) : value(o.load()) {}
    SharedInt& operator=(const SharedInt& o) {
        value.store(o.load(), std::memory_order_relaxed);
        return *this;
    }
    SharedInt& operator=(int32_t v) {
        value.store(v, std::memory_order_relaxed);
        return *this;
    }
    operator int32_t() const { return load(); }

  private:
    int32_t load() const { return value.load(std::memory_order_relaxed); }
    std::atomic<int32_t> value;
};

class CRaster;

// Everything the image carries besides its pixels.
struct RasterInfo {
    uint32_t effectiveWidth = 0;  // bytes per pixel row in dib
    uint8_t* bits = nullptr;      // first pixel row inside dib (not owned)
    CRaster* ghostOf = nullptr;   // set while this object only borrows another image's buffers
    uint32_t type = 0;
    char lastError[256] = {};
    SharedInt progress;            // 0..100 of a running operation
    SharedInt escape;              // non-zero asks a running operation to stop
    int32_t backgroundIndex = -1;  // transparent palette index, -1 = none
    RGBQUAD backgroundColor;       // transparent / background colour of direct-colour images
    uint8_t encodeQuality = 0;     // JPEG quality 0..100
    int32_t frame = 0;             // frame (page, icon) to read from a multi-image file
    int32_t frameCount = 0;        // frames found in the last multi-image file read
    uint32_t frameDelay = 0;
    int32_t xDpi = 0;
    int32_t yDpi = 0;
    RECT selectionBox;
    uint8_t alphaMax = 0;              // opacity applied on top of the alpha plane
    bool alphaPaletteEnabled = false;  // palette reserved bytes are alpha values
    bool enabled = false;              // drawing allowed
    int32_t xOffset = 0;
    int32_t yOffset = 0;
};

class CRaster {
  public:
    // --- construction and lifetime ---
    explicit CRaster(uint32_t type = kTypeBmp);
    CRaster(uint32_t width, uint32_t height, uint32_t bpp, uint32_t type = kTypeBmp);
    CRaster(const CRaster& src, bool copyPixels = true, bool copySelection = true,
            bool copyAlpha = true);
    CRaster(const char* path, uint32_t type);
    CRaster(CByteStream* stream, uint32_t type);
    CRaster(std::FILE* file, uint32_t type);
    CRaster(uint8_t* buffer, uint32_t size, uint32_t type);
    virtual ~CRaster();
    CRaster& operator=(const CRaster& src);

    // Empties every field and sets the defaults (quality 75, 72 dpi, no transparency, enabled).
    void Startup(uint32_t type);
    // Allocates a fresh image (old buffers freed): depth rounded up to 1, 4, 8 or 24, colour
    // table zeroed, pixels zeroed. Null on allocation failure or a size beyond the limits, with
    // the image left empty.
    uint8_t* Create(uint32_t width, uint32_t height, uint32_t bpp, uint32_t type = kTypeBmp);
    // Frees the three buffers unless this is a ghost.
    bool Destroy();
    // Copies the information record, then creates the same size, depth and type and copies the
    // whole block (or only the palette), and the selection and alpha planes when asked.
    void Copy(const CRaster& src, bool copyPixels = true, bool copySelection = true,
              bool copyAlpha = true);
    // Copies only the information record, and only while this image is empty.
    void CopyInfo(const CRaster& src);
    // Takes over the source's header, record and buffers; the source is left empty.
    void Transfer(CRaster& src);
    // Borrows the source's header, record and buffers without owning them.
    void Ghost(const CRaster* src);

    // --- queries ---
    bool IsValid() const { return dib != nullptr; }
    uint32_t GetWidth() const { return static_cast<uint32_t>(header.biWidth); }
    uint32_t GetHeight() const { return static_cast<uint32_t>(header.biHeight); }
    uint32_t GetBpp() const { return header.biBitCount; }
    uint32_t GetNumColors() const { return header.biClrUsed; }
    uint32_t GetEffWidth() const { return info.effectiveWidth; }
    uint32_t GetType() const { return info.type; }
    const char* GetLastError() const { return info.lastError; }
    uint8_t* GetBits(uint32_t row = 0) const;
    // Byte length of the packed block: header + colour table + pixel rows.
    uint32_t GetSize() const;
    bool IsInside(int32_t x, int32_t y) const;
    // Fills every pixel byte (padding included) with one value.
    void Clear(uint8_t value = 0);
    // The packed block (header, colour table, rows), or null.
    uint8_t* GetDIB() const { return dib; }
    const BITMAPINFOHEADER& GetHeader() const { return header; }
    const RasterInfo& GetInfo() const { return info; }

    // --- information record ---
    void SetType(uint32_t type) { info.type = type; }
    // Stores a failure text (cut to 255 characters).
    void SetLastError(const char* text);
    int32_t GetProgress() const { return info.progress; }
    void SetProgress(int32_t percent) { info.progress = percent; }
    int32_t GetEscape() const { return info.escape; }
    void SetEscape(int32_t value) { info.escape = value; }
    int32_t GetTransIndex() const { return info.backgroundIndex; }
    void SetTransIndex(int32_t index) { info.backgroundIndex = index; }
    RGBQUAD GetBackgroundColor() const { return info.backgroundColor; }
    void SetBackgroundColor(RGBQUAD color) { info.backgroundColor = color; }
    uint8_t GetEncodeQuality() const { return info.encodeQuality; }
    void SetEncodeQuality(uint8_t quality) { info.encodeQuality = quality; }
    int32_t GetFrame() const { return info.frame; }
    void SetFrame(int32_t frame) { info.frame = frame; }
    int32_t GetFrameCount() const { return info.frameCount; }
    void SetFrameCount(int32_t count) { info.frameCount = count; }
    uint32_t GetFrameDelay() const { return info.frameDelay; }
    void SetFrameDelay(uint32_t delay) { info.frameDelay = delay; }
    int32_t GetXDPI() const { return info.xDpi; }
    int32_t GetYDPI() const { return info.yDpi; }
    // Stores the resolution and the header's pixels per metre (rounded).
    void SetXDPI(int32_t dpi);
    void SetYDPI(int32_t dpi);
    uint8_t GetAlphaMax() const { return info.alphaMax; }
    void SetAlphaMax(uint8_t value) { info.alphaMax = value; }
    bool IsAlphaPaletteEnabled() const { return info.alphaPaletteEnabled; }
    void AlphaPaletteEnable(bool enable = true) { info.alphaPaletteEnabled = enable; }
    bool IsEnabled() const { return info.enabled; }
    void Enable(bool enable = true) { info.enabled = enable; }
    int32_t GetXOffset() const { return info.xOffset; }
    int32_t GetYOffset() const { return info.yOffset; }
    void SetOffset(int32_t x, int32_t y) {
        info.xOffset = x;
        info.yOffset = y;
    }
    RECT GetSelectionBox() const { return info.selectionBox; }
    const CRaster* GetGhostOf() const { return info.ghostOf; }

    // --- pixels and palette (bottom-up coordinates) ---
    uint8_t GetPixelIndex(int32_t x, int32_t y) const;
    void SetPixelIndex(int32_t x, int32_t y, uint8_t index);
    RGBQUAD GetPixelColor(int32_t x, int32_t y) const;
    void SetPixelColor(int32_t x, int32_t y, RGBQUAD color);
    void SetPixelColor(int32_t x, int32_t y, COLORREF color);
    // Closest palette entry by squared distance; the first of equal minima.
    uint8_t GetNearestIndex(RGBQUAD color) const;
    RGBQUAD* GetPalette() const;
    uint32_t GetPaletteSize() const { return header.biClrUsed * 4; }
    RGBQUAD GetPaletteColor(uint32_t index) const;
    void SetPaletteIndex(uint32_t index, uint8_t r, uint8_t g, uint8_t b, uint8_t alpha = 0);
    void SetPaletteIndex(uint32_t index, RGBQUAD color);
    void SetPaletteIndex(uint32_t index, COLORREF color);
    void SetPalette(const RGBQUAD* palette, uint32_t count);
    void SetPalette(uint32_t count, const uint8_t* red, const uint8_t* green, const uint8_t* blue);
    void SetGrayPalette();
    // True for a palette whose every entry i is (i, i, i).
    bool IsGrayScale() const;
    // Palette colour of the transparent index for palette images that have one, else the
    // background colour.
    RGBQUAD GetTransColor() const;

    // --- alpha and selection planes (one byte per pixel, bottom row first) ---
    bool AlphaCreate();
    void AlphaDelete();
    bool AlphaIsValid() const { return alpha != nullptr; }
    void AlphaSet(uint8_t value);
    void AlphaSet(int32_t x, int32_t y, uint8_t value);
    uint8_t AlphaGet(int32_t x, int32_t y) const;
    uint8_t* AlphaGetBits() const { return alpha; }
    bool AlphaCopy(const CRaster& src);
    bool SelectionIsValid() const { return selection != nullptr; }
    uint8_t* SelectionGetBits() const { return selection; }
    bool SelectionCopy(const CRaster& src);
    void SelectionDelete();

    // Converts 16- or 32-bit source rows into this image's 24-bit rows (see raster_pixels.cpp).
    // `source` must hold `GetHeight()` rows of the source depth.
    void Bitfield2RGB(const uint8_t* source, uint32_t redMask, uint32_t greenMask,
                      uint32_t blueMask, uint8_t bpp);

    // --- clipboard blocks (packed DIB: header, colour table or masks, rows) ---
    // A copy of the packed block; empty for an empty image.
    std::vector<uint8_t> CopyToHandle() const;
    // Rebuilds the image from a packed block of `size` bytes; 16- and 32-bit blocks arrive as
    // 24 bits. False for a block too short for what its header describes.
    bool CreateFromHANDLE(const uint8_t* block, size_t size);

    // --- files and streams ---
    bool Load(const char* path, uint32_t type);
    // A file that cannot be opened gives false and leaves lastError as it was.
    bool Save(const char* path, uint32_t type);
    bool Decode(CByteStream* stream, uint32_t type);
    bool Decode(std::FILE* file, uint32_t type);
    bool Decode(uint8_t* buffer, uint32_t size, uint32_t type);
    bool Encode(CByteStream* stream, uint32_t type);
    bool Encode(std::FILE* file, uint32_t type);
    // Needs `buffer` null on entry; on success hands over a buffer the caller frees with
    // std::free, and its size.
    bool Encode(uint8_t*& buffer, int32_t& size, uint32_t type);
    // Several images in one file (GIF and TIFF only).
    bool Encode(CByteStream* stream, CRaster** images, int32_t count, uint32_t type);
    bool Encode(std::FILE* file, CRaster** images, int32_t count, uint32_t type);

    // --- image operations ---
    // Operations on the pixels (grey scale, mirror, rotation, resampling, colour depth, crop,
    // lightness, alpha flattening) are members added here, one group per source file
    // (raster_ops_*.cpp). Declare them in this block.
    // Each returns false and changes nothing on an empty image. Results are built in a
    // temporary image and moved in with Transfer; an escaped operation still moves in its
    // partial result.
    bool GrayScale();
    bool Mirror();
    // Left-right mirror of the alpha plane only.
    bool AlphaMirror();
    // Quarter turns as displayed; with a destination the image itself stays unchanged.
    bool RotateLeft(CRaster* destination = nullptr);
    bool RotateRight(CRaster* destination = nullptr);
    // fast: nearest pixel; otherwise area averaging (24-bit shrink) or bilinear.
    bool Resample(int32_t newWidth, int32_t newHeight, bool fast = false);
    bool IncreaseBpp(uint32_t bits);
    // palette: 2, 16 or 256 entries for 1, 4 or 8 bits, or null for the standard palettes.
    bool DecreaseBpp(uint32_t bits, bool errorDiffusion, const RGBQUAD* palette = nullptr);
    // The standard 16- or 256-colour palette; false for other depths.
    bool SetStdPalette();
    // Rectangle in top-down coordinates, clamped and ordered.
    bool Crop(int32_t left, int32_t top, int32_t right, int32_t bottom,
              CRaster* destination = nullptr);
    bool Light(int32_t brightness, int32_t contrast = 100);
    // Flattens the alpha plane and alpha palette onto the background colour.
    bool AlphaStrip();

  protected:
    // Raw pointers: a ghost aliases them without owning them (see Ghost).
    uint8_t* dib = nullptr;   // packed block, owned unless ghostOf is set
    BITMAPINFOHEADER header;  // working copy of the block's header
    RasterInfo info;
    uint8_t* selection = nullptr;  // owned unless ghostOf is set, may be null
    uint8_t* alpha = nullptr;      // owned unless ghostOf is set, may be null

  private:
    void StoreHeader();
    size_t PlaneSize() const;
};
