// Fuzzes opening an archive: the input is written to a file and opened. Besides surviving, an
// open must be consistent: every entry's data starts right after its header, name and extra
// field inside the file, the registry holds exactly the listed entries, and a second open of
// the same bytes gives the same result.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/ZipDn.h"
#include "archive/ZipSystem.h"
#include "base/XString.h"
#include "zip/ClsZip2.h"
#include "zip/ClsZipEntry2.h"
#include "zip/ZipWalkEntry.h"

namespace {

std::string inputPath() {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") + "/tn-zipopen-fuzz-" + std::to_string(getpid()) +
           ".zip";
}

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

void checkEntries(ClsZip2& zip, std::uint64_t fileSize) {
    check(zip.system()->entryCount() == zip.numEntries(), "registry and entry list agree");
    for (int i = 0; i < zip.numEntries(); ++i) {
        const ZipWalkEntry* r = zip.entryAt(i)->walkEntry();
        check(r != nullptr, "mapped entry has its record");
        const LocalHeaderRecord& h = r->localHeader;
        check(r->dataOffset == r->localHeaderAddress + 30 + h.nameLength + h.extraLength, "data follows the header");
        check(r->dataOffset <= fileSize, "data offset inside the file");
        check(r->centralRecordAddress == 0 || r->centralRecordAddress >= r->dataOffset,
              "central record after data start");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = inputPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    XString p;
    p.setUtf8(path.c_str());
    ZipDn dn;
    dn.archive()->setVerboseLogging(size % 2 == 1);  // both log paths
    const bool first = dn.open(p);
    const int count = dn.archive()->numEntries();
    if (first) checkEntries(*dn.archive(), size);
    else check(count == 0, "a failed open leaves no entries");
    check(dn.open(p) == first && dn.archive()->numEntries() == count, "opening is deterministic");
    return 0;
}
