// CRC-32 throughput: ZipCRC (chosen kernel and portable kernel) beside zlib's crc32 on the same
// 64 MiB buffer, ending with the ratio of our throughput to zlib's.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codecs/ZipCRC.h"
#include "codecs/ZipCRCFold.h"

namespace {

const std::vector<std::uint8_t>& buffer() {
    static const std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> v(64u << 20);
        std::mt19937_64 gen(42);
        for (auto& b : v) b = static_cast<std::uint8_t>(gen());
        return v;
    }();
    return data;
}

void run(benchmark::State& state, std::uint32_t (*crc)(const std::uint8_t*, std::size_t)) {
    const auto& data = buffer();
    for (auto _ : state) benchmark::DoNotOptimize(crc(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

void BM_zlib_crc32(benchmark::State& s) {
    run(s, [](const std::uint8_t* p, std::size_t n) {
        return static_cast<std::uint32_t>(crc32(0L, p, static_cast<uInt>(n)));
    });
}
void BM_ZipCRC(benchmark::State& s) {
    run(s, [](const std::uint8_t* p, std::size_t n) { return ~ZipCRC::updateState(0xFFFFFFFFu, p, n); });
}
void BM_ZipCRC_slice16(benchmark::State& s) {
    run(s, [](const std::uint8_t* p, std::size_t n) { return ~zipCRCSlice16(0xFFFFFFFFu, p, n); });
}

BENCHMARK(BM_zlib_crc32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZipCRC)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZipCRC_slice16)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's bytes per second for the closing ratio lines.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) rates[r.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    buffer();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double zlib = reporter.rates["BM_zlib_crc32"];
    std::printf("kernel chosen: %s\n", zipCRCHasClmul() ? "carry-less multiply" : "slicing-by-16");
    for (const char* name : {"BM_ZipCRC", "BM_ZipCRC_slice16"})
        if (zlib > 0 && reporter.rates.count(name))
            std::printf("%s / zlib crc32: %.2fx (%.2f vs %.2f GB/s)\n", name, reporter.rates[name] / zlib,
                        reporter.rates[name] / 1e9, zlib / 1e9);
    benchmark::Shutdown();
    return 0;
}
