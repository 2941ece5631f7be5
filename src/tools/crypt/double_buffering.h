#pragma once

#include <cstdint>
#include <fstream>

namespace filecrypt {

// Delivers an input file in chunks through the caller's buffer, whose two halves are
// refilled alternately.
class CDoubleBuffering {
  public:
    // stream and buffer stay the caller's; buffer holds size bytes (an even number).
    CDoubleBuffering(std::ifstream& stream, std::uint8_t* buffer, int size, int defaultDataLength);

    // Copies the next iDataLen bytes (-1: the default length) into output and returns how
    // many were copied; fewer at the end of the file, 0 once everything was delivered.
    int GetData(std::uint8_t* output, int iDataLen = -1);

  private:
    // A failed read ends delivery as the end of the file does.
    bool AtEnd() const { return !stream.good(); }
    int Read(int offset, int count);

    std::ifstream& stream;
    int m_iSize;
    int defaultDataLength;
    std::uint8_t* buffer;
    int position = 0;
    int end = 0;
    bool secondHalf = false;
    bool finished = false;
};

}  // namespace filecrypt
