#include "tools/crypt/double_buffering.h"

#include "crypt_test_support.h"

#include <gtest/gtest.h>

#include <string>

using filecrypt::CDoubleBuffering;

namespace {

class DoubleBufferingTest : public ::testing::Test {
  protected:
    std::ifstream Open(const Bytes& content) {
        const std::string path = dir.File("input");
        WriteFile(path, content);
        return std::ifstream(path, std::ios::binary);
    }

    // Everything the reader delivers, with the length of each call.
    Bytes Drain(const Bytes& content, int size, int chunk, std::vector<int>* lengths = nullptr) {
        std::ifstream stream = Open(content);
        Bytes window(static_cast<std::size_t>(size));
        CDoubleBuffering reader(stream, window.data(), size, chunk);
        Bytes all, piece(static_cast<std::size_t>(chunk));
        for (int calls = 0; calls < 100000; ++calls) {
            const int got = reader.GetData(piece.data());
            if (lengths) lengths->push_back(got);
            if (got == 0) break;
            all.insert(all.end(), piece.begin(), piece.begin() + got);
        }
        return all;
    }

    TempDir dir;
};

}  // namespace

TEST_F(DoubleBufferingTest, ThousandBytesInChunksOf384) {
    std::vector<int> lengths;
    const Bytes content = Pattern(1000);
    EXPECT_EQ(Drain(content, 1024, 384, &lengths), content);
    EXPECT_EQ(lengths, (std::vector<int>{384, 384, 232, 0}));
}

TEST_F(DoubleBufferingTest, EmptyFileGivesZeroAtOnce) {
    std::vector<int> lengths;
    EXPECT_TRUE(Drain({}, 1024, 384, &lengths).empty());
    EXPECT_EQ(lengths, std::vector<int>{0});
}

TEST_F(DoubleBufferingTest, DeliversEveryByteInOrderAcrossBothHalves) {
    // File sizes around the half and whole buffer, and chunk lengths that wrap the buffer
    // at different points.
    for (int chunk : {1, 7, 256, 384, 500, 512}) {
        for (std::size_t size : {1u, 383u, 384u, 511u, 512u, 513u, 767u, 768u, 1023u, 1024u, 1025u,
                                 1536u, 2048u, 5000u, 9216u}) {
            std::vector<int> lengths;
            const Bytes content = Pattern(size, static_cast<std::uint32_t>(size + chunk));
            ASSERT_EQ(Drain(content, 1024, chunk, &lengths), content) << size << " / " << chunk;
            // Full chunks until the last one.
            for (std::size_t i = 0; i + 2 < lengths.size(); ++i) ASSERT_EQ(lengths[i], chunk);
            ASSERT_EQ(lengths.back(), 0);
        }
    }
}

TEST_F(DoubleBufferingTest, ConstructionErrors) {
    std::ifstream stream = Open(Pattern(100));
    std::uint8_t window[1024];
    ExpectError([&] { CDoubleBuffering(stream, window, 1023, 384); },
                "CDoubleBuffering: m_iSize should be Even Number!");
    ExpectError([&] { CDoubleBuffering(stream, window, 1024, 0); },
                "CDoubleBuffering: Illegal Construction Data!");
    ExpectError([&] { CDoubleBuffering(stream, window, 1024, 513); },
                "CDoubleBuffering: Illegal Construction Data!");
    std::ifstream closed;
    ExpectError([&] { CDoubleBuffering(closed, window, 1024, 384); },
                "CDoubleBuffering: Referenced File not Opened or in Bad State!");
}

TEST_F(DoubleBufferingTest, IllegalLengths) {
    std::ifstream stream = Open(Pattern(100));
    std::uint8_t window[1024], out[1024];
    CDoubleBuffering reader(stream, window, 1024, 384);
    for (int length : {513, 0, -2})
        ExpectError([&] { reader.GetData(out, length); },
                    "CDoubleBuffering::GetData(): Illegal iDataLen!");
    EXPECT_EQ(reader.GetData(out, 512), 100);
}
