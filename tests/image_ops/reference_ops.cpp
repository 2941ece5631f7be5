#include "reference_ops.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace reference {

namespace {

// An empty result carrying the source's information record and resolution.
CRaster NewLike(const CRaster& src, uint32_t width, uint32_t height, uint32_t bpp, uint32_t type) {
    CRaster r;
    r.CopyInfo(src);
    r.Create(width, height, bpp, type);
    r.SetXDPI(src.GetXDPI());
    r.SetYDPI(src.GetYDPI());
    r.SelectionDelete();
    return r;
}

CRaster NewLike(const CRaster& src, uint32_t width, uint32_t height, uint32_t bpp) {
    return NewLike(src, width, height, bpp, src.GetType());
}

void CopyPalette(const CRaster& src, CRaster& r) {
    if (src.GetNumColors() && r.GetNumColors()) r.SetPalette(src.GetPalette(), src.GetNumColors());
}

uint8_t Grey(const RGBQUAD& c) {
    return static_cast<uint8_t>((30 * c.rgbRed + 59 * c.rgbGreen + 11 * c.rgbBlue) / 100);
}

bool IsPalette(const CRaster& image) {
    return image.GetNumColors() > 0;
}

// Moves one pixel: indices between palette images, colours otherwise.
void MovePixel(const CRaster& src, int32_t sx, int32_t sy, CRaster& r, int32_t x, int32_t y) {
    if (IsPalette(src))
        r.SetPixelIndex(x, y, src.GetPixelIndex(sx, sy));
    else
        r.SetPixelColor(x, y, src.GetPixelColor(sx, sy));
}

int32_t Clamp(int32_t v) {
    return std::clamp(v, 0, 255);
}

}  // namespace

CRaster GrayScale(const CRaster& in) {
    CRaster src(in);
    const int32_t w = src.GetWidth(), h = src.GetHeight();
    if (src.GetBpp() == 24) {
        CRaster r = NewLike(src, w, h, 8);
        r.SetGrayPalette();
        r.AlphaCopy(src);
        r.AlphaPaletteEnable(false);
        if (src.GetTransIndex() >= 0) r.SetTransIndex(Grey(src.GetBackgroundColor()));
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) r.SetPixelIndex(x, y, Grey(src.GetPixelColor(x, y)));
        return r;
    }
    RGBQUAD* pal = src.GetPalette();
    const int32_t n = src.GetNumColors();
    for (int32_t i = 0; i < n; ++i) pal[i].rgbBlue = Grey(pal[i]);
    if (src.GetTransIndex() >= 0 && src.GetTransIndex() < n)
        src.SetTransIndex(pal[src.GetTransIndex()].rgbBlue);
    if (src.GetBpp() == 8) {
        uint8_t* bits = src.GetBits();
        for (uint32_t k = 0; k < src.GetHeader().biSizeImage; ++k) bits[k] = pal[bits[k]].rgbBlue;
        src.SetGrayPalette();
        src.AlphaPaletteEnable(false);
        return src;
    }
    CRaster r = NewLike(src, w, h, 8);  // 1 and 4 bits: the alpha plane is not carried
    r.SetGrayPalette();
    r.AlphaPaletteEnable(false);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) r.SetPixelIndex(x, y, pal[src.GetPixelIndex(x, y)].rgbBlue);
    return r;
}

CRaster Mirror(const CRaster& src) {
    const int32_t w = src.GetWidth(), h = src.GetHeight();
    CRaster r(src, false, false, true);
    r.SelectionDelete();
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            MovePixel(src, x, y, r, w - 1 - x, y);
            if (src.AlphaIsValid()) r.AlphaSet(w - 1 - x, y, src.AlphaGet(x, y));
        }
    }
    return r;
}

namespace {
CRaster Turn(const CRaster& src, bool left) {
    const int32_t W = src.GetWidth(), H = src.GetHeight();
    CRaster r = NewLike(src, H, W, src.GetBpp());
    CopyPalette(src, r);
    if (src.AlphaIsValid()) r.AlphaCreate();
    if (left) {
        // new(x = i, y = j) = old(x = j, y = H - 1 - i)
        for (int32_t i = 0; i < H; ++i) {
            for (int32_t j = 0; j < W; ++j) {
                MovePixel(src, j, H - 1 - i, r, i, j);
                r.AlphaSet(i, j, src.AlphaGet(j, H - 1 - i));
            }
        }
    } else {
        // new(x = j, y = i) = old(x = W - 1 - i, y = j)
        for (int32_t i = 0; i < W; ++i) {
            for (int32_t j = 0; j < H; ++j) {
                MovePixel(src, W - 1 - i, j, r, j, i);
                r.AlphaSet(j, i, src.AlphaGet(W - 1 - i, j));
            }
        }
    }
    return r;
}

// Area averaging, literally: accumulator and carry rows, edges moving by the scale.
void AreaShrink(const CRaster& src, CRaster& r, float xScale, float yScale) {
    const uint32_t W = src.GetWidth(), H = src.GetHeight();
    const uint32_t nw = r.GetWidth(), nh = r.GetHeight();
    std::vector<int64_t> rowA(3 * nw + 6, 0), rowB(3 * nw + 6, 0);
    int64_t* accu = rowA.data();
    int64_t* carry = rowB.data();
    const int64_t scale = static_cast<int64_t>(1000 * xScale * yScale);
    float yEdge = yScale - 1;
    uint8_t* out = r.GetBits(0);
    uint32_t v = 0;
    for (uint32_t y = 0; y < H; ++y) {
        float xEdge = xScale - 1;
        size_t i = 0;
        if (y < yEdge) {
            for (uint32_t x = 0; x < W; ++x) {
                const RGBQUAD p = src.GetPixelColor(x, y);
                const int64_t c[3] = {p.rgbBlue, p.rgbGreen, p.rgbRed};
                if (x < xEdge) {
                    for (int j = 0; j < 3; ++j) accu[i + j] += 1000 * c[j];
                } else {
                    const int64_t wx = static_cast<int64_t>((x - xEdge) * 1000);
                    for (int j = 0; j < 3; ++j) {
                        accu[i] += (1000 - wx) * c[j];
                        accu[i + 3] += wx * c[j];
                        ++i;
                    }
                    xEdge += xScale;
                }
            }
            continue;
        }
        const int64_t wy = static_cast<int64_t>((y - yEdge) * 1000);
        uint32_t written = 0;
        uint8_t* p = out;
        for (uint32_t x = 0; x < W; ++x) {
            const RGBQUAD px = src.GetPixelColor(x, y);
            const int64_t c[3] = {px.rgbBlue, px.rgbGreen, px.rgbRed};
            if (x < xEdge) {
                for (int j = 0; j < 3; ++j) {
                    accu[i + j] += (1000 - wy) * c[j];
                    carry[i + j] += wy * c[j];
                }
            } else {
                const int64_t wx = static_cast<int64_t>((x - xEdge) * 1000);
                for (int j = 0; j < 3; ++j) {
                    accu[i] += (1000 - wy) * (1000 - wx) * c[j] / 1000;
                    *p++ = static_cast<uint8_t>(accu[i] / scale);
                    carry[i] += wy * (1000 - wx) * c[j] / 1000;
                    accu[i + 3] += (1000 - wy) * wx * c[j] / 1000;
                    carry[i + 3] = wy * wx * c[j] / 1000;
                    ++i;
                }
                xEdge += xScale;
                ++written;
            }
        }
        if (written < nw)
            for (int j = 0; j < 3; ++j) *p++ = static_cast<uint8_t>(accu[i + j] / scale);
        std::swap(accu, carry);
        carry[0] = carry[1] = carry[2] = 0;
        ++v;
        out = v < nh ? r.GetBits(v) : nullptr;
        yEdge += yScale;
    }
    if (v < nh)
        for (uint32_t k = 0; k < 3 * nw; ++k) out[k] = static_cast<uint8_t>(accu[k] / scale);
}

void Bilinear(const CRaster& src, CRaster& r, float xScale, float yScale) {
    const int32_t xmax = src.GetWidth() - 1, ymax = src.GetHeight() - 1;
    for (int32_t y = 0; y < static_cast<int32_t>(r.GetHeight()); ++y) {
        const float fY = y * yScale;
        const int32_t iy = std::min(static_cast<int32_t>(fY), ymax);
        const int32_t iy1 = std::min(ymax, iy + 1);
        const float dy = fY - iy;
        for (int32_t x = 0; x < static_cast<int32_t>(r.GetWidth()); ++x) {
            const float fX = x * xScale;
            const int32_t ix = std::min(static_cast<int32_t>(fX), xmax);
            const int32_t ix1 = std::min(xmax, ix + 1);
            const float dx = fX - ix;
            const RGBQUAD c1 = src.GetPixelColor(ix, iy), c2 = src.GetPixelColor(ix1, iy);
            const RGBQUAD c3 = src.GetPixelColor(ix, iy1), c4 = src.GetPixelColor(ix1, iy1);
            auto channel = [&](uint8_t RGBQUAD::*m) {
                const float a = c1.*m * (1 - dy) + c3.*m * dy;
                const float b = c2.*m * (1 - dy) + c4.*m * dy;
                return static_cast<uint8_t>(static_cast<int32_t>(a * (1 - dx) + b * dx));
            };
            RGBQUAD c;
            c.rgbRed = channel(&RGBQUAD::rgbRed);
            c.rgbGreen = channel(&RGBQUAD::rgbGreen);
            c.rgbBlue = channel(&RGBQUAD::rgbBlue);
            r.SetPixelColor(x, y, c);
        }
    }
}
}  // namespace

CRaster RotateLeft(const CRaster& src) {
    return Turn(src, true);
}

CRaster RotateRight(const CRaster& src) {
    return Turn(src, false);
}

CRaster Resample(const CRaster& src, uint32_t newWidth, uint32_t newHeight, bool fast) {
    if (newWidth == src.GetWidth() && newHeight == src.GetHeight()) return CRaster(src);
    const float xScale = static_cast<float>(src.GetWidth()) / static_cast<float>(newWidth);
    const float yScale = static_cast<float>(src.GetHeight()) / static_cast<float>(newHeight);
    CRaster r = NewLike(src, newWidth, newHeight, src.GetBpp());
    CopyPalette(src, r);
    if (fast) {
        for (int32_t y = 0; y < static_cast<int32_t>(newHeight); ++y) {
            const int32_t sy = static_cast<int32_t>(y * yScale);
            for (int32_t x = 0; x < static_cast<int32_t>(newWidth); ++x)
                r.SetPixelColor(x, y, src.GetPixelColor(static_cast<int32_t>(x * xScale), sy));
        }
    } else if (src.GetBpp() == 24 && newWidth < src.GetWidth() && newHeight < src.GetHeight()) {
        AreaShrink(src, r, xScale, yScale);
    } else {
        Bilinear(src, r, xScale, yScale);
    }
    if (src.AlphaIsValid()) {
        r.AlphaCreate();
        for (int32_t y = 0; y < static_cast<int32_t>(newHeight); ++y)
            for (int32_t x = 0; x < static_cast<int32_t>(newWidth); ++x)
                r.AlphaSet(x, y,
                           src.AlphaGet(static_cast<int32_t>(x * xScale),
                                        static_cast<int32_t>(y * yScale)));
    }
    return r;
}

CRaster IncreaseBpp(const CRaster& src, uint32_t bits) {
    if (bits == src.GetBpp()) return CRaster(src);
    CRaster r = NewLike(src, src.GetWidth(), src.GetHeight(), bits);
    CopyPalette(src, r);
    r.SelectionCopy(src);
    r.AlphaCopy(src);
    if (bits == 24) {
        if (src.GetTransIndex() >= 0) {
            RGBQUAD bg = r.GetBackgroundColor();
            const RGBQUAD t = src.GetTransColor();
            bg.rgbRed = t.rgbRed, bg.rgbGreen = t.rgbGreen, bg.rgbBlue = t.rgbBlue;
            r.SetBackgroundColor(bg);
        }
        r.AlphaPaletteEnable(false);
    }
    for (int32_t y = 0; y < static_cast<int32_t>(src.GetHeight()); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(src.GetWidth()); ++x)
            r.SetPixelColor(x, y, src.GetPixelColor(x, y));
    return r;
}

CRaster DecreaseBpp(const CRaster& in, uint32_t bits, bool diffusion, const RGBQUAD* palette) {
    CRaster s(in);
    const int32_t w = s.GetWidth(), h = s.GetHeight();
    CRaster r = NewLike(s, w, h, bits);
    r.SelectionCopy(s);
    r.AlphaCopy(s);
    if (palette) {
        r.SetPalette(palette, r.GetNumColors());
    } else if (bits == 1) {
        r.SetPaletteIndex(0, 0, 0, 0);
        r.SetPaletteIndex(1, 255, 255, 255);
    } else {
        r.SetStdPalette();
    }
    r.AlphaPaletteEnable(false);
    if (s.GetTransIndex() >= 0) r.SetTransIndex(r.GetNearestIndex(s.GetTransColor()));
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            if (!diffusion) {
                r.SetPixelColor(x, y, s.GetPixelColor(x, y));
                continue;
            }
            const RGBQUAD c = s.GetPixelColor(x, y);
            r.SetPixelColor(x, y, c);
            const RGBQUAD e = r.GetPixelColor(x, y);
            const int32_t er = c.rgbRed - e.rgbRed, eg = c.rgbGreen - e.rgbGreen,
                          eb = c.rgbBlue - e.rgbBlue;
            auto add = [&](int32_t px, int32_t py, int32_t weight) {
                if (!s.IsInside(px, py)) return;
                RGBQUAD p = s.GetPixelColor(px, py);
                p.rgbRed = static_cast<uint8_t>(Clamp(p.rgbRed + weight * er / 16));
                p.rgbGreen = static_cast<uint8_t>(Clamp(p.rgbGreen + weight * eg / 16));
                p.rgbBlue = static_cast<uint8_t>(Clamp(p.rgbBlue + weight * eb / 16));
                s.SetPixelColor(px, py, p);
            };
            add(x + 1, y, 7);
            add(x - 1, y + 1, 2);
            add(x, y + 1, 4);
            add(x + 1, y + 1, 1);
        }
    }
    return r;
}

CRaster Crop(const CRaster& src, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const int32_t W = src.GetWidth(), H = src.GetHeight();
    left = std::clamp(left, 0, W);
    right = std::clamp(right, 0, W);
    top = std::clamp(top, 0, H);
    bottom = std::clamp(bottom, 0, H);
    int32_t startY = H - top, endY = H - bottom;
    if (left == right || startY == endY) return CRaster();
    if (left > right) std::swap(left, right);
    if (startY > endY) std::swap(startY, endY);
    CRaster r = NewLike(src, right - left, endY - startY, src.GetBpp());
    CopyPalette(src, r);
    // The alpha plane and the selection are not carried.
    for (int32_t y = 0; y < endY - startY; ++y)
        for (int32_t x = 0; x < right - left; ++x) MovePixel(src, left + x, startY + y, r, x, y);
    return r;
}

CRaster Light(const CRaster& src, int32_t brightness, int32_t contrast) {
    CRaster s(src);
    const float c = contrast * 0.01f;
    auto map = [&](uint8_t v) {
        return static_cast<uint8_t>(Clamp(static_cast<int32_t>(brightness + c * (v - 128) + 128)));
    };
    if (IsPalette(s)) {
        for (uint32_t i = 0; i < s.GetNumColors(); ++i) {
            RGBQUAD e = s.GetPaletteColor(i);
            e.rgbRed = map(e.rgbRed), e.rgbGreen = map(e.rgbGreen), e.rgbBlue = map(e.rgbBlue);
            s.SetPaletteIndex(i, e);
        }
        return s;
    }
    const int32_t w = s.GetWidth();
    for (int32_t y = 0; y < static_cast<int32_t>(s.GetHeight()); ++y) {
        for (int32_t x = 0; x < w; ++x) {
            if (s.SelectionIsValid() && !s.SelectionGetBits()[y * w + x]) continue;
            RGBQUAD p = s.GetPixelColor(x, y);
            p.rgbRed = map(p.rgbRed), p.rgbGreen = map(p.rgbGreen), p.rgbBlue = map(p.rgbBlue);
            s.SetPixelColor(x, y, p);
        }
    }
    return s;
}

CRaster AlphaStrip(const CRaster& src) {
    CRaster s(src);
    const bool alphaPalette = s.IsAlphaPaletteEnabled() && IsPalette(s);
    if (!s.AlphaIsValid() && !alphaPalette) return s;
    const RGBQUAD bg = s.GetBackgroundColor();
    const uint32_t amax = s.GetAlphaMax();
    const int32_t w = s.GetWidth(), h = s.GetHeight();
    CRaster r = s.GetBpp() == 24 ? CRaster() : NewLike(s, w, h, 24, kTypeBmp);
    CRaster& target = s.GetBpp() == 24 ? s : r;
    if (s.GetBpp() < 24) {
        r.SetTransIndex(-1);
        r.AlphaPaletteEnable(false);
    }
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t a = s.AlphaIsValid() ? s.AlphaGet(x, y) * amax / 255 : amax;
            const RGBQUAD p = s.GetPixelColor(x, y);
            if (s.GetBpp() < 24) {
                if (alphaPalette) a = a * p.rgbReserved / 255;
                if (s.GetPixelIndex(x, y) == s.GetTransIndex()) a = 0;
            }
            RGBQUAD o;
            o.rgbRed = static_cast<uint8_t>((bg.rgbRed * (255 - a) + a * p.rgbRed) / 255);
            o.rgbGreen = static_cast<uint8_t>((bg.rgbGreen * (255 - a) + a * p.rgbGreen) / 255);
            o.rgbBlue = static_cast<uint8_t>((bg.rgbBlue * (255 - a) + a * p.rgbBlue) / 255);
            target.SetPixelColor(x, y, o);
        }
    }
    if (s.GetBpp() == 24) {
        s.AlphaDelete();
        return s;
    }
    return r;
}

namespace {
struct Node {
    bool leaf = false;
    uint32_t count = 0;
    uint64_t r = 0, g = 0, b = 0;
    std::unique_ptr<Node> child[8];
    Node* next = nullptr;
};

struct Tree {
    std::unique_ptr<Node> root;
    uint32_t leaves = 0, maxColors, resolution;
    Node* reducible[9] = {};

    void Add(uint8_t r, uint8_t g, uint8_t b) {
        std::unique_ptr<Node>* slot = &root;
        for (uint32_t level = 0;; ++level) {
            if (!*slot) {
                *slot = std::make_unique<Node>();
                if (level == resolution) {
                    (*slot)->leaf = true;
                    ++leaves;
                } else {
                    (*slot)->next = reducible[level];
                    reducible[level] = slot->get();
                }
            }
            Node* n = slot->get();
            if (n->leaf) {
                ++n->count, n->r += r, n->g += g, n->b += b;
                return;
            }
            const int shift = 7 - level;
            slot = &n->child[((r >> shift) & 1) * 4 + ((g >> shift) & 1) * 2 + ((b >> shift) & 1)];
        }
    }
    bool Reduce() {
        int level = resolution - 1;
        while (level > 0 && !reducible[level]) --level;
        if (level < 0 || !reducible[level]) return false;
        Node* n = reducible[level];
        reducible[level] = n->next;
        uint32_t children = 0;
        n->r = n->g = n->b = 0;
        for (auto& c : n->child) {
            if (!c) continue;
            n->count += c->count, n->r += c->r, n->g += c->g, n->b += c->b;
            c.reset();
            ++children;
        }
        n->leaf = true;
        leaves -= children - 1;
        return true;
    }
    void Write(const Node* n, RGBQUAD* out, uint32_t& k) const {
        if (n->leaf) {
            out[k].rgbRed = static_cast<uint8_t>(n->r / n->count);
            out[k].rgbGreen = static_cast<uint8_t>(n->g / n->count);
            out[k].rgbBlue = static_cast<uint8_t>(n->b / n->count);
            out[k++].rgbReserved = 0;
            return;
        }
        for (const auto& c : n->child)
            if (c) Write(c.get(), out, k);
    }
};
}  // namespace

void OctreePalette(const CRaster& src, uint32_t maxColors, uint32_t colorBits, RGBQUAD* out) {
    Tree tree;
    tree.maxColors = maxColors;
    tree.resolution = std::min(colorBits, 8u);
    for (int32_t y = 0; y < static_cast<int32_t>(src.GetHeight()); ++y) {
        for (int32_t x = 0; x < static_cast<int32_t>(src.GetWidth()); ++x) {
            const RGBQUAD c = src.GetPixelColor(x, y);
            tree.Add(c.rgbRed, c.rgbGreen, c.rgbBlue);
            while (tree.leaves > tree.maxColors)
                if (!tree.Reduce()) break;
        }
    }
    uint32_t k = 0;
    if (tree.root) tree.Write(tree.root.get(), out, k);
}

}  // namespace reference
