// Inflate throughput, ours against zlib's inflate and libdeflate, on the same raw deflate data
// made at start-up (zlib level 6) from two corpora of TN_BENCH_MB megabytes each (default 96):
// text-like prose, and executables (the files of /usr/bin and /usr/lib concatenated). Prints
// every rate and our ratio to each reference.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
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

// Regular files of `dir` in name order, appended whole until `out` holds `size` bytes.
void appendFiles(const std::string& dir, std::size_t size, Bytes& out) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_type == DT_REG) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (out.size() >= size) return;
        if (FILE* f = std::fopen((dir + "/" + name).c_str(), "rb")) {
            std::uint8_t block[1 << 16];
            while (std::size_t n = std::fread(block, 1, sizeof block, f)) out.insert(out.end(), block, block + n);
            std::fclose(f);
        }
    }
}

// Machine code and its data: what the executables of a publication compress like.
Bytes binaryCorpus(std::size_t size) {
    Bytes bytes;
    bytes.reserve(size + (1 << 20));
    for (const char* dir : {"/usr/bin", "/usr/lib/x86_64-linux-gnu", "/usr/lib"}) appendFiles(dir, size, bytes);
    bytes.resize(std::min(size, bytes.size()));
    return bytes;
}

struct Corpus {
    const char* name;
    Bytes original;
    Bytes packed;
};

std::size_t corpusSize() {
    const char* mb = std::getenv("TN_BENCH_MB");
    return std::size_t(mb ? std::atoi(mb) : 96) << 20;
}

Corpus makeCorpus(const char* name, Bytes original) {
    Bytes packed = zlibDeflateRaw(original.data(), original.size(), 6);
    return Corpus{name, std::move(original), std::move(packed)};
}

const Corpus& corpus(int which) {
    static const Corpus text = makeCorpus("text", textCorpus(corpusSize()));
    static const Corpus binary = makeCorpus("binary", binaryCorpus(corpusSize()));
    return which == 0 ? text : binary;
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

bool oursMatchesCorpus(const Corpus& c) {
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
    const Corpus& c = corpus(int(state.range(0)));
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
    const Corpus& c = corpus(int(state.range(0)));
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

// libdeflate decodes whole buffers only, so it writes into one buffer of the full output size.
void BM_InflateLibdeflate(benchmark::State& state) {
    const Corpus& c = corpus(int(state.range(0)));
    Bytes out(c.original.size());
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        std::size_t produced = 0;
        if (libdeflate_deflate_decompress(d, c.packed.data(), c.packed.size(), out.data(), out.size(), &produced) !=
                LIBDEFLATE_SUCCESS ||
            produced != c.original.size())
            state.SkipWithError("libdeflate failed");
    }
    libdeflate_free_decompressor(d);
    state.SetBytesProcessed(std::int64_t(state.iterations() * c.original.size()));
}

// Argument 0 is the text corpus, 1 the binary one. Repetitions in random order, so that load
// from elsewhere on the machine hits all alike.
BENCHMARK(BM_InflateOurs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(6);
BENCHMARK(BM_InflateZlib)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(6);
BENCHMARK(BM_InflateLibdeflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(6);

// Collects each benchmark's rates over its repetitions, by CPU time, for the comparison lines.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            double seconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            int which = run.run_name.args == "1" ? 1 : 0;
            rates[{run.run_name.function_name, which}].push_back(double(corpus(which).original.size()) / seconds / 1e6);
        }
    }
    // Median of the repetitions (0 when the benchmark did not run).
    double median(const char* name, int which) {
        std::vector<double>& r = rates[{name, which}];
        if (r.empty()) return 0;
        std::sort(r.begin(), r.end());
        return r.size() % 2 ? r[r.size() / 2] : (r[r.size() / 2 - 1] + r[r.size() / 2]) / 2;
    }
    std::map<std::pair<std::string, int>, std::vector<double>> rates;
};

}  // namespace

// One decode by us and one by libdeflate of one corpus, for instruction counts under callgrind
// (TN_BENCH_ONCE=text or binary; valgrind --tool=callgrind --collect-atstart=no with
// --toggle-collect for InflateState2::inflateBuffer*, libdeflate_deflate_decompress and
// *CopySink::write*, so that the sink's copy is left out).
int decodeOnce(int which) {
    const Corpus& c = corpus(which);
    CopySink sink;  // no CRC: only the decode is counted
    InflateState2 inflater;
    inflater.setSink(&sink);
    LogNull log;
    inflater.inflateBuffer(c.packed.data(), std::uint32_t(c.packed.size()), log, false);
    if (inflater.hadError()) return 1;
    Bytes out(c.original.size());
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::size_t produced = 0;
    libdeflate_deflate_decompress(d, c.packed.data(), c.packed.size(), out.data(), out.size(), &produced);
    libdeflate_free_decompressor(d);
    std::printf("%s: %zu bytes out, libdeflate %zu\n", c.name, c.original.size(), produced);
    return produced == c.original.size() ? 0 : 1;
}

int main(int argc, char** argv) {
    if (const char* once = std::getenv("TN_BENCH_ONCE")) return decodeOnce(std::strcmp(once, "binary") == 0 ? 1 : 0);
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    argc = int(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    for (int which : {0, 1}) {
        const Corpus& c = corpus(which);
        std::printf("corpus %s: %zu bytes, %zu bytes of raw deflate (zlib level 6)\n", c.name, c.original.size(),
                    c.packed.size());
        if (!oursMatchesCorpus(c)) {
            std::fprintf(stderr, "our inflate does not reproduce the %s corpus\n", c.name);
            return 1;
        }
    }
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (int which : {0, 1}) {
        double ours = reporter.median("BM_InflateOurs", which), zlib = reporter.median("BM_InflateZlib", which),
               libdeflate = reporter.median("BM_InflateLibdeflate", which);
        if (ours <= 0) continue;
        std::printf(
            "%s (median CPU-time rate): ours %.0f MB/s, zlib %.0f MB/s, libdeflate %.0f MB/s;"
            " ours/zlib %.2f, ours/libdeflate %.2f\n",
            corpus(which).name, ours, zlib, libdeflate, zlib > 0 ? ours / zlib : 0,
            libdeflate > 0 ? ours / libdeflate : 0);
    }
    benchmark::Shutdown();
    return 0;
}
