// JPEG files through libjpeg, fed from and into the image streams by our own source and
// destination managers. Library errors come back here through setjmp and become lastError.

#include "image/codecs.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace {

constexpr size_t kBufferSize = 64 * 1024;
constexpr uint32_t kRowsBetweenEscapeChecks = 16;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void IgnoreMessage(j_common_ptr, int) {}

void InstallErrors(ErrorManager& err, jpeg_common_struct* cinfo) {
    cinfo->err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = IgnoreMessage;  // warnings (recoverable damage) are not failures
    err.message[0] = '\0';
}

// --- source manager ---

struct StreamSource {
    jpeg_source_mgr pub;
    CByteStream* stream;
    bool allRowsRead;
    JOCTET buffer[kBufferSize];
};

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
    size_t got = src->stream->Read(src->buffer, 1, kBufferSize);
    if (got == 0) {
        // The end of the file before the last row is a truncated file; after it, only the
        // end-of-image marker is missing and the picture is complete.
        if (!src->allRowsRead) ERREXIT(cinfo, JERR_INPUT_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        got = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = got;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
    if (count <= 0) return;
    while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// --- destination manager ---

struct StreamDestination {
    jpeg_destination_mgr pub;
    CByteStream* stream;
    JOCTET buffer[kBufferSize];
};

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<StreamDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<StreamDestination*>(cinfo->dest);
    if (dest->stream->Write(dest->buffer, 1, kBufferSize) != kBufferSize)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<StreamDestination*>(cinfo->dest);
    const size_t used = kBufferSize - dest->pub.free_in_buffer;
    if (used && dest->stream->Write(dest->buffer, 1, used) != used) ERREXIT(cinfo, JERR_FILE_WRITE);
}

int32_t DensityToDpi(uint8_t unit, uint16_t density) {
    if (unit == 1) return density;
    if (unit == 2) return static_cast<int32_t>(density * 2.54 + 0.5);
    return 0;
}

// Adobe CMYK files store inverted ink values: red = C * K / 255 and so on.
void CmykRowToBgr(const uint8_t* in, uint8_t* out, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x) {
        const unsigned k = in[4 * x + 3];
        out[3 * x] = static_cast<uint8_t>(in[4 * x + 2] * k / 255);
        out[3 * x + 1] = static_cast<uint8_t>(in[4 * x + 1] * k / 255);
        out[3 * x + 2] = static_cast<uint8_t>(in[4 * x] * k / 255);
    }
}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    StreamSource source;
    std::vector<uint8_t> cmykRow;
};

// Whether the rest of the file can hold the picture its header announces. Huffman codes are at
// least one bit, and every 8 x 8 block of the picture takes at least one for its DC value (in a
// progressive file too), so a file holds no more than 512 pixels a byte (1024 allowed). The
// adaptive arithmetic coder can say far more with a bit; it gets a 32 times wider bound.
bool DataCanFill(StreamSource& source, const jpeg_decompress_struct& cinfo) {
    const int64_t here = source.stream->Tell(), end = source.stream->Size();
    if (here < 0 || end < here) return true;  // a stream of unknown length
    const uint64_t left = uint64_t(end - here) + source.pub.bytes_in_buffer;
    const uint64_t perByte = cinfo.arith_code ? uint64_t{1} << 15 : 1024;
    return uint64_t{cinfo.image_width} * cinfo.image_height <= (left + 64) * perByte;
}

// Runs between setjmp and the end of the decoding; holds no object with a destructor.
const char* DecodeRows(Decoder& d, CRaster& image) {
    jpeg_decompress_struct& cinfo = d.cinfo;
    jpeg_read_header(&cinfo, TRUE);
    const bool grey = cinfo.num_components == 1;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&cinfo);
    if (!DataCanFill(d.source, cinfo)) return "Premature end of JPEG file";
    if (!image.Create(cinfo.output_width, cinfo.output_height, grey ? 8 : 24, kTypeJpeg))
        return "Can't allocate memory";
    if (grey) image.SetGrayPalette();
    image.SetXDPI(DensityToDpi(cinfo.density_unit, cinfo.X_density));
    image.SetYDPI(DensityToDpi(cinfo.density_unit, cinfo.Y_density));
    if (cmyk) d.cmykRow.resize(static_cast<size_t>(cinfo.output_width) * 4);

    jpeg_start_decompress(&cinfo);
    const uint32_t height = cinfo.output_height;
    while (cinfo.output_scanline < height) {
        if (cinfo.output_scanline % kRowsBetweenEscapeChecks == 0 && image.GetEscape())
            return "Cancelled";
        uint8_t* row = image.GetBits(height - 1 - cinfo.output_scanline);
        JSAMPROW target = cmyk ? d.cmykRow.data() : row;
        jpeg_read_scanlines(&cinfo, &target, 1);
        if (cmyk) CmykRowToBgr(d.cmykRow.data(), row, cinfo.output_width);
    }
    d.source.allRowsRead = true;
    jpeg_finish_decompress(&cinfo);
    return nullptr;
}

struct Encoder {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    StreamDestination destination;
};

void EncodeRows(Encoder& e, CRaster& image, bool grey) {
    jpeg_compress_struct& cinfo = e.cinfo;
    cinfo.image_width = image.GetWidth();
    cinfo.image_height = image.GetHeight();
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::min<int>(image.GetEncodeQuality(), 100), TRUE);
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(std::clamp(image.GetXDPI(), 1, 65535));
    cinfo.Y_density = static_cast<UINT16>(std::clamp(image.GetYDPI(), 1, 65535));
    jpeg_start_compress(&cinfo, TRUE);
    const uint32_t height = image.GetHeight();
    while (cinfo.next_scanline < height) {
        JSAMPROW row = image.GetBits(height - 1 - cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
}

}  // namespace

bool DecodeJpeg(CRaster& image, CByteStream& stream) {
    auto d = std::make_unique<Decoder>();
    InstallErrors(d->err, reinterpret_cast<jpeg_common_struct*>(&d->cinfo));
    if (setjmp(d->err.jump)) {
        jpeg_destroy_decompress(&d->cinfo);
        image.SetLastError(d->err.message);
        image.Destroy();
        return false;
    }
    jpeg_create_decompress(&d->cinfo);
    d->cinfo.mem->max_memory_to_use = static_cast<long>(kMaxRasterBlock);
    d->source.stream = &stream;
    d->source.allRowsRead = false;
    d->source.pub.init_source = InitSource;
    d->source.pub.fill_input_buffer = FillInputBuffer;
    d->source.pub.skip_input_data = SkipInputData;
    d->source.pub.resync_to_restart = jpeg_resync_to_restart;
    d->source.pub.term_source = TermSource;
    d->source.pub.bytes_in_buffer = 0;
    d->source.pub.next_input_byte = nullptr;
    d->cinfo.src = &d->source.pub;

    const char* error = DecodeRows(*d, image);
    jpeg_destroy_decompress(&d->cinfo);
    if (error) {
        image.SetLastError(error);
        image.Destroy();
        return false;
    }
    return true;
}

bool EncodeJpeg(CRaster& image, CByteStream& stream) {
    const bool grey = image.GetBpp() == 8 && image.IsGrayScale();
    if (image.GetBpp() != 24 && !grey) {
        image.SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    auto e = std::make_unique<Encoder>();
    InstallErrors(e->err, reinterpret_cast<jpeg_common_struct*>(&e->cinfo));
    if (setjmp(e->err.jump)) {
        jpeg_destroy_compress(&e->cinfo);
        image.SetLastError(e->err.message);
        return false;
    }
    jpeg_create_compress(&e->cinfo);
    e->destination.stream = &stream;
    e->destination.pub.init_destination = InitDestination;
    e->destination.pub.empty_output_buffer = EmptyOutputBuffer;
    e->destination.pub.term_destination = TermDestination;
    e->cinfo.dest = &e->destination.pub;
    EncodeRows(*e, image, grey);
    jpeg_destroy_compress(&e->cinfo);
    return true;
}
