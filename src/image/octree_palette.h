#pragma once

// Builds an optimal palette of at most a given number of colours: every pixel's colour is
// added to an octree whose levels take one bit of red, green and blue from the most
// significant end, and the deepest inner nodes are merged whenever there are too many leaves.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "image/dib_types.h"

class OctreePalette {
  public:
    // colorBits: the tree's depth (colour resolution), at most 8.
    OctreePalette(uint32_t maxColors, uint32_t colorBits);
    ~OctreePalette();
    OctreePalette(const OctreePalette&) = delete;
    OctreePalette& operator=(const OctreePalette&) = delete;

    // Adds every pixel of a packed DIB block (header, colour table, rows padded to 4 bytes) of
    // `size` bytes. False for depths other than 1, 4, 8 and 24, compressed or truncated blocks.
    bool AddImageColors(const uint8_t* dib, size_t size);
    // Writes the leaves' average colours in tree order, at most the maximum number of colours;
    // entries past the leaf count are left as they are.
    void WritePalette(RGBQUAD* palette) const;
    uint32_t GetLeafCount() const { return leafCount; }

  private:
    struct Node;
    static constexpr uint32_t kMaxLevels = 9;

    Node* AddColor(uint8_t red, uint8_t green, uint8_t blue);
    Node* MakeNode(uint32_t level);
    void FreeNode(Node* node);
    bool Reduce();

    Node* root = nullptr;
    uint32_t leafCount = 0;
    uint32_t maxColors;
    uint32_t resolution;
    Node* reducible[kMaxLevels] = {};
    // Nodes live in blocks owned here and freed with the builder; a freed node goes back to
    // the free list with serial 0, a new one gets the next serial.
    std::vector<std::unique_ptr<Node[]>> blocks;
    std::vector<Node*> freeNodes;
    uint64_t nextSerial = 1;
    // Leaves of recently added colours, valid while the leaf keeps its serial.
    struct CacheSlot {
        uint32_t key = 0;  // path bits of the colour + 1
        uint64_t serial = 0;
        Node* leaf = nullptr;
    };
    std::unique_ptr<CacheSlot[]> cache;
};
