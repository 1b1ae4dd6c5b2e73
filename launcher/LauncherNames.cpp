// Names and places of the launcher's temporary files.
#include "launcher/LauncherNames.h"

#include <cstdio>

#include "base/PlatformFiles.h"
#include "base/PlatformShell.h"

std::string launcherStamp(const SystemTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%d%d%d%d%d%d", t.year - 1900, int(t.month), int(t.day), int(t.hour),
                  int(t.minute), int(t.second));
    return text;
}

std::string launcherTempDirectory(std::string reported) {
    if (!reported.empty() && (reported.back() == '/' || reported.back() == '\\')) reported.pop_back();
    return reported;
}

bool FolderExists(const char* path) { return path && *path && platformIsDirectory(path); }

bool launcherUsableFolder(const std::string& path) {
    return FolderExists(path.c_str()) && !platformIsNoexecMount(path.c_str());
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
