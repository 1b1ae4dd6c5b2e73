// Opens the input as an archive and extracts it into a fresh folder two levels inside a sandbox
// folder. Properties: nothing is written outside the extraction folder, every symbolic link it
// made resolves inside it, and when Unzip reports success every extracted file's CRC-32 equals
// the CRC the archive stores for it. Encrypted entries are tried with the password "pw" (their
// streams and checks are fuzzed too); decoders may take at most 32 MiB for what streams ask.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "archive/ZipDn.h"
#include "base/FilePaths.h"
#include "base/StringBuffer.h"
#include "base/XString.h"
#include "codecs/ZipCRC.h"
#include "extract/EntryExtractor.h"
#include "zip/ClsZip2.h"
#include "zip/ClsZipEntry2.h"
#include "zip/ZipWalkEntry.h"

namespace fs = std::filesystem;

namespace {

// A private folder for the run, removed when the process ends.
struct Sandbox {
    Sandbox() {
        std::string pattern = (fs::temp_directory_path() / "tn_extract_fuzz_XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~Sandbox() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

const fs::path& sandbox() {
    static Sandbox box;
    return box.path;
}

std::uint32_t fileCrc(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    ZipCRC crc;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) crc.update(buf, static_cast<std::int32_t>(in.gcount()));
    return crc.finalValue();
}

// Every plain, non-directory entry whose file exists carries its stored CRC. When several
// entries share a path, the last one written is on disk.
void checkCrcs(ClsZip2& zip, const std::string& base) {
    std::map<std::string, std::optional<std::uint32_t>> expected;  // no value: encrypted, not checked
    for (int i = 0; i < zip.numEntries(); ++i) {
        ClsZipEntry2* entry = zip.entryAt(i);
        const ZipWalkEntry* record = entry ? entry->walkEntry() : nullptr;
        if (!record || entry->IsDir()) continue;
        StringBuffer name;
        entry->GetFileName(name);
        name.removeWildcardChars();
        std::string path = joinPath(base, EntryExtractor::safeRelativeName(name.text()));
        for (char& c : path)
            if (c == '\\') c = '/';
        bool plain = record->encryptionKind == 0 && !record->isTraditionallyEncrypted();
        expected[path] = plain ? std::optional<std::uint32_t>(record->storedCrc()) : std::nullopt;
    }
    std::error_code unreadable;  // a name the file system refuses (too long) was never written
    for (auto& [path, stored] : expected) {
        if (!stored || fs::is_symlink(path, unreadable) || !fs::is_regular_file(path, unreadable)) continue;
        if (fileCrc(path) != *stored) std::abort();
    }
}

// Every link below out, resolved, names a place inside out.
void checkLinks(const fs::path& out) {
    std::error_code ec;
    const std::string root = fs::canonical(out).string() + "/";
    for (auto& e : fs::recursive_directory_iterator(out, ec)) {
        if (!e.is_symlink(ec)) continue;
        const fs::path resolved = fs::weakly_canonical(e.path(), ec);
        if (!ec && (resolved.string() + "/").rfind(root, 0) != 0) std::abort();  // a link leads out
    }
}

void expectOnly(const fs::path& dir, const fs::path& a, const fs::path& b) {
    for (auto& e : fs::directory_iterator(dir))
        if (e.path() != a && e.path() != b) std::abort();  // something escaped
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& box = sandbox();
    fs::path archive = box / "in.zip";
    fs::path level = box / "level";  // escapes of one and of two levels both land in sight
    fs::path out = level / "out";
    std::ofstream(archive, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    fs::create_directories(out);
    {
        ZipDn dn;
        XString path, folder;
        path.setUtf8(archive.c_str());
        folder.setUtf8(out.c_str());
        dn.setPassword("pw");
        dn.setMaxDecoderMemory(32 << 20);
        if (dn.open(path) && dn.unzip(folder, nullptr) >= 0) checkCrcs(*dn.archive(), out.string());
    }
    expectOnly(box, archive, level);
    expectOnly(level, out, out);
    checkLinks(out);
    std::error_code ignored;
    for (auto& e : fs::recursive_directory_iterator(out, ignored))
        if (!e.is_symlink(ignored)) fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(out, ignored);
    return 0;
}
