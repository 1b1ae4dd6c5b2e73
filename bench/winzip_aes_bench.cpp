// Decrypting one large WinZip AES-256 entry (TN_BENCH_MB megabytes of incompressible data, default
// 200, stored), side by side with 7-Zip's and bsdtar's extraction of the same archive. Ours streams
// the stored range of the archive file through WinZipAes into a file and takes the CRC-32 of
// what it writes, as an extraction does; the peers extract the entry to a file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "base/ExtPtrArray.h"
#include "base/StringBuffer.h"
#include "codecs/ZipCRC.h"
#include "crypto/WinZipAes.h"
#include "log/LogNull.h"
#include "zip/MemDataObjSource.h"
#include "pipeline/OutputFile.h"
#include "zip/MemoryData.h"
#include "zip/ZipWalk.h"

namespace {

const std::filesystem::path& benchDir() {
    static const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tn-bench-aes";
    return dir;
}

std::size_t megabytes() {
    const char* mb = std::getenv("TN_BENCH_MB");
    return mb ? std::strtoul(mb, nullptr, 10) : 200;
}

// The archive, made once per size and kept between runs.
const std::string& archivePath() {
    static const std::string path = [] {
        std::filesystem::create_directories(benchDir() / "in");
        const std::string p = (benchDir() / ("aes256-" + std::to_string(megabytes()) + "mb.zip")).string();
        if (std::filesystem::exists(p)) return p;
        std::mt19937_64 rng(1);
        std::vector<std::uint64_t> block(1 << 17);
        std::ofstream out(benchDir() / "in" / "payload.bin", std::ios::binary);
        for (std::size_t written = 0; written < megabytes() << 20; written += block.size() * 8) {
            for (auto& w : block) w = rng();
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
        }
        out.close();
        const std::string cmd = "cd '" + (benchDir() / "in").string() + "' && 7z a -tzip -mx0 -mem=AES256 -psecret '" +
                                p + "' payload.bin >/dev/null";
        if (std::system(cmd.c_str()) != 0) std::abort();
        return p;
    }();
    return path;
}

// An OutputFile that also runs the CRC-32 of the bytes written, as the extraction's sink does.
class CrcOutputFile : public OutputFile {
public:
    std::uint32_t write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) override {
        crc.update(bytes, static_cast<std::int32_t>(itemSize * count));
        return OutputFile::write(bytes, itemSize, count, log);
    }
    ZipCRC crc;
};

void BM_TarnelWinZipAes256(benchmark::State& state) {
    LogNull log;
    ExtPtrArray records;
    StringBuffer comment;
    EndOfCentralDir end;
    bool mismatch = false;
    ZipWalk().walkFile(archivePath().c_str(), log, records, comment, end, 437, mismatch, false);
    const auto* entry = static_cast<const ZipWalkEntry*>(records.get(0));
    if (entry == nullptr || entry->encryptionKind != 4) return state.SkipWithError("no AES entry");
    const std::string outPath = (benchDir() / "ours.bin").string();
    for (auto _ : state) {
        MemoryData data;
        data.openFile(archivePath().c_str(), log);
        MemDataObjSource source;
        source.initRange(&data, entry->dataOffset, entry->compressedSize64());
        CrcOutputFile output;
        output.open(outPath.c_str(), &log);
        bool wrong = false, auth = false;
        if (!WinZipAes::decryptFromSource(source, StringBuffer("secret"), 3, output, wrong, auth, log))
            state.SkipWithError("decryption failed");
        benchmark::DoNotOptimize(output.crc.finalValue());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * entry->uncompressedSize64()));
    records.deleteAll();
}

void runPeer(benchmark::State& state, const std::string& command) {
    const std::string out = (benchDir() / "peer").string();
    for (auto _ : state) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        if (std::system(command.c_str()) != 0) state.SkipWithError("peer failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (megabytes() << 20)));
}

void BM_SevenZip(benchmark::State& state) {
    runPeer(state, "7z x -y -psecret -o'" + (benchDir() / "peer").string() + "' '" + archivePath() + "' >/dev/null");
}

void BM_Bsdtar(benchmark::State& state) {
    runPeer(state,
            "bsdtar -xf '" + archivePath() + "' --passphrase secret -C '" + (benchDir() / "peer").string() + "'");
}

}  // namespace

BENCHMARK(BM_TarnelWinZipAes256)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_SevenZip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Bsdtar)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_MAIN();
