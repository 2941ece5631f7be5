#include "image/octree_palette.h"

#include <algorithm>

namespace {
constexpr uint32_t kCacheBits = 14;
constexpr size_t kBlockNodes = 1024;
}  // namespace

struct OctreePalette::Node {
    bool leaf = false;
    uint64_t serial = 0;
    uint32_t pixelCount = 0;
    // Sums of the colours that reached this leaf (64 bits: a big image overflows 32).
    uint64_t red = 0, green = 0, blue = 0;
    Node* child[8] = {};
    Node* nextReducible = nullptr;
};

OctreePalette::OctreePalette(uint32_t maxColors, uint32_t colorBits)
    : maxColors(maxColors),
      resolution(std::min(colorBits, 8u)),
      cache(new CacheSlot[size_t{1} << kCacheBits]) {}

OctreePalette::~OctreePalette() = default;

OctreePalette::Node* OctreePalette::MakeNode(uint32_t level) {
    if (freeNodes.empty()) {
        blocks.emplace_back(new Node[kBlockNodes]);
        for (size_t i = kBlockNodes; i-- > 0;) freeNodes.push_back(&blocks.back()[i]);
    }
    Node* node = freeNodes.back();
    freeNodes.pop_back();
    *node = Node{};
    node->serial = nextSerial++;
    if (level == resolution) {
        node->leaf = true;
        ++leafCount;
    } else {
        node->nextReducible = reducible[level];
        reducible[level] = node;
    }
    return node;
}

void OctreePalette::FreeNode(Node* node) {
    for (Node* child : node->child)
        if (child) FreeNode(child);
    *node = Node{};
    freeNodes.push_back(node);
}

OctreePalette::Node* OctreePalette::AddColor(uint8_t red, uint8_t green, uint8_t blue) {
    Node** slot = &root;
    for (uint32_t level = 0;; ++level) {
        if (!*slot) *slot = MakeNode(level);
        Node* node = *slot;
        if (node->leaf) {
            ++node->pixelCount;
            node->red += red;
            node->green += green;
            node->blue += blue;
            return node;
        }
        const uint32_t shift = 7 - level;
        const uint32_t index =
            (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
        slot = &node->child[index];
    }
}

// Merges the children of the first reducible node of the deepest level that has one.
bool OctreePalette::Reduce() {
    int32_t level = static_cast<int32_t>(resolution) - 1;
    while (level > 0 && !reducible[level]) --level;
    if (level < 0 || !reducible[level]) return false;
    Node* node = reducible[level];
    reducible[level] = node->nextReducible;
    uint64_t red = 0, green = 0, blue = 0;
    uint32_t children = 0;
    for (Node*& child : node->child) {
        if (!child) continue;
        node->pixelCount += child->pixelCount;
        red += child->red;
        green += child->green;
        blue += child->blue;
        FreeNode(child);
        child = nullptr;
        ++children;
    }
    node->red = red;
    node->green = green;
    node->blue = blue;
    node->leaf = true;
    leafCount -= children - 1;
    return true;
}

bool OctreePalette::AddImageColors(const uint8_t* dib, size_t size) {
    if (!dib || size < kInfoHeaderSize) return false;
    const BITMAPINFOHEADER h = LoadInfoHeader(dib);
    const uint32_t bpp = h.biBitCount;
    if ((bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) || h.biCompression != BI_RGB ||
        h.biSize < kInfoHeaderSize || h.biWidth <= 0 || h.biHeight == 0)
        return false;
    const uint64_t width = static_cast<uint64_t>(h.biWidth);
    const uint64_t height = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
    const uint64_t entries = bpp == 24     ? 0
                             : h.biClrUsed ? std::min(h.biClrUsed, 1u << bpp)
                                           : 1u << bpp;
    const uint64_t rowBytes = (width * bpp + 31) / 32 * 4;
    const uint64_t pixels = uint64_t{h.biSize} + entries * 4;
    if (pixels + rowBytes * height > size) return false;

    RGBQUAD table[256] = {};
    for (uint64_t i = 0; i < entries; ++i) {
        const uint8_t* e = dib + h.biSize + i * 4;
        table[i].rgbBlue = e[0];
        table[i].rgbGreen = e[1];
        table[i].rgbRed = e[2];
    }
    const uint32_t cacheMask = (1u << kCacheBits) - 1;
    const uint32_t pathBits = ((0xFF00u >> resolution) & 0xFF) * 0x010101u;
    for (uint64_t y = 0; y < height; ++y) {
        const uint8_t* row = dib + pixels + y * rowBytes;
        for (uint64_t x = 0; x < width; ++x) {
            uint8_t r, g, b;
            if (bpp == 24) {
                b = row[x * 3], g = row[x * 3 + 1], r = row[x * 3 + 2];
            } else {
                uint32_t index;
                if (bpp == 8)
                    index = row[x];
                else if (bpp == 4)
                    index = (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
                else
                    index = (row[x >> 3] >> (7 - (x & 7))) & 1;
                const RGBQUAD& c = table[index];  // past the table's end: black
                b = c.rgbBlue, g = c.rgbGreen, r = c.rgbRed;
            }
            // A colour whose leaf is known goes straight there: adding it again would create
            // no node and so trigger no reduction. The path depends only on the bits the tree
            // looks at.
            const uint32_t key = (((uint32_t{r} << 16) | (uint32_t{g} << 8) | b) & pathBits) + 1;
            CacheSlot& slot = cache[(key * 2654435761u) >> (32 - kCacheBits) & cacheMask];
            if (slot.key == key && slot.leaf->serial == slot.serial) {
                ++slot.leaf->pixelCount;
                slot.leaf->red += r;
                slot.leaf->green += g;
                slot.leaf->blue += b;
                continue;
            }
            Node* leaf = AddColor(r, g, b);
            while (leafCount > maxColors)
                if (!Reduce()) break;
            // A reduction may have merged the leaf into its parent, which then takes the colour.
            if (leaf->serial) slot = {key, leaf->serial, leaf};
        }
    }
    return true;
}

namespace {
struct PaletteWriter {
    RGBQUAD* palette;
    uint32_t limit;
    uint32_t written = 0;
};
}  // namespace

void OctreePalette::WritePalette(RGBQUAD* palette) const {
    if (!palette || !root) return;
    PaletteWriter writer{palette, maxColors};
    // Depth first, children in index order.
    auto walk = [&writer](const Node* node, auto& self) -> void {
        if (writer.written >= writer.limit) return;
        if (node->leaf) {
            const uint32_t n = std::max<uint32_t>(node->pixelCount, 1);
            RGBQUAD& c = writer.palette[writer.written++];
            c.rgbRed = static_cast<uint8_t>(node->red / n);
            c.rgbGreen = static_cast<uint8_t>(node->green / n);
            c.rgbBlue = static_cast<uint8_t>(node->blue / n);
            c.rgbReserved = 0;
            return;
        }
        for (const Node* child : node->child)
            if (child) self(child, self);
    };
    walk(root, walk);
}
