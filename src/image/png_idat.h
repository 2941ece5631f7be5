#pragma once

// The compressed image data of a PNG file, made on every core: rows filtered as libpng filters
// them, strips of rows deflated in parallel by libdeflate, each strip but the last joined to the
// next as a sync flush joins them, and the strips' Adler-32 values combined into one zlib stream.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace pngidat {

// Writes row `y` (0 at the top) of the image in the file's byte order into `out` (rowBytes long).
// Called from several threads at once.
using RowSource = std::function<void(uint32_t y, uint8_t* out)>;

struct Layout {
    uint32_t height = 0;
    size_t rowBytes = 0;      // bytes of one row without its filter byte
    unsigned pixelBytes = 1;  // distance to the byte of the pixel on the left (at least 1)
    bool adaptive = false;    // choose a filter per row; false: no filtering
    int level = 6;            // libdeflate compression level
    // Raw bytes per strip: big enough that the sync flush and the strip's cold start (no matches
    // into the rows before it) cost next to nothing, small enough that two cores share a
    // screenshot evenly.
    size_t stripBytes = 256 * 1024;
};

// The zlib stream of the filtered rows, cut into pieces (one per strip) whose concatenation is
// the stream. False when zlib fails.
bool Compress(const Layout& layout, const RowSource& source,
              std::vector<std::vector<uint8_t>>& pieces);

// A run of inflated bytes (left uninitialised past `size`).
struct Inflated {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
};

// Inflates the zlib stream `stream` (`size` bytes) with libdeflate into pieces whose concatenation
// is its data, at most `limit` bytes, and checks its checksum. A stream that can be cut at a sync
// flush past its middle, with nothing after the cut referring back across it (as the strips
// written above), is inflated as two halves on two cores. False when libdeflate cannot take the
// stream (damaged, or more data than `limit`).
bool Inflate(const uint8_t* stream, size_t size, size_t limit, std::vector<Inflated>& pieces);

// The row data the decoder will see: each row's filter byte followed by the filtered bytes.
// Exposed for the tests, which check the filters against their plain definition.
void FilterRow(const uint8_t* row, const uint8_t* previous, size_t rowBytes, unsigned pixelBytes,
               bool adaptive, uint8_t* out);

}  // namespace pngidat
