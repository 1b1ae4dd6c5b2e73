// Inflate throughput, ours against zlib's inflate, on the same raw deflate data made at start-up
// from a text-like corpus (TN_BENCH_MB megabytes, default 96). Prints both rates and the ratio.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codecs/InflateOutput.h"
#include "codecs/InflateState2.h"
#include "log/LogNull.h"
#include "tests/ZlibRaw.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Words of a Zipf-like vocabulary with punctuation and line breaks: compresses about like prose.
Bytes textCorpus(std::size_t size) {
    std::mt19937 rng(42);
    std::vector<std::string> vocabulary;
    for (int i = 0; i < 6000; ++i) {
        std::string w;
        for (unsigned n = 2 + rng() % 9; n; --n) w += char('a' + (rng() % 26 < 20 ? rng() % 12 : rng() % 26));
        vocabulary.push_back(w);
    }
    std::vector<double> weights;
    for (int i = 0; i < 6000; ++i) weights.push_back(1.0 / (i + 1));
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    Bytes text;
    text.reserve(size + 64);
    unsigned column = 0;
    while (text.size() < size) {
        const std::string& w = vocabulary[pick(rng)];
        text.insert(text.end(), w.begin(), w.end());
        column += unsigned(w.size()) + 1;
        unsigned r = rng() % 100;
        text.push_back(r < 6 ? ',' : r < 10 ? '.' : ' ');
        if (column > 72) text.push_back('\n'), column = 0;
    }
    text.resize(size);
    return text;
}

struct Corpus {
    Bytes original;
    Bytes packed;
    Corpus() {
        const char* mb = std::getenv("TN_BENCH_MB");
        original = textCorpus(std::size_t(mb ? std::atoi(mb) : 96) << 20);
        packed = zlibDeflateRaw(original.data(), original.size(), 6);
    }
};

const Corpus& corpus() {
    static const Corpus c;
    return c;
}

// Both decoders deliver into a 256 KB buffer that is reused, as a file writer would.
constexpr std::size_t kOutSize = 256 << 10;

class CopySink : public InflateOutput {
public:
    bool spaceAvailable(std::uint32_t& count) override { return count = 1u << 30, true; }
    bool write(const std::uint8_t* bytes, std::uint32_t count) override {
        if (m_used + count > kOutSize) m_used = 0;
        std::memcpy(m_out.data() + m_used, bytes, count);
        m_used += count;
        if (crc) *crc = crc32(*crc, bytes, count);
        return true;
    }
    uLong* crc = nullptr;  // checks the output outside the timed runs

private:
    Bytes m_out = Bytes(kOutSize);
    std::size_t m_used = 0;
};

bool oursMatchesCorpus() {
    const Corpus& c = corpus();
    uLong crc = 0;
    CopySink sink;
    sink.crc = &crc;
    InflateState2 inflater;
    inflater.setSink(&sink);
    LogNull log;
    inflater.inflateBuffer(c.packed.data(), std::uint32_t(c.packed.size()), log, false);
    return !inflater.hadError() && crc == crc32(0, c.original.data(), uInt(c.original.size()));
}

void BM_InflateOurs(benchmark::State& state) {
    const Corpus& c = corpus();
    LogNull log;
    for (auto _ : state) {
        CopySink sink;
        InflateState2 inflater;
        inflater.setSink(&sink);
        inflater.inflateBuffer(c.packed.data(), std::uint32_t(c.packed.size()), log, false);
        if (inflater.hadError()) state.SkipWithError("inflate failed");
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * c.original.size()));
}

void BM_InflateZlib(benchmark::State& state) {
    const Corpus& c = corpus();
    Bytes out(kOutSize);
    for (auto _ : state) {
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef*>(c.packed.data());
        z.avail_in = uInt(c.packed.size());
        int rc;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            rc = inflate(&z, Z_NO_FLUSH);
        } while (rc == Z_OK);
        if (rc != Z_STREAM_END || z.total_out != c.original.size()) state.SkipWithError("zlib inflate failed");
        inflateEnd(&z);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * c.original.size()));
}

// Repetitions in random order, so that load from elsewhere on the machine hits both alike.
BENCHMARK(BM_InflateOurs)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(6);
BENCHMARK(BM_InflateZlib)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(6);

// Remembers each benchmark's best rate over its repetitions, by CPU time, for the comparison line.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            double seconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            double rate = double(corpus().original.size()) / seconds / 1e6;
            double& best = rates[run.run_name.function_name];
            if (rate > best) best = rate;
        }
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    argc = int(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    const Corpus& c = corpus();
    std::printf("corpus: %zu bytes of text, %zu bytes of raw deflate (zlib level 6)\n", c.original.size(),
                c.packed.size());
    if (!oursMatchesCorpus()) {
        std::fprintf(stderr, "our inflate does not reproduce the corpus\n");
        return 1;
    }
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double ours = reporter.rates["BM_InflateOurs"], zlib = reporter.rates["BM_InflateZlib"];
    if (ours > 0 && zlib > 0)
        std::printf("inflate (best CPU-time rate of each): ours %.0f MB/s, zlib %.0f MB/s, ratio %.2f\n", ours, zlib,
                    ours / zlib);
    benchmark::Shutdown();
    return 0;
}
