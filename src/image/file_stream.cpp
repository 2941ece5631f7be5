#include "image/file_stream.h"

CFileStream::CFileStream(std::FILE* file) : file(file) {}

CFileStream::~CFileStream() {
    Close();
}

bool CFileStream::Open(const char* path, const char* mode) {
    if (file) return false;
    file = std::fopen(path, mode);
    ownsFile = file != nullptr;
    return file != nullptr;
}

bool CFileStream::Close() {
    if (!file || !ownsFile) return true;  // a borrowed file stays open
    const bool ok = std::fclose(file) == 0;
    file = nullptr;
    ownsFile = false;
    return ok;
}

size_t CFileStream::Read(void* buffer, size_t size, size_t count) {
    return file ? std::fread(buffer, size, count, file) : 0;
}

size_t CFileStream::Write(const void* buffer, size_t size, size_t count) {
    return file ? std::fwrite(buffer, size, count, file) : 0;
}

bool CFileStream::Seek(int64_t offset, int origin) {
    return file && fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

int64_t CFileStream::Tell() {
    return file ? static_cast<int64_t>(ftello(file)) : 0;
}

int64_t CFileStream::Size() {
    if (!file) return -1;
    const off_t position = ftello(file);
    if (position < 0 || fseeko(file, 0, SEEK_END) != 0) return -1;
    const off_t size = ftello(file);
    fseeko(file, position, SEEK_SET);
    return static_cast<int64_t>(size);
}

bool CFileStream::Flush() {
    return file && std::fflush(file) == 0;
}

bool CFileStream::Eof() {
    return !file || std::feof(file) != 0;
}

int CFileStream::Error() {
    return file ? std::ferror(file) : 1;
}

bool CFileStream::PutC(uint8_t c) {
    return file && std::fputc(c, file) != EOF;
}

int CFileStream::GetC() {
    return file ? std::fgetc(file) : -1;
}
