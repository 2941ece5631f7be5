#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "image/file_stream.h"
#include "image/memory_stream.h"
#include "test_images.h"

TEST(MemoryStream, GrowsInWholeBlocks) {
    CMemoryStream stream;
    EXPECT_EQ(stream.Tell(), -1);
    EXPECT_EQ(stream.Write("x", 1, 1), 0u);  // nothing attached yet
    ASSERT_TRUE(stream.Open());
    EXPECT_FALSE(stream.Open());
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_TRUE(stream.PutC(7));
    EXPECT_EQ(stream.GetCapacity(), 4096u);
    std::vector<uint8_t> big(5000, 3);
    EXPECT_EQ(stream.Write(big.data(), 1000, 5), 5u);
    EXPECT_EQ(stream.GetCapacity(), 8192u);
    EXPECT_EQ(stream.Size(), 5001);
    EXPECT_EQ(stream.Tell(), 5001);
    EXPECT_TRUE(stream.Eof());
}

TEST(MemoryStream, ReadsWholeItemsAndStopsAtTheEnd) {
    uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    CMemoryStream stream(data, sizeof data);
    uint8_t out[16] = {};
    EXPECT_EQ(stream.Read(out, 4, 2), 2u);
    EXPECT_EQ(stream.Read(out, 4, 2), 0u);  // 2 bytes left: copied, but no whole item
    EXPECT_EQ(out[1], 9);
    EXPECT_EQ(stream.GetC(), -1);
    EXPECT_TRUE(stream.Seek(-3, SEEK_END));
    EXPECT_EQ(stream.GetC(), 7);
    EXPECT_FALSE(stream.Seek(-1, SEEK_SET));
    EXPECT_EQ(stream.Tell(), 8);
    EXPECT_TRUE(stream.Seek(20, SEEK_SET));
    EXPECT_TRUE(stream.Eof());
    EXPECT_NE(stream.Error(), 0);
    EXPECT_EQ(stream.Read(out, 1, 1), 0u);
}

TEST(MemoryStream, NeverGrowsABorrowedBuffer) {
    uint8_t data[4] = {};
    {
        CMemoryStream stream(data, sizeof data);
        EXPECT_EQ(stream.Write("abcd", 1, 4), 4u);
        EXPECT_EQ(stream.Write("e", 1, 1), 0u);
    }
    EXPECT_EQ(data[3], 'd');  // and the destructor did not free it
}

TEST(MemoryStream, SeekPastTheEndThenWriteZeroesTheGap) {
    CMemoryStream stream;
    ASSERT_TRUE(stream.Open());
    stream.PutC(1);
    ASSERT_TRUE(stream.Seek(100, SEEK_SET));
    stream.PutC(2);
    EXPECT_EQ(stream.Size(), 101);
    uint8_t* buffer = stream.GetBuffer();
    EXPECT_EQ(buffer[50], 0);
    EXPECT_EQ(buffer[100], 2);
    stream.Close();  // no longer owned: still ours to free
    std::free(buffer);
}

class FileStreamTest : public TempFolderTest {};

TEST_F(FileStreamTest, BorrowedFilesStayOpen) {
    std::FILE* file = std::fopen(Path("a").c_str(), "wb+");
    ASSERT_NE(file, nullptr);
    {
        CFileStream stream(file);
        EXPECT_FALSE(stream.Open(Path("b").c_str(), "wb"));
        EXPECT_TRUE(stream.PutC('q'));
        EXPECT_EQ(stream.Size(), 1);
        EXPECT_EQ(stream.Tell(), 1);
        EXPECT_TRUE(stream.Close());
    }
    EXPECT_EQ(std::fseek(file, 0, SEEK_SET), 0);
    EXPECT_EQ(std::fgetc(file), 'q');
    std::fclose(file);
}

TEST_F(FileStreamTest, WithoutAFile) {
    CFileStream stream;
    uint8_t b;
    EXPECT_EQ(stream.Read(&b, 1, 1), 0u);
    EXPECT_EQ(stream.Size(), -1);
    EXPECT_EQ(stream.GetC(), -1);
    EXPECT_FALSE(stream.Seek(0, SEEK_SET));
    EXPECT_FALSE(stream.Flush());
    EXPECT_FALSE(stream.Open(Path("missing/x").c_str(), "rb"));
    ASSERT_TRUE(stream.Open(Path("x").c_str(), "wb"));
    EXPECT_EQ(stream.Write("abc", 1, 3), 3u);
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(std::filesystem::file_size(Path("x")), 3u);
}
