// Traditional ZIP decryption throughput in memory: PwdProtect::decryptBytes over a 32 MiB buffer
// in the 60,000-byte pieces the extraction pipeline hands it. The whole-extraction comparison
// with unzip and 7z on an archive of the same kind is case (e) of bench/extract_compare.sh.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "crypto/PwdProtect.h"

namespace {

void BM_PwdProtectDecrypt(benchmark::State& state) {
    std::vector<std::uint8_t> data(32u << 20);
    std::mt19937_64 gen(7);
    for (auto& b : data) b = static_cast<std::uint8_t>(gen());
    const std::uint32_t piece = std::uint32_t(state.range(0));
    for (auto _ : state) {
        PwdProtect crypt;
        crypt.setPassword("bench-Password-1");
        crypt.initKeys();
        for (std::size_t at = 0; at < data.size(); at += piece)
            crypt.decryptBytes(data.data() + at, std::uint32_t(std::min<std::size_t>(piece, data.size() - at)));
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(data.size()));
}

BENCHMARK(BM_PwdProtectDecrypt)->Arg(60000)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

BENCHMARK_MAIN();
