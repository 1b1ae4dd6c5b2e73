// Code page conversion throughput: EncodingConvert beside glibc iconv on the same 1 MiB texts
// (UTF-8 to UTF-16LE, Windows-1252 to UTF-8, Shift-JIS to UTF-16LE and UTF-16LE to Shift-JIS).
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "base/DataBuffer.h"
#include "base/EncodingConvert.h"

namespace {

struct Job {
    int from;
    int to;
    const char* iconvFrom;
    const char* iconvTo;
};

const Job kJobs[] = {
    {65001, 1200, "UTF-8", "UTF-16LE"},
    {1252, 65001, "CP1252", "UTF-8"},
    {932, 1200, "CP932", "UTF-16LE"},
    {1200, 932, "UTF-16LE", "CP932"},
};

// About 1 MiB of text in the job's source code page, made from a mixed sample through iconv.
std::string sample(const Job& job) {
    const std::string utf8 = "Archive name: r\xC3\xA9sum\xC3\xA9_2024/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt ";
    const std::string latin = "Archive name: r\xC3\xA9sum\xC3\xA9_2024/caf\xC3\xA9 \xE2\x82\xAC.txt ";
    const std::string japanese =
        "Archive name: \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E/\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB_2024.txt ";
    bool shiftJis = job.from == 932 || job.to == 932;
    std::string text;
    while (text.size() < (1u << 20)) text += shiftJis ? japanese : job.from == 1252 ? latin : utf8;
    iconv_t cd = iconv_open(job.iconvFrom, "UTF-8");
    std::string out(text.size() * 2 + 16, '\0');
    char* in = text.data();
    char* o = out.data();
    size_t inLeft = text.size(), outLeft = out.size();
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

void ours(benchmark::State& state, Job job) {
    const std::string text = sample(job);
    for (auto _ : state) {
        DataBuffer out;
        EncodingConvert().convert(job.from, job.to, text.data(), static_cast<std::uint32_t>(text.size()), out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

void glibc(benchmark::State& state, Job job) {
    std::string text = sample(job);
    std::vector<char> out(text.size() * 3 + 16);
    iconv_t cd = iconv_open(job.iconvTo, job.iconvFrom);
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = text.data();
        char* o = out.data();
        size_t inLeft = text.size(), outLeft = out.size();
        iconv(cd, &in, &inLeft, &o, &outLeft);
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

void registerAll() {
    for (const Job& job : kJobs) {
        std::string name = std::to_string(job.from) + "_to_" + std::to_string(job.to);
        benchmark::RegisterBenchmark(("ours/" + name).c_str(), ours, job)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("iconv/" + name).c_str(), glibc, job)->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
