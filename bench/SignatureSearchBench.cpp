// Finding a 4-byte signature near the end of a 32 MB file: our chunked search through
// FileAccess against a plain reference (1 MB reads and memmem) in the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "log/LogNull.h"
#include "zip/FileAccess.h"

namespace {

constexpr std::size_t kFileSize = 32u << 20;
constexpr std::uint32_t kEndSignature = 0x06054B50;  // "PK\5\6"

// Random bytes (as compressed data looks) whose only signature lies 22 bytes before the end.
const std::string& sampleFile() {
    static const std::string path = [] {
        std::string p = (std::filesystem::temp_directory_path() / "tn-sigsearch.bin").string();
        std::vector<char> bytes(kFileSize);
        std::mt19937 random(7);
        for (char& b : bytes) b = char(random());
        for (void* hit; (hit = memmem(bytes.data(), bytes.size(), "PK\5\6", 4)) != nullptr;)
            static_cast<char*>(hit)[3] = 7;
        std::memcpy(bytes.data() + kFileSize - 22, "PK\5\6", 4);
        std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        std::atexit([] { std::filesystem::remove(std::filesystem::temp_directory_path() / "tn-sigsearch.bin"); });
        return p;
    }();
    return path;
}

void ourFileAccess(benchmark::State& state) {
    LogNull log;
    FileAccess file;
    if (!file.open(sampleFile().c_str(), log)) state.SkipWithError("cannot open");
    for (auto _ : state) {
        std::uint64_t address = 0;
        std::uint8_t found[4];
        if (!file.findSignature(address, kEndSignature, found)) state.SkipWithError("not found");
        benchmark::DoNotOptimize(address);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kFileSize));
}

void referenceReadMemmem(benchmark::State& state) {
    int fd = open(sampleFile().c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> chunk((1u << 20) + 3);
    for (auto _ : state) {
        lseek(fd, 0, SEEK_SET);
        std::size_t keep = 0, base = 0, address = 0;
        for (;;) {
            ssize_t n = read(fd, chunk.data() + keep, chunk.size() - keep);
            if (n <= 0) break;
            std::size_t length = keep + std::size_t(n);
            const void* hit = memmem(chunk.data(), length, "PK\5\6", 4);
            if (hit) {
                address = base + std::size_t(static_cast<const char*>(hit) - chunk.data());
                break;
            }
            keep = length < 3 ? length : 3;
            std::memmove(chunk.data(), chunk.data() + length - keep, keep);
            base += length - keep;
        }
        benchmark::DoNotOptimize(address);
    }
    close(fd);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kFileSize));
}

}  // namespace

BENCHMARK(ourFileAccess)->Unit(benchmark::kMillisecond);
BENCHMARK(referenceReadMemmem)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
