// Names and places of the launcher's temporary files.
#include "launcher/LauncherNames.h"

#include <cstdint>
#include <cstdio>

#include "base/PlatformFiles.h"
#include "base/PlatformShell.h"

namespace {

// 16 characters of 32 possible values: 80 bits that nobody can guess.
constexpr int kSuffixLength = 16;
constexpr char kSuffixAlphabet[] = "abcdefghijklmnopqrstuvwxyz234567";

}  // namespace

std::string launcherStamp(const SystemTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%d%02d%02d%02d%02d%02d", t.year - 1900, int(t.month), int(t.day), int(t.hour),
                  int(t.minute), int(t.second));
    return text;
}

std::string launcherUniqueName(const std::string& stamp) {
    std::uint8_t random[kSuffixLength];
    if (!platformRandomBytes(random, sizeof random)) return std::string();
    std::string name = stamp + "-";
    for (std::uint8_t r : random) name += kSuffixAlphabet[r % 32];
    return name;
}

std::string launcherTempDirectory(std::string reported) {
    if (!reported.empty() && (reported.back() == '/' || reported.back() == '\\')) reported.pop_back();
    return reported;
}

bool FolderExists(const char* path) { return path && *path && platformIsDirectory(path); }

bool launcherUsableFolder(const std::string& path) {
    const char* p = path.c_str();
    return FolderExists(p) && platformIsWritableFolder(p) && !platformIsOpenToOthers(p) && !platformIsNoexecMount(p);
}

std::string launcherWorkDirectory() {
    std::string temp = launcherTempDirectory(platformTempDir());
    // An empty report has no fallback.
    if (temp.empty()) return temp;
    if (launcherUsableFolder(temp)) return temp;
    std::string local = platformLocalAppDataDir();
    return launcherUsableFolder(local) ? local : std::string();
}

std::string launcherJoin(const std::string& base, const std::string& name) {
    if (base.empty() || base.back() == '/') return base + name;
    return base + "/" + name;
}
