// The launcher sequence. Every failure skips to the end, where the busy flag is cleared; a
// failure of the launch itself (a damaged publication, no usable temporary folder, a failed
// write, a viewer that cannot start) removes everything, tells the reader in one sentence and
// sets the exit status. The only other output is "Success!" after an extraction that produced
// files. An interrupt request stops the sequence at its next step and leaves nothing behind.
#include "launcher/LauncherSequence.h"

#include <cstdio>
#include <cstdlib>

#include "archive/TnZip.h"
#include "archive/TnZipProgress.h"
#include "base/DateTime.h"
#include "base/PlatformFiles.h"
#include "base/PlatformShell.h"
#include "launcher/CBorvaneDlg.h"
#include "launcher/LauncherInterrupts.h"
#include "launcher/LauncherNames.h"
#include "launcher/LauncherWorkspace.h"
#include "launcher/PayloadDigest.h"
#include "launcher/PublicationArchive.h"
#include "launcher/StubLength.h"

namespace {

// Not 65,536: the payload goes in whole blocks of this size and one tail of the rest.
constexpr std::uint32_t kCopyBlock = 65535;

std::vector<std::string> g_viewerArguments;

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

PayloadResult copyBlock(int in, int out, std::vector<char>& buffer, std::uint32_t count) {
    std::uint32_t got = 0, put = 0;
    if (!platformRead(in, buffer.data(), count, got)) return PayloadResult::kUnreadable;
    // The file shrank since its size was read: what is missing cannot match.
    if (got != count) return PayloadResult::kDamaged;
    if (!platformWrite(out, buffer.data(), got, put)) return PayloadResult::kWriteFailed;
    return PayloadResult::kIntact;
}

PayloadResult copyBlocks(int in, int out) {
    const std::uint64_t remaining = stampedPayloadLength();
    std::vector<char> buffer(kCopyBlock);
    for (std::uint64_t block = 0; block < remaining / kCopyBlock; ++block) {
        PayloadResult r = copyBlock(in, out, buffer, kCopyBlock);
        if (r != PayloadResult::kIntact) return r;
        if (LauncherInterrupts::interrupted()) return PayloadResult::kInterrupted;
    }
    std::uint32_t tail = std::uint32_t(remaining % kCopyBlock);
    return tail ? copyBlock(in, out, buffer, tail) : PayloadResult::kIntact;
}

// Every entry must come out: a publication missing a file is not opened.
LaunchFailure extract(TnZip& zip, const LauncherWorkspace& work, CBorvaneDlg& dialog, int& files) {
    if (!zip.OpenZip(work.archiveAccessPath().c_str())) return LaunchFailure::kDamaged;
    InterruptibleProgress progress(dialog);
    files = zip.Unzip(work.folderAccessPath().c_str(), &progress);
    if (files >= 0 || LauncherInterrupts::interrupted()) return LaunchFailure::kNone;
    return UnzipFailure(work.archiveAccessPath());
}

// The viewer starts only from the folder this process made, and only while the folder's name
// still leads there: a folder moved away and replaced by someone else's is never run.
LaunchFailure runViewer(const LauncherWorkspace& work) {
    ProgramEnd end;
    if (work.folderInPlace() && LauncherInterrupts::runViewer(work, g_viewerArguments, end)) {
        LauncherOutcome::recordViewerEnd(end);
        return LaunchFailure::kNone;
    }
    return LauncherInterrupts::interrupted() ? LaunchFailure::kNone : LaunchFailure::kViewerNotStarted;
}

// From the copied archive to the viewer's end; the archive is gone when this returns. The
// extraction runs while the digest is checked: a damaged archive is unpacked, if at all, only
// into this process's private folder, and removed with it unseen.
LaunchFailure extractAndRun(LauncherWorkspace& work, PayloadDigest& digest, CBorvaneDlg& dialog) {
    TnZip zip;
    // Paths are the kernel's bytes; hand them over as they are.
    zip.SetUtf8(true);
    int files = 0;
    LaunchFailure failure = LauncherInterrupts::interrupted() ? LaunchFailure::kNone
                                                              : extract(zip, work, dialog, files);
    if (!digest.matches() && !LauncherInterrupts::interrupted()) failure = LaunchFailure::kDamaged;
    work.removeArchive();
    if (failure == LaunchFailure::kNone && files > 0) {
        std::fputs("Success!\n", stdout);
        std::fflush(stdout);
    }
    if (LauncherInterrupts::interrupted()) return LaunchFailure::kNone;
    // Checked while the dialog can still tell the reader.
    if (failure == LaunchFailure::kNone && !work.prepareViewer()) failure = LaunchFailure::kViewerNotStarted;
    if (failure != LaunchFailure::kNone) return failure;
    dialog.Hide();
    return runViewer(work);
}

LaunchFailure runSequence(CBorvaneDlg& dialog) {
    LauncherWorkspace work;
    PayloadDigest digest;
    std::string stamp;
    LaunchFailure failure = CopyToWorkspace(work, digest, stamp);
    if (failure != LaunchFailure::kNone || work.archiveFile() < 0) return failure;
    // Nothing is extracted, started or deleted in a folder this process did not create.
    if (!work.createFolder(stamp)) return digest.matches(), work.removeArchive(), LaunchFailure::kNoTempFolder;
    platformTestStop("folder-created");
    failure = extractAndRun(work, digest, dialog);
    DeleteFolderTree(work);
    return failure;
}

// After everything is removed, so that a reader who leaves the message open leaves nothing on
// disk either.
void tellReader(CBorvaneDlg& dialog, LaunchFailure failure) {
    const char* sentence = LauncherOutcome::sentence(failure);
    std::fprintf(stderr, "%s\n", sentence);
    std::fflush(stderr);
    // Tests that run with a display but nobody to close the box.
    if (!std::getenv("QUILLET_TEST_NO_MESSAGE_BOX")) dialog.ShowMessage(sentence);
}

}  // namespace

unsigned WorkerThreadProc(CBorvaneDlg* dialog) {
    if (!dialog) return 0;
    LaunchFailure failure = runSequence(*dialog);
    if (failure != LaunchFailure::kNone) {
        LauncherOutcome::recordFailure(failure);
        tellReader(*dialog, failure);
    }
    dialog->m_busy = 0;
    return 0;
}

void SetViewerArguments(const std::vector<std::string>& arguments) { g_viewerArguments = arguments; }

LaunchFailure CopyToWorkspace(LauncherWorkspace& work, PayloadDigest& digest, std::string& stamp) {
    switch (CheckPayloadSize()) {
        case PayloadState::kNone: return LaunchFailure::kNone;
        case PayloadState::kWrongLength: return LaunchFailure::kDamaged;
        case PayloadState::kUnreadable: return LaunchFailure::kSelfUnreadable;
        case PayloadState::kPresent: break;
    }
    std::string dir = launcherWorkDirectory();
    if (dir.empty()) return LaunchFailure::kNoTempFolder;
    SystemTime now;
    nowLocal(now);
    stamp = launcherStamp(now);
    if (LauncherInterrupts::interrupted()) return LaunchFailure::kNone;
    if (!work.open(dir) || !work.createArchive(stamp)) return LaunchFailure::kNoTempFolder;
    PayloadResult copied = CopyPayload(work.archiveFile());
    if (copied != PayloadResult::kIntact) return work.removeArchive(), failureOf(copied);
    digest.start(work.archiveAccessPath());
    return LaunchFailure::kNone;
}

PayloadState CheckPayloadSize() {
    int self = platformOpenSelfExe();
    std::int64_t size = 0;
    bool known = self >= 0 && platformFileSize(self, size);
    if (self >= 0) platformCloseFile(self);
    if (!known) return PayloadState::kUnreadable;
    // A build whose stamped stub length is wrong has no payload at the place it looks either.
    if (std::uint64_t(size) == stubLength() && stampedPayloadLength() == 0) return PayloadState::kNone;
    bool exact = std::uint64_t(size) >= stubLength() && std::uint64_t(size) - stubLength() == stampedPayloadLength();
    return exact && stampedPayloadLength() > 0 ? PayloadState::kPresent : PayloadState::kWrongLength;
}

PayloadResult CopyPayload(int out) {
    int in = platformOpenSelfExe();
    if (in < 0) return PayloadResult::kUnreadable;
    std::int64_t size = 0, position = 0;
    PayloadResult result = PayloadResult::kIntact;
    if (!platformFileSize(in, size) || !platformSeek(in, std::int64_t(stubLength()), PlatformSeek::Begin, position))
        result = PayloadResult::kUnreadable;
    else if (std::uint64_t(size) != stubLength() + stampedPayloadLength()) result = PayloadResult::kDamaged;
    else result = copyBlocks(in, out);
    platformCloseFile(in);
    return result;
}

LaunchFailure failureOf(PayloadResult result) {
    switch (result) {
        case PayloadResult::kIntact:
        case PayloadResult::kInterrupted: return LaunchFailure::kNone;
        case PayloadResult::kUnreadable: return LaunchFailure::kSelfUnreadable;
        case PayloadResult::kDamaged: return LaunchFailure::kDamaged;
        case PayloadResult::kWriteFailed: return LaunchFailure::kWriteFailed;
    }
    return LaunchFailure::kDamaged;
}

// The payload matched its digest, so the archive is as the publisher packed it, yet a fault of
// the packer would fail as a bad member does. Decoding every entry again, writing nothing,
// tells a damaged archive from a write that failed (a full disk, a folder that went away).
LaunchFailure UnzipFailure(const std::string& archivePath) {
    PublicationArchive archive;
    std::vector<std::string> failed;
    bool decodes = archive.open(archivePath) && archive.testEntries(failed);
    return decodes ? LaunchFailure::kWriteFailed : LaunchFailure::kDamaged;
}

void DeleteFolderTree(LauncherWorkspace& work) { work.removeFolder(); }
