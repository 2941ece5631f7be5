// GIF files: GIF87a/GIF89a reading of any frame (with the file's animation composed where frames
// build on each other) and GIF89a writing, 24-bit images as tiles with their own colour tables.

#include "image/codecs.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "image/format_bytes.h"

namespace {

constexpr const char* kErrNotGif = "Not a GIF";
constexpr const char* kErrCorrupted = "corrupted GIF";
constexpr const char* kErrNoFrame = "Error: frame not present in GIF file";
constexpr const char* kErrMemory = "Can't allocate memory";
constexpr const char* kErrCancelled = "Cancelled";
constexpr const char* kErrOpen = "Can't open GIF for writing";
constexpr const char* kErrWrite = "Write Error in GIF file";
constexpr const char* kErrNoImages = "multipage GIF, no images!";
constexpr const char* kErrBadImage = "Bad image pointer";

constexpr int kMaxCodes = 4096;
constexpr uint64_t kFreeScreenPixels = uint64_t{1} << 22;
constexpr uint32_t kRowsBetweenEscapeChecks = 64;

// --- reading ---

// One image block of the file and the graphic control that came before it.
struct GifFrame {
    uint32_t left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    size_t table = 0;  // file position of its colour table (local or global), 0 = none
    uint32_t tableSize = 0;
    int transparent = -1;
    uint16_t delay = 0;
    int disposal = 0;
    size_t data = 0;       // file position of the LZW minimum code size
    size_t dataBytes = 0;  // bytes from there to the end of its sub-blocks (or of the file)
};

struct GifFile {
    uint32_t screenWidth = 0, screenHeight = 0;
    std::vector<GifFrame> frames;
};

// Skips a chain of data sub-blocks ending with a zero-length block; false when the file ends
// inside it.
bool SkipSubBlocks(ByteReader& in) {
    for (;;) {
        const uint8_t length = in.U8();
        if (in.Failed()) return false;
        if (length == 0) return true;
        if (!in.Skip(length)) return false;
    }
}

// Walks the whole file once and lists its image blocks; a block cut off by the end of the file
// is still listed (its pixels decode as far as they go). Returns an error text or null.
const char* ScanGif(const std::vector<uint8_t>& bytes, GifFile& gif) {
    ByteReader in(bytes);
    char signature[6] = {};
    if (!in.Bytes(signature, 6) || std::memcmp(signature, "GIF8", 4) != 0) return kErrNotGif;
    gif.screenWidth = in.U16();
    gif.screenHeight = in.U16();
    const uint8_t flags = in.U8();
    in.Skip(2);  // background index, aspect
    if (in.Failed()) return kErrNotGif;
    size_t globalTable = 0;
    uint32_t globalSize = 0;
    if (flags & 0x80) {
        globalSize = 2u << (flags & 7);
        globalTable = in.Position();
        if (!in.Skip(3 * globalSize)) return kErrCorrupted;
    }
    GifFrame control;  // graphic control values waiting for the next image
    while (!in.AtEnd()) {
        const uint8_t block = in.U8();
        if (block == 0x3B) break;  // trailer
        if (block == 0x21) {
            const uint8_t label = in.U8();
            if (label == 0xF9) {
                const size_t start = in.Position();
                const uint8_t length = in.U8();
                if (length >= 4) {
                    const uint8_t packed = in.U8();
                    control.disposal = (packed >> 2) & 7;
                    control.delay = in.U16();
                    const uint8_t index = in.U8();
                    control.transparent = (packed & 1) ? index : -1;
                }
                in.Seek(std::min(start, in.Size()));
            }
            if (!SkipSubBlocks(in)) break;
            continue;
        }
        if (block != 0x2C) break;  // anything else ends the readable part
        GifFrame frame = control;
        frame.left = in.U16();
        frame.top = in.U16();
        frame.width = in.U16();
        frame.height = in.U16();
        const uint8_t packed = in.U8();
        if (in.Failed()) break;
        frame.interlaced = (packed & 0x40) != 0;
        frame.table = globalTable;
        frame.tableSize = globalSize;
        if (packed & 0x80) {
            frame.tableSize = 2u << (packed & 7);
            frame.table = in.Position();
            if (!in.Skip(3 * frame.tableSize)) break;
        }
        frame.data = in.Position();
        const bool listed = frame.width && frame.height;
        if (listed) gif.frames.push_back(frame);
        control = GifFrame();
        in.U8();  // LZW minimum code size
        const bool whole = !in.Failed() && SkipSubBlocks(in);
        if (listed) gif.frames.back().dataBytes = (whole ? in.Position() : in.Size()) - frame.data;
        if (!whole) break;
    }
    return nullptr;
}

// The most pixels the LZW data of a block can give: each code is at least one bit longer than
// the minimum code size, each code's string is at most one longer than the codes before it since
// the table was cleared, and no string is longer than the table. A block claiming more than this
// is refused before its picture is allocated.
uint64_t MostLzwPixels(const std::vector<uint8_t>& bytes, const GifFrame& f) {
    const int minimum = f.data < bytes.size() ? std::max<int>(bytes[f.data], 1) : 1;
    const uint64_t codes = uint64_t{f.dataBytes} * 8 / static_cast<uint64_t>(minimum + 1) + 1;
    return codes < 2 * kMaxCodes ? codes * (codes + 1) / 2 : codes * kMaxCodes;
}

bool DataCanFill(const std::vector<uint8_t>& bytes, const GifFrame& f) {
    return uint64_t{f.width} * f.height <= MostLzwPixels(bytes, f);
}

// Reads LZW codes from the sub-blocks that start at `position`.
class CodeReader {
  public:
    CodeReader(const std::vector<uint8_t>& bytes, size_t position)
        : data(bytes.data()), size(bytes.size()), position(position) {}

    // The next code of `bits` bits, or -1 at the end of the data.
    int Next(int bits) {
        while (have < bits) {
            if (blockLeft == 0) {
                if (position >= size) return -1;
                blockLeft = data[position++];
                if (blockLeft == 0) {
                    position = size;  // the zero-length block ends the data
                    return -1;
                }
            }
            if (position >= size) return -1;
            accumulator |= static_cast<uint32_t>(data[position++]) << have;
            have += 8;
            --blockLeft;
        }
        const int code = static_cast<int>(accumulator & ((1u << bits) - 1));
        accumulator >>= bits;
        have -= bits;
        return code;
    }

  private:
    const uint8_t* data;
    size_t size;
    size_t position;
    uint32_t blockLeft = 0;
    uint32_t accumulator = 0;
    int have = 0;
};

// Decodes the LZW data of a block into `out` (up to `count` indices in stored order; the buffer
// grows with what the data really holds, so a block that claims to be huge costs nothing) and
// gives the number decoded: data that ends early or turns corrupt stops there. False when the
// escape was raised.
bool DecodeLzw(const std::vector<uint8_t>& bytes, size_t position, std::vector<uint8_t>& out,
               size_t count, size_t& decoded, const CRaster& progress) {
    decoded = 0;
    out.clear();
    const int minimum = position < bytes.size() ? bytes[position] : 0;
    if (minimum < 1 || minimum > 11) return true;
    const int clear = 1 << minimum, end = clear + 1;
    uint16_t prefix[kMaxCodes];
    uint8_t suffix[kMaxCodes];
    uint8_t first[kMaxCodes];
    uint16_t length[kMaxCodes];
    for (int c = 0; c < clear; ++c) {
        prefix[c] = 0;
        suffix[c] = first[c] = static_cast<uint8_t>(c);
        length[c] = 1;
    }
    CodeReader codes(bytes, position + 1);
    int bits = minimum + 1, next = clear + 2, previous = -1;
    size_t written = 0, checked = 0;
    // Writes the string of `code` backwards from its last character; parts past the end are cut.
    auto emit = [&](int code) {
        const size_t n = length[code];
        if (written + n > out.size())
            out.resize(std::min(count, std::max({out.size() * 2, written + n, size_t{4096}})));
        size_t at = written + n;
        for (int c = code; at > written; c = prefix[c]) {
            --at;
            if (at < count) out[at] = suffix[c];
        }
        written += n;
    };
    while (written < count) {
        if (written - checked > (size_t{1} << 20)) {
            if (progress.GetEscape()) return false;
            checked = written;
        }
        const int code = codes.Next(bits);
        if (code < 0 || code == end) break;
        if (code == clear) {
            bits = minimum + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (previous < 0) {
            if (code >= clear) break;
            emit(code);
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= kMaxCodes)) break;
        if (next < kMaxCodes) {
            const uint8_t head = code == next ? first[previous] : first[code];
            prefix[next] = static_cast<uint16_t>(previous);
            suffix[next] = head;
            first[next] = first[previous];
            length[next] = static_cast<uint16_t>(std::min<int>(length[previous] + 1, 0xFFFF));
            ++next;
            if (next == (1 << bits) && bits < 12) ++bits;
        }
        emit(code);
        previous = code;
    }
    decoded = std::min(written, count);
    return true;
}

// The pixel indices of a block in stored order, and for each row from the top the stored row that
// holds it (interlaced files store every 8th row first, then the rows between).
struct BlockPixels {
    std::vector<uint8_t> indices;
    size_t decoded = 0;  // indices decoded; the rest of the block is missing from the file
    std::vector<uint32_t> rowOf;
    uint32_t width = 0;
    // The decoded indices of row y from the top and how many of its pixels there are (none:
    // null).
    const uint8_t* Row(uint32_t y, uint32_t& available) const {
        const size_t start = static_cast<size_t>(rowOf[y]) * width;
        if (start >= decoded) {
            available = 0;
            return nullptr;
        }
        available = static_cast<uint32_t>(std::min<size_t>(width, decoded - start));
        return indices.data() + start;
    }
};

bool ReadBlock(const std::vector<uint8_t>& bytes, const GifFrame& f, BlockPixels& out,
               const CRaster& progress) {
    const size_t count = static_cast<size_t>(f.width) * f.height;
    out.width = f.width;
    if (!DecodeLzw(bytes, f.data, out.indices, count, out.decoded, progress)) return false;
    out.rowOf.resize(f.height);
    if (!f.interlaced) {
        for (uint32_t y = 0; y < f.height; ++y) out.rowOf[y] = y;
        return true;
    }
    static const uint32_t kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    uint32_t stored = 0;
    for (int pass = 0; pass < 4; ++pass)
        for (uint32_t y = kStart[pass]; y < f.height; y += kStep[pass]) out.rowOf[y] = stored++;
    return true;
}

RGBQUAD TableColor(const std::vector<uint8_t>& bytes, const GifFrame& f, uint32_t index) {
    RGBQUAD c;
    if (f.table && index < f.tableSize) {
        const uint8_t* p = &bytes[f.table + 3 * index];
        c.rgbRed = p[0];
        c.rgbGreen = p[1];
        c.rgbBlue = p[2];
    }
    return c;
}

// One block as an image of its own size, at the smallest depth its colour table allows.
const char* DecodeBlockImage(const std::vector<uint8_t>& bytes, const GifFrame& f, CRaster& image) {
    const uint32_t colors = f.table ? f.tableSize : 256;
    uint32_t depth = colors <= 2 ? 1 : colors <= 16 ? 4 : 8;
    if (f.transparent >= 0) depth = 8;
    if (!DataCanFill(bytes, f)) return kErrCorrupted;
    if (!image.Create(f.width, f.height, depth, kTypeGif)) return kErrMemory;
    const uint32_t entries = image.GetNumColors();
    for (uint32_t i = 0; i < entries; ++i) {
        RGBQUAD c = TableColor(bytes, f, i);
        if (!f.table)
            c.rgbRed = c.rgbGreen = c.rgbBlue = static_cast<uint8_t>(i * 255 / (entries - 1));
        else if (i >= f.tableSize)
            c.rgbRed = c.rgbGreen = c.rgbBlue = 255;  // padding: white
        image.SetPaletteIndex(i, c);
    }
    BlockPixels pixels;
    if (!ReadBlock(bytes, f, pixels, image)) return kErrCancelled;
    const uint8_t mask = static_cast<uint8_t>(entries - 1);
    for (uint32_t y = 0; y < f.height; ++y) {
        if (y % kRowsBetweenEscapeChecks == 0 && image.GetEscape()) return kErrCancelled;
        uint32_t available = 0;
        const uint8_t* in = pixels.Row(y, available);
        uint8_t* row = image.GetBits(f.height - 1 - y);
        if (depth == 8) {
            if (available) std::memcpy(row, in, available);
        } else if (depth == 4) {
            for (uint32_t x = 0; x < available; ++x)
                row[x >> 1] |= static_cast<uint8_t>((in[x] & mask) << ((x & 1) ? 0 : 4));
        } else {
            for (uint32_t x = 0; x < available; ++x)
                if (in[x] & 1) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
    }
    image.SetTransIndex(f.transparent);
    image.SetFrameDelay(f.delay);
    image.SetOffset(static_cast<int32_t>(f.left), static_cast<int32_t>(f.top));
    return nullptr;
}

// Frames 0..last drawn in turn on a 24-bit image of the logical screen, each one disposed of as
// its graphic control asks before the next is drawn. Pixels no frame covers are transparent
// (alpha 0); the alpha plane is dropped when every pixel is covered.
const char* ComposeFrames(const std::vector<uint8_t>& bytes, const GifFile& gif, size_t last,
                          CRaster& image) {
    const uint32_t width = gif.screenWidth, height = gif.screenHeight;
    if (!width || !height) return kErrCorrupted;
    // The screen is allocated only as far as the frames drawn on it can fill it; pixels no frame
    // covers stay transparent, and a modest screen is allowed whatever its frames.
    uint64_t fillable = kFreeScreenPixels;
    for (size_t i = 0; i <= last; ++i)
        fillable += std::min(uint64_t{gif.frames[i].width} * gif.frames[i].height,
                             MostLzwPixels(bytes, gif.frames[i]));
    if (uint64_t{width} * height > fillable) return kErrCorrupted;
    if (!image.Create(width, height, 24, kTypeGif) || !image.AlphaCreate()) return kErrMemory;
    uint8_t* alpha = image.AlphaGetBits();
    BlockPixels pixels;
    std::vector<uint8_t> saved, savedAlpha;
    for (size_t i = 0; i <= last; ++i) {
        const GifFrame& f = gif.frames[i];
        if (i == last) image.SetFrameDelay(f.delay);
        // The visible part of the block (a block may lie partly or wholly off the screen); a
        // block cut short by the end of the file covers only the pixels it has.
        const uint32_t x0 = std::min(f.left, width), y0 = std::min(f.top, height);
        const uint32_t x1 = std::min(f.left + f.width, width);
        const uint32_t y1 = std::min(f.top + f.height, height);
        if (x0 >= x1 || y0 >= y1) continue;
        if (static_cast<uint64_t>(f.width) * f.height > kMaxRasterPixels) return kErrMemory;
        if (!ReadBlock(bytes, f, pixels, image)) return kErrCancelled;
        const bool restore = f.disposal == 3 && i < last;
        saved.clear();
        savedAlpha.clear();
        for (uint32_t y = y0; y < y1; ++y) {
            uint8_t* row = image.GetBits(height - 1 - y);
            uint8_t* a = alpha + static_cast<size_t>(height - 1 - y) * width;
            uint32_t available = 0;
            const uint8_t* in = pixels.Row(y - f.top, available);
            const uint32_t end = std::min(x1, f.left + available);
            if (restore && x0 < end) {
                saved.insert(saved.end(), row + 3 * x0, row + 3 * end);
                savedAlpha.insert(savedAlpha.end(), a + x0, a + end);
            }
            for (uint32_t x = x0; x < end; ++x) {
                const uint8_t index = in[x - f.left];
                if (index == f.transparent) continue;
                const RGBQUAD c = TableColor(bytes, f, index);
                row[3 * x] = c.rgbBlue;
                row[3 * x + 1] = c.rgbGreen;
                row[3 * x + 2] = c.rgbRed;
                a[x] = 255;
            }
        }
        if (i == last || (f.disposal != 2 && f.disposal != 3)) continue;
        size_t k = 0;
        for (uint32_t y = y0; y < y1; ++y) {
            uint8_t* row = image.GetBits(height - 1 - y);
            uint8_t* a = alpha + static_cast<size_t>(height - 1 - y) * width;
            uint32_t available = 0;
            pixels.Row(y - f.top, available);
            const uint32_t end = std::min(x1, f.left + available);
            for (uint32_t x = x0; x < end; ++x, ++k) {
                if (f.disposal == 2) {  // back to the (transparent) background
                    row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = 0;
                    a[x] = 0;
                } else {  // back to what was there before
                    std::memcpy(row + 3 * x, &saved[3 * k], 3);
                    a[x] = savedAlpha[k];
                }
            }
        }
    }
    const size_t plane = static_cast<size_t>(width) * height;
    if (std::find(alpha, alpha + plane, 0) == alpha + plane) image.AlphaDelete();
    return nullptr;
}

bool CoversScreen(const GifFrame& f, const GifFile& gif) {
    return f.left == 0 && f.top == 0 && f.width >= gif.screenWidth && f.height >= gif.screenHeight;
}

// A file of several still blocks that each cover only part of the screen (as 24-bit images are
// written) is one picture, not an animation.
bool IsTiled(const GifFile& gif) {
    if (gif.frames.size() < 2) return false;
    for (const GifFrame& f : gif.frames)
        if (f.delay != 0 || CoversScreen(f, gif) || f.disposal >= 2) return false;
    return true;
}

// --- writing ---

// The strings of the LZW coder: the code of (prefix code, pixel), 0 for none. The coder has
// always found its strings through a 5003-entry open-addressing hash table whose primary slot,
// (pixel << 4) XOR prefix, crowds 8-bit pictures into long probe sequences; any exact look-up
// gives the same codes. This one keeps key and code in one word in 8192 slots (32 KB, at most
// half full) under a multiplicative hash, and is emptied by undoing its entries, since a 24-bit
// picture is coded as thousands of small blocks.
class LzwStrings {
  public:
    // Made on a thread's first GIF, so that other threads carry no 40 KB table.
    static LzwStrings& ForThisThread() {
        thread_local std::unique_ptr<LzwStrings> strings;
        if (!strings) strings = std::make_unique<LzwStrings>();
        return *strings;
    }

    uint16_t Find(int prefix, uint8_t pixel) const {
        const uint32_t key = Key(prefix, pixel);
        for (uint32_t slot = Slot(key);; slot = (slot + 1) & kMask) {
            const uint32_t word = slots[slot];
            if (word == 0) return 0;
            if (word >> 12 == key) return static_cast<uint16_t>(word & 0xFFF);
        }
    }
    void Add(int prefix, uint8_t pixel, int code) {
        const uint32_t key = Key(prefix, pixel);
        uint32_t slot = Slot(key);
        while (slots[slot] != 0) slot = (slot + 1) & kMask;
        slots[slot] = key << 12 | static_cast<uint32_t>(code);
        used[usedCount++] = static_cast<uint16_t>(slot);
    }
    void Clear() {
        for (uint32_t i = 0; i < usedCount; ++i) slots[used[i]] = 0;
        usedCount = 0;
    }

  private:
    static constexpr uint32_t kSlots = 8192, kMask = kSlots - 1;
    static uint32_t Key(int prefix, uint8_t pixel) {
        return static_cast<uint32_t>(prefix) << 8 | pixel;
    }
    static uint32_t Slot(uint32_t key) { return (key * 2654435761u) >> 19; }

    uint32_t slots[kSlots] = {};  // key << 12 | code; codes are never 0
    uint16_t used[kMaxCodes];
    uint32_t usedCount = 0;
};

// The LZW coder of GIF files: variable-length codes up to 12 bits, a clear code when the table
// is full.
class LzwEncoder {
  public:
    LzwEncoder(ByteWriter& out, int minimumCodeSize)
        : out(out),
          strings(LzwStrings::ForThisThread()),
          initBits(minimumCodeSize + 1),
          clearCode(1 << minimumCodeSize) {}

    void Start(uint8_t pixel) {
        bits = initBits;
        maxCode = (1 << bits) - 1;
        freeEntry = clearCode + 2;
        strings.Clear();
        Output(clearCode);
        entry = pixel;
    }

    void Add(uint8_t pixel) {
        if (const uint16_t code = strings.Find(entry, pixel)) {
            entry = code;
            return;
        }
        Output(entry);
        if (freeEntry < kMaxCodes) {
            strings.Add(entry, pixel, freeEntry++);
        } else {  // table full: start again
            strings.Clear();
            freeEntry = clearCode + 2;
            clearPending = true;
            Output(clearCode);
        }
        entry = pixel;
    }

    void Finish() {
        Output(entry);
        Output(clearCode + 1);  // end of information
        while (bitCount > 0) {
            Byte(static_cast<uint8_t>(accumulator));
            accumulator >>= 8;
            bitCount = bitCount > 8 ? bitCount - 8 : 0;
        }
        FlushPacket();
        out.U8(0);  // zero-length block
    }

  private:
    void Output(int code) {
        accumulator |= static_cast<uint32_t>(code) << bitCount;
        bitCount += bits;
        while (bitCount >= 8) {
            Byte(static_cast<uint8_t>(accumulator));
            accumulator >>= 8;
            bitCount -= 8;
        }
        if (freeEntry > maxCode || clearPending) {
            if (clearPending) {
                bits = initBits;
                maxCode = (1 << bits) - 1;
                clearPending = false;
            } else {
                ++bits;
                maxCode = bits == 12 ? kMaxCodes : (1 << bits) - 1;
            }
        }
    }

    void Byte(uint8_t b) {
        packet[packetLength++] = b;
        if (packetLength == 255) FlushPacket();
    }

    void FlushPacket() {
        if (!packetLength) return;
        out.U8(static_cast<uint8_t>(packetLength));
        out.Bytes(packet, packetLength);
        packetLength = 0;
    }

    ByteWriter& out;
    LzwStrings& strings;
    const int initBits;
    const int clearCode;
    int bits = 0, maxCode = 0, freeEntry = 0;
    int entry = 0;
    bool clearPending = false;
    uint32_t accumulator = 0;
    int bitCount = 0;
    uint8_t packet[256];
    int packetLength = 0;
};

// The pixel indices of a rectangle of a palette image, top row first.
template <typename Index>
void CompressRect(ByteWriter& out, int minimumCodeSize, uint32_t width, uint32_t height,
                  Index index) {
    out.U8(static_cast<uint8_t>(minimumCodeSize));
    LzwEncoder lzw(out, minimumCodeSize);
    bool started = false;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t pixel = index(x, y);
            if (started) {
                lzw.Add(pixel);
            } else {
                lzw.Start(pixel);
                started = true;
            }
        }
    }
    lzw.Finish();
}

void WriteGraphicControl(ByteWriter& out, int disposal, bool transparent, uint16_t delay,
                         uint8_t index) {
    const uint8_t packed = static_cast<uint8_t>(((disposal << 2) & 0x1F) | (transparent ? 1 : 0));
    out.Bytes("\x21\xF9\x04", 3);
    out.U8(packed);
    out.U16(delay);
    out.U8(index);
    out.U8(0);
}

void WriteColorTable(ByteWriter& out, const CRaster& image) {
    for (uint32_t i = 0; i < image.GetNumColors(); ++i) {
        const RGBQUAD c = image.GetPaletteColor(i);
        out.U8(c.rgbRed);
        out.U8(c.rgbGreen);
        out.U8(c.rgbBlue);
    }
}

void WriteScreen(ByteWriter& out, const CRaster& image, uint16_t width, uint16_t height) {
    out.Text("GIF89a");
    out.U16(width);
    out.U16(height);
    const uint32_t bits = image.GetBpp();
    if (bits <= 8) {
        out.U8(static_cast<uint8_t>(0x80 | (((bits + 7) << 5) & 0xFF) | (bits - 1)));
    } else {
        out.U8(0x11);
    }
    out.U8(0);  // background colour index
    out.U8(0);  // aspect
    if (bits <= 8) WriteColorTable(out, image);
}

bool SamePalette(const CRaster& a, const CRaster& b) {
    return a.GetNumColors() == b.GetNumColors() &&
           std::memcmp(a.GetPalette(), b.GetPalette(), a.GetPaletteSize()) == 0;
}

// A palette image as one block; a local colour table when its palette is not the screen's.
void WritePaletteImage(ByteWriter& out, const CRaster& image, const CRaster& screen, int disposal) {
    const int32_t trans = image.GetTransIndex();
    const bool transparent = trans >= 0 && static_cast<uint32_t>(trans) < image.GetNumColors();
    WriteGraphicControl(out, disposal, transparent, static_cast<uint16_t>(image.GetFrameDelay()),
                        transparent ? static_cast<uint8_t>(trans) : 0);
    const uint32_t width = image.GetWidth(), height = image.GetHeight(), bits = image.GetBpp();
    out.U8(0x2C);
    out.U16(static_cast<uint16_t>(image.GetXOffset()));
    out.U16(static_cast<uint16_t>(image.GetYOffset()));
    out.U16(static_cast<uint16_t>(width));
    out.U16(static_cast<uint16_t>(height));
    if (&image == &screen || SamePalette(image, screen)) {
        out.U8(0);
    } else {
        out.U8(static_cast<uint8_t>(0x80 | (bits - 1)));
        WriteColorTable(out, image);
    }
    const int minimum = std::max<int>(bits, 2);
    const uint8_t* base = image.GetBits();
    const uint32_t stride = image.GetEffWidth();
    auto row = [&](uint32_t y) { return base + static_cast<size_t>(height - 1 - y) * stride; };
    if (bits == 8) {
        CompressRect(out, minimum, width, height,
                     [&](uint32_t x, uint32_t y) { return row(y)[x]; });
    } else if (bits == 4) {
        CompressRect(out, minimum, width, height, [&](uint32_t x, uint32_t y) {
            const uint8_t b = row(y)[x >> 1];
            return static_cast<uint8_t>((x & 1) ? b & 0x0F : b >> 4);
        });
    } else {
        CompressRect(out, minimum, width, height, [&](uint32_t x, uint32_t y) {
            return static_cast<uint8_t>((row(y)[x >> 3] >> (7 - (x & 7))) & 1);
        });
    }
}

// A 24-bit image as cells of at most 17 x 15 pixels from the top left, each with a 256-entry
// local table holding every pixel of the cell (index 1 + 17 x row + column; index 0 is the
// transparent colour).
void WriteTiles(ByteWriter& out, const CRaster& image, uint16_t lastDelay) {
    constexpr uint32_t kCellWidth = 17, kCellHeight = 15;
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    const bool keyed = image.GetTransIndex() >= 0;
    const RGBQUAD key = image.GetTransColor();
    const uint8_t* alpha = image.AlphaGetBits();
    const bool transparent = keyed || alpha;
    const int32_t dx = image.GetXOffset(), dy = image.GetYOffset();
    uint8_t table[256 * 3];
    uint8_t cell[kCellWidth * kCellHeight];
    for (uint32_t top = 0; top < height; top += kCellHeight) {
        for (uint32_t left = 0; left < width; left += kCellWidth) {
            const uint32_t w = std::min(kCellWidth, width - left);
            const uint32_t h = std::min(kCellHeight, height - top);
            const bool last = top + kCellHeight >= height && left + kCellWidth >= width;
            std::memset(table, 0, sizeof table);
            if (keyed) {
                table[0] = key.rgbRed;
                table[1] = key.rgbGreen;
                table[2] = key.rgbBlue;
            }
            for (uint32_t r = 0; r < h; ++r) {
                const uint32_t row = height - 1 - (top + r);
                const uint8_t* p = image.GetBits(row) + 3 * left;
                const uint8_t* a =
                    alpha ? alpha + static_cast<size_t>(row) * width + left : nullptr;
                for (uint32_t c = 0; c < w; ++c, p += 3) {
                    const bool clear =
                        (a && a[c] == 0) || (keyed && p[0] == key.rgbBlue && p[1] == key.rgbGreen &&
                                             p[2] == key.rgbRed);
                    const uint32_t index = 1 + kCellWidth * r + c;
                    cell[r * w + c] = clear ? 0 : static_cast<uint8_t>(index);
                    table[3 * index] = p[2];
                    table[3 * index + 1] = p[1];
                    table[3 * index + 2] = p[0];
                }
            }
            WriteGraphicControl(out, 1, transparent, last ? lastDelay : 0, 0);
            out.U8(0x2C);
            out.U16(static_cast<uint16_t>(dx + static_cast<int32_t>(left)));
            out.U16(static_cast<uint16_t>(dy + static_cast<int32_t>(top)));
            out.U16(static_cast<uint16_t>(w));
            out.U16(static_cast<uint16_t>(h));
            out.U8(0x87);
            out.Bytes(table, sizeof table);
            CompressRect(out, 8, w, h, [&](uint32_t x, uint32_t y) { return cell[y * w + x]; });
        }
    }
}

void WriteImageBlocks(ByteWriter& out, const CRaster& image, const CRaster& screen) {
    if (image.GetBpp() == 24)
        WriteTiles(out, image, static_cast<uint16_t>(image.GetFrameDelay()));
    else
        WritePaletteImage(out, image, screen, 0);
}

bool Fits(const CRaster& image) {
    return image.IsValid() && image.GetWidth() <= 0xFFFF && image.GetHeight() <= 0xFFFF;
}

}  // namespace

bool DecodeGif(CRaster& image, CByteStream& stream) {
    const std::vector<uint8_t> bytes = ReadRest(stream);
    GifFile gif;
    if (const char* error = ScanGif(bytes, gif)) {
        image.SetLastError(error);
        return false;
    }
    const bool tiled = IsTiled(gif);
    const int32_t count = tiled ? 1 : static_cast<int32_t>(gif.frames.size());
    image.SetFrameCount(count);
    if (gif.frames.empty()) {
        image.SetLastError(kErrCorrupted);
        return false;
    }
    const int32_t frame = image.GetFrame();
    if (frame < 0 || frame >= count) {
        image.SetLastError(kErrNoFrame);
        return false;
    }
    const GifFrame& f = gif.frames[frame];
    // A frame that shows nothing of earlier frames is read alone, keeping its palette.
    const bool alone = !tiled && (frame == 0 || (CoversScreen(f, gif) && f.transparent < 0));
    const char* error =
        alone ? DecodeBlockImage(bytes, f, image)
              : ComposeFrames(bytes, gif, tiled ? gif.frames.size() - 1 : frame, image);
    if (error) {
        image.Destroy();
        image.SetLastError(error);
        return false;
    }
    image.SetFrameCount(count);
    return true;
}

bool EncodeGif(CRaster& image, CByteStream& stream) {
    if (stream.Error()) {
        image.SetLastError(kErrOpen);
        return false;
    }
    if (!Fits(image)) {
        image.SetLastError(kErrBadImage);
        return false;
    }
    ByteWriter out;
    // Room for a coded pixel a byte, taken up only as it is written: the file is seldom bigger,
    // and the bytes are not moved as they grow.
    out.bytes.reserve(size_t{image.GetWidth()} * image.GetHeight() + 4096);
    WriteScreen(out, image, static_cast<uint16_t>(image.GetWidth()),
                static_cast<uint16_t>(image.GetHeight()));
    WriteImageBlocks(out, image, image);
    out.U8(0x3B);
    if (!out.FlushTo(stream)) {
        image.SetLastError(kErrWrite);
        return false;
    }
    return true;
}

bool EncodeGifFrames(CRaster& report, CByteStream& stream, CRaster** images, int32_t count) {
    if (!images || count <= 0) {
        report.SetLastError(kErrNoImages);
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!images[i] || !Fits(*images[i])) {
            report.SetLastError(kErrBadImage);
            return false;
        }
    }
    if (stream.Error()) {
        report.SetLastError(kErrOpen);
        return false;
    }
    // The screen covers every frame at its offset, so none is cut.
    const CRaster& first = *images[0];
    uint32_t width = first.GetWidth(), height = first.GetHeight();
    for (int32_t i = 0; i < count; ++i) {
        width =
            std::max<uint32_t>(width, std::max(0, images[i]->GetXOffset()) + images[i]->GetWidth());
        height = std::max<uint32_t>(height,
                                    std::max(0, images[i]->GetYOffset()) + images[i]->GetHeight());
    }
    ByteWriter out;
    WriteScreen(out, first, static_cast<uint16_t>(std::min<uint32_t>(width, 0xFFFF)),
                static_cast<uint16_t>(std::min<uint32_t>(height, 0xFFFF)));
    out.Bytes("\x21\xFF\x0B", 3);
    out.Text("NETSCAPE2.0");
    out.Bytes("\x03\x01", 2);
    out.U16(0);  // loop for ever
    out.U8(0);
    for (int32_t i = 0; i < count; ++i) WriteImageBlocks(out, *images[i], first);
    out.U8(0x3B);
    if (!out.FlushTo(stream)) {
        report.SetLastError(kErrWrite);
        return false;
    }
    return true;
}
