// Copy with CRC through the ready-made memory pipeline, against memcpy plus zlib's crc32 on the
// same data in the same run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "pipeline/Output.h"
#include "pipeline/PipelineHelp.h"

namespace {

constexpr size_t kSize = 64 << 20;

const std::vector<std::uint8_t>& input() {
    static std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> v(kSize);
        std::uint32_t x = 1;
        for (auto& b : v) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
        return v;
    }();
    return data;
}

// Lands every byte in a reused block, as a file write would take them.
class BlockOutput : public Output {
public:
    std::uint32_t write(const void* bytes, std::uint32_t size, std::uint32_t count, LogBase*) override {
        std::memcpy(block.data(), bytes, size_t(size) * count);
        return count;
    }
    std::vector<std::uint8_t> block = std::vector<std::uint8_t>(1 << 20);
};

void PipelineStreamMemory(benchmark::State& state) {
    const auto& data = input();
    BlockOutput out;
    for (auto _ : state) {
        PipelineHelp help;
        std::uint32_t crc = 0;
        help.streamMemoryToOutput(data.data(), kSize, &out, crc);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kSize);
}

void ReferenceMemcpyZlibCrc(benchmark::State& state) {
    const auto& data = input();
    std::vector<std::uint8_t> block(1 << 20);
    for (auto _ : state) {
        uLong crc = 0;
        for (size_t at = 0; at < kSize; at += 60000) {
            size_t n = std::min<size_t>(60000, kSize - at);
            std::memcpy(block.data(), data.data() + at, n);
            crc = crc32(crc, data.data() + at, static_cast<uInt>(n));
        }
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kSize);
}

}  // namespace

BENCHMARK(PipelineStreamMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(ReferenceMemcpyZlibCrc)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
