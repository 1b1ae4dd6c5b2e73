// Opening an archive of 100,000 small entries, side by side with Info-ZIP's `unzip -Z1` listing
// the same archive. Both read the whole central directory; we also walk every local header.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/ZipDn.h"
#include "base/XString.h"
#include "zip/ClsZip2.h"

namespace {

const std::string& archivePath() {
    static const std::string path = [] {
        const std::string p = (std::filesystem::temp_directory_path() / "tn-bench-100k.zip").string();
        if (!std::filesystem::exists(p)) {
            const std::string cmd =
                "python3 -c \"import zipfile,sys;z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED);"
                "[z.writestr('dir%03d/file%06d.txt' % (i // 1000, i), 'entry %d\\n' % i * 3) for i in range(100000)];"
                "z.close()\" " +
                p + ".tmp && mv " + p + ".tmp " + p;
            if (std::system(cmd.c_str()) != 0) std::abort();
        }
        return p;
    }();
    return path;
}

void BM_TarnelOpenZip(benchmark::State& state) {
    XString path;
    path.setUtf8(archivePath().c_str());
    for (auto _ : state) {
        ZipDn dn;
        if (!dn.open(path)) state.SkipWithError("open failed");
        benchmark::DoNotOptimize(dn.archive()->numEntries());
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}

void BM_InfoZipUnzipZ1(benchmark::State& state) {
    const std::string cmd = "unzip -Z1 " + archivePath() + " > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("unzip failed");
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}

}  // namespace

BENCHMARK(BM_TarnelOpenZip)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_InfoZipUnzipZ1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
