#include "image/byte_stream.h"

bool CByteStream::PutC(uint8_t c) {
    return Write(&c, 1, 1) == 1;
}
