#include "tools/crypt/double_buffering.h"

#include "tools/crypt/crypt_error.h"

#include <cstring>

namespace filecrypt {

CDoubleBuffering::CDoubleBuffering(std::ifstream& stream, std::uint8_t* buffer, int size,
                                   int defaultDataLength)
    : stream(stream), m_iSize(size), defaultDataLength(defaultDataLength), buffer(buffer) {
    if (m_iSize % 2 != 0) throw CCryptError("CDoubleBuffering: m_iSize should be Even Number!");
    if (!stream.is_open() || !stream.good())
        throw CCryptError("CDoubleBuffering: Referenced File not Opened or in Bad State!");
    if (defaultDataLength <= 0 || defaultDataLength > m_iSize / 2)
        throw CCryptError("CDoubleBuffering: Illegal Construction Data!");
    end = Read(0, m_iSize / 2);
}

int CDoubleBuffering::Read(int offset, int count) {
    stream.read(reinterpret_cast<char*>(buffer + offset), count);
    return static_cast<int>(stream.gcount());
}

int CDoubleBuffering::GetData(std::uint8_t* output, int iDataLen) {
    const int half = m_iSize / 2;
    const int n = iDataLen == -1 ? defaultDataLength : iDataLen;
    if (n <= 0 || n > half) throw CCryptError("CDoubleBuffering::GetData(): Illegal iDataLen!");
    if (finished) return 0;

    if (position + n < end) {
        std::memcpy(output, buffer + position, n);
        position += n;
        return n;
    }
    if (!secondHalf && !AtEnd()) {
        end += Read(end, half);
        if (end >= position + n) {
            std::memcpy(output, buffer + position, n);
            position += n;
            secondHalf = true;
            return n;
        }
    } else if (secondHalf && !AtEnd()) {
        end = Read(0, half);
        const int wrapped = (position + n) % m_iSize;
        const int tail = m_iSize - position;
        std::memcpy(output, buffer + position, tail);
        if (end < wrapped) {
            finished = true;
            std::memcpy(output + tail, buffer, end);
            return tail + end;
        }
        std::memcpy(output + tail, buffer, n - tail);
        position = wrapped;
        secondHalf = false;
        return n;
    }
    finished = true;
    const int rest = end - position;
    if (rest > 0) std::memcpy(output, buffer + position, rest);
    return rest;
}

}  // namespace filecrypt
