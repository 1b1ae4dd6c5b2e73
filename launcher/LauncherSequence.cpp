// The launcher sequence. Every failure skips to the end, where the busy flag is cleared; the
// only output is "Success!" after an extraction that produced files. An interrupt request
// stops the sequence at its next step and leaves nothing behind.
#include "launcher/LauncherSequence.h"

#include <cstdio>
#include <vector>

#include "archive/TnZip.h"
#include "archive/TnZipProgress.h"
#include "base/DateTime.h"
#include "base/PlatformFiles.h"
#include "base/PlatformShell.h"
#include "launcher/CBorvaneDlg.h"
#include "launcher/LauncherInterrupts.h"
#include "launcher/LauncherNames.h"
#include "launcher/LauncherWorkspace.h"
#include "launcher/StubLength.h"

namespace {

// Not 65,536: the payload goes in whole blocks of this size and one tail of the rest.
constexpr std::uint32_t kCopyBlock = 65535;

// Moves the dialog's bar and asks the extraction to stop once an interrupt has come in.
class InterruptibleProgress : public TnZipProgress {
public:
    explicit InterruptibleProgress(TnZipProgress& bar) : m_bar(bar) {}
    void UnzipPercent(int percent, bool* abort) override {
        m_bar.UnzipPercent(percent, abort);
        AbortCheck(abort);
    }
    void AbortCheck(bool* abort) override {
        if (abort && LauncherInterrupts::interrupted()) *abort = true;
    }

private:
    TnZipProgress& m_bar;
};

// Read and write results are not checked: a short copy leaves an archive that does not open.
void copyBlock(int in, int out, std::vector<char>& buffer, std::uint32_t count) {
    std::uint32_t got = 0, put = 0;
    platformRead(in, buffer.data(), count, got);
    platformWrite(out, buffer.data(), got, put);
}

void extract(TnZip& zip, const LauncherWorkspace& work, CBorvaneDlg& dialog) {
    if (!zip.OpenZip(work.archiveAccessPath().c_str())) return;
    InterruptibleProgress progress(dialog);
    if (zip.Unzip(work.folderAccessPath().c_str(), &progress) > 0) {
        std::fputs("Success!\n", stdout);
        std::fflush(stdout);
    }
}

// The viewer starts only from the folder this process made, and only while the folder's name
// still leads there: a folder moved away and replaced by someone else's is never run.
void runViewer(const LauncherWorkspace& work) {
    if (work.folderInPlace()) LauncherInterrupts::runViewer(work);
}

void runSequence(CBorvaneDlg& dialog) {
    std::string dir = launcherWorkDirectory();
    if (dir.empty()) return;
    SystemTime now;
    nowLocal(now);
    const std::string stamp = launcherStamp(now);
    if (!HasPayload()) return;
    LauncherWorkspace work;
    if (LauncherInterrupts::interrupted() || !work.open(dir) || !work.createArchive(stamp)) return;
    if (!CopyPayload(work.archiveFile())) return work.removeArchive();

    TnZip zip;
    // Paths are the kernel's bytes; hand them over as they are.
    zip.SetUtf8(true);
    // Nothing is extracted, started or deleted in a folder this process did not create.
    if (!work.createFolder(stamp)) return work.removeArchive();
    if (!LauncherInterrupts::interrupted()) extract(zip, work, dialog);
    work.removeArchive();
    dialog.Hide();
    runViewer(work);
    DeleteFolderTree(work);
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

bool CopyPayload(int out) {
    int in = platformOpenSelfExe();
    if (in < 0) return false;
    std::int64_t size = 0, position = 0;
    if (!platformFileSize(in, size) || size <= 0 || std::uint64_t(size) < stubLength())
        return platformCloseFile(in), false;
    platformSeek(in, std::int64_t(stubLength()), PlatformSeek::Begin, position);
    const std::uint64_t remaining = std::uint64_t(size) - stubLength();
    std::vector<char> buffer(kCopyBlock);
    bool interrupted = false;
    for (std::uint64_t block = 0; block < remaining / kCopyBlock && !interrupted; ++block) {
        copyBlock(in, out, buffer, kCopyBlock);
        interrupted = LauncherInterrupts::interrupted();
    }
    if (std::uint32_t tail = std::uint32_t(remaining % kCopyBlock); tail && !interrupted)
        copyBlock(in, out, buffer, tail);
    platformCloseFile(in);
    return !interrupted;
}

void DeleteFolderTree(LauncherWorkspace& work) { work.removeFolder(); }
