// The launcher sequence. Every failure skips to the end, where the busy flag is cleared; the
// only output is "Success!" after an extraction that produced files.
#include "launcher/LauncherSequence.h"

#include <cstdio>
#include <vector>

#include "archive/TnZip.h"
#include "base/DateTime.h"
#include "base/PlatformFiles.h"
#include "base/PlatformShell.h"
#include "launcher/CBorvaneDlg.h"
#include "launcher/LauncherNames.h"
#include "launcher/StubLength.h"

namespace {

// Not 65,536: the payload goes in whole blocks of this size and one tail of the rest.
constexpr std::uint32_t kCopyBlock = 65535;

// Read and write results are not checked: a short copy leaves an archive that does not open.
void copyBlock(int in, int out, std::vector<char>& buffer, std::uint32_t count) {
    std::uint32_t got = 0, put = 0;
    platformRead(in, buffer.data(), count, got);
    platformWrite(out, buffer.data(), got, put);
}

void extract(TnZip& zip, const std::string& archive, const std::string& folder, CBorvaneDlg& dialog) {
    if (!zip.OpenZip(archive.c_str())) return;
    if (zip.Unzip(folder.c_str(), &dialog) > 0) {
        std::fputs("Success!\n", stdout);
        std::fflush(stdout);
    }
}

void runViewer(const std::string& program) {
    platformMakeOwnerExecutable(program.c_str());
    platformWaitProgram(platformStartProgram(program.c_str()));
}

void runSequence(CBorvaneDlg& dialog) {
    std::string dir = launcherWorkDirectory();
    if (dir.empty()) return;
    SystemTime now;
    nowLocal(now);
    const std::string stamp = launcherStamp(now);
    if (!HasPayload()) return;
    const std::string archive = launcherJoin(dir, stamp + ".zip");
    const std::string folder = launcherJoin(dir, stamp);
    const std::string program = launcherJoin(folder, "offline.exe");
    if (!CopyPayload(archive)) return;

    TnZip zip;
    // Paths are the kernel's bytes; hand them over as they are.
    zip.SetUtf8(true);
    // Nothing is extracted, started or deleted in a folder this process did not create.
    if (!platformCreatePrivateDirectory(folder.c_str())) {
        platformDeleteFile(archive.c_str());
        return;
    }
    extract(zip, archive, folder, dialog);
    platformDeleteFile(archive.c_str());
    dialog.Hide();
    runViewer(program);
    DeleteFolderTree(folder);
}

}  // namespace

unsigned WorkerThreadProc(CBorvaneDlg* dialog) {
    if (!dialog) return 0;
    runSequence(*dialog);
    dialog->m_busy = 0;
    return 0;
}

bool HasPayload() {
    int self = platformOpenSelfExe();
    std::int64_t size = 0;
    bool known = self >= 0 && platformFileSize(self, size);
    if (self >= 0) platformCloseFile(self);
    // Shorter than the stub can only be a build whose constant is wrong: no payload either.
    return !known || std::uint64_t(size) > stubLength();
}

bool CopyPayload(const std::string& archivePath) {
    int in = platformOpenSelfExe();
    if (in < 0) return false;
    std::int64_t size = 0, position = 0;
    if (!platformFileSize(in, size) || size <= 0 || std::uint64_t(size) < stubLength()) return platformCloseFile(in), false;
    int out = platformCreatePrivateFile(archivePath.c_str());
    if (out < 0) return platformCloseFile(in), false;
    platformSeek(in, std::int64_t(stubLength()), PlatformSeek::Begin, position);
    const std::uint64_t remaining = std::uint64_t(size) - stubLength();
    std::vector<char> buffer(kCopyBlock);
    for (std::uint64_t block = 0; block < remaining / kCopyBlock; ++block) copyBlock(in, out, buffer, kCopyBlock);
    if (std::uint32_t tail = std::uint32_t(remaining % kCopyBlock)) copyBlock(in, out, buffer, tail);
    platformCloseFile(out);
    platformCloseFile(in);
    return true;
}

bool DeleteFolderTree(const std::string& folder) { return platformDeleteTree(folder.c_str()); }
