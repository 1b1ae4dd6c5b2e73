// Md5 throughput against libgcrypt's MD5 on the same buffers, from HashMap-sized keys to 1 MB.
#include <benchmark/benchmark.h>
#include <gcrypt.h>

#include <vector>

#include "base/Md5.h"

namespace {

std::vector<std::uint8_t> input(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 131 + 7);
    return v;
}

void ours(benchmark::State& state) {
    auto data = input(static_cast<std::size_t>(state.range(0)));
    std::uint8_t digest[16];
    for (auto _ : state) {
        Md5 md5;
        md5.update(data.data(), data.size());
        md5.finish(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void libgcrypt(benchmark::State& state) {
    gcry_check_version(nullptr);
    auto data = input(static_cast<std::size_t>(state.range(0)));
    std::uint8_t digest[16];
    for (auto _ : state) {
        gcry_md_hash_buffer(GCRY_MD_MD5, digest, data.data(), data.size());
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(ours)->Arg(24)->Arg(4096)->Arg(1 << 20);
BENCHMARK(libgcrypt)->Arg(24)->Arg(4096)->Arg(1 << 20);
BENCHMARK_MAIN();
