// File encryption: whole 256 MiB files through the engine, as the dialog and quillet-tool run
// them, and the cipher alone on a buffer in memory.
#include "tools/crypt/blowfish_cipher.h"
#include "tools/crypt/file_crypt.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kFileSize = 256LL << 20;

// A folder with the plain and the encrypted 256 MiB file, made once and removed at exit.
struct BenchFiles {
    BenchFiles() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillet-bench-crypt.XXXXXX").string();
        folder = mkdtemp(pattern.data());
        plain = folder + "/plain.bin";
        encrypted = folder + "/E_plain.bin";
        std::vector<char> block(1 << 20);
        std::uint32_t seed = 7;
        std::ofstream out(plain, std::ios::binary);
        for (std::int64_t written = 0; written < kFileSize;
             written += static_cast<std::int64_t>(block.size())) {
            for (char& c : block)
                c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    ~BenchFiles() { std::filesystem::remove_all(folder); }

    std::string folder, plain, encrypted;
};

BenchFiles& Files() {
    static BenchFiles files;
    return files;
}

void RunEngine(benchmark::State& state, bool decrypt) {
    BenchFiles& files = Files();
    filecrypt::FileCrypt engine;
    engine.SetPassword("Pell-Q-Dor");
    if (decrypt) engine.Run(files.plain, files.encrypted);
    engine.SetDecrypt(decrypt);
    const std::string input = decrypt ? files.encrypted : files.plain;
    const std::string output = decrypt ? files.folder + "/D_E_plain.bin" : files.encrypted;
    for (auto _ : state) engine.Run(input, output);
    state.SetBytesProcessed(state.iterations() * kFileSize);
}

void BM_EncryptFile256MiB(benchmark::State& state) {
    RunEngine(state, false);
}
void BM_DecryptFile256MiB(benchmark::State& state) {
    RunEngine(state, true);
}

void BM_BlowfishEcbBuffer(benchmark::State& state) {
    filecrypt::CBlowfishCipher cipher;
    const std::uint32_t vector[2] = {0, 0};
    cipher.SetKey(reinterpret_cast<const std::uint8_t*>("Pell-Q-Dor"), 10, vector, 0, 0);
    std::vector<std::uint8_t> buffer(1 << 16, 0x5A);
    for (auto _ : state) {
        cipher.Encrypt(buffer.data(), buffer.data(), buffer.size());
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffer.size()));
}

// A new password runs the key schedule (521 block encryptions) and the key check.
void BM_KeySchedule(benchmark::State& state) {
    filecrypt::CBlowfishCipher cipher;
    const std::uint32_t vector[2] = {0, 0};
    const char* keys[2] = {"first password", "second password"};
    int which = 0;
    for (auto _ : state) {
        const char* key = keys[which ^= 1];
        cipher.SetKey(reinterpret_cast<const std::uint8_t*>(key), 14 + which, vector, 0, 0);
    }
}

}  // namespace

BENCHMARK(BM_EncryptFile256MiB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DecryptFile256MiB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_BlowfishEcbBuffer);
BENCHMARK(BM_KeySchedule)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
