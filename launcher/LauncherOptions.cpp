// The launcher's own options: the publication read in place, never run.
#include "launcher/LauncherOptions.h"

#include <cinttypes>
#include <cstdio>

#include "archive/TnZip.h"
#include "launcher/LauncherOutcome.h"
#include "launcher/LauncherSequence.h"
#include "launcher/LauncherWorkspace.h"
#include "launcher/PayloadDigest.h"
#include "launcher/PublicationArchive.h"

#ifndef QUILLET_VERSION
#define QUILLET_VERSION "unknown"
#endif

namespace {

constexpr const char* kPrefix = "--quillet-";

const char kHelp[] =
    "This program opens an offline publication: it unpacks it into a private temporary folder,\n"
    "runs its viewer there with the arguments given here, and removes the folder afterwards.\n"
    "Its own options (only as the first argument):\n"
    "  --quillet-list          list the publication's files and check its integrity\n"
    "  --quillet-check         check the publication's integrity and every file; write nothing\n"
    "  --quillet-extract DIR   unpack the publication into DIR and run nothing\n"
    "  --quillet-help          show this help\n"
    "  --quillet-version       show the launcher's version\n"
    "Exit status: the viewer's own; 65 damaged publication, 66 unreadable program file,\n"
    "73 no usable temporary folder, 74 unpacking could not write, 126 viewer cannot start,\n"
    "2 unknown option.\n";

// The library reads archives from files of their own: the payload, checked against its stamp,
// is copied into a private temporary archive that goes with this object.
class PayloadArchive {
public:
    PayloadArchive() {
        std::string stamp;
        PayloadDigest digest;
        m_failure = CopyToWorkspace(m_work, digest, stamp);
        // A bare stub carries nothing to read.
        bool intact = m_failure == LaunchFailure::kNone && m_work.archiveFile() >= 0 && digest.matches();
        if (m_failure == LaunchFailure::kNone && !intact) m_failure = LaunchFailure::kDamaged;
    }
    ~PayloadArchive() { m_work.removeArchive(); }
    PayloadArchive(const PayloadArchive&) = delete;
    PayloadArchive& operator=(const PayloadArchive&) = delete;

    LaunchFailure failure() const { return m_failure; }
    std::string path() const { return m_work.archiveAccessPath(); }

private:
    LauncherWorkspace m_work;
    LaunchFailure m_failure;
};

int report(LaunchFailure failure, const char* good) {
    if (failure == LaunchFailure::kNone) std::printf("%s\n", good);
    else std::fprintf(stderr, "%s\n", LauncherOutcome::sentence(failure));
    return LauncherOutcome::statusOf(failure);
}

// The entries are listed even from a damaged payload, as far as they can be read.
int list() {
    PayloadArchive payload;
    PublicationArchive archive;
    if (payload.failure() == LaunchFailure::kNone && archive.open(payload.path())) {
        std::printf("%12s  %12s  %s\n", "Size", "Packed", "Name");
        archive.forEachEntry([](const PublicationArchive::Entry& e) {
            std::printf("%12" PRIu64 "  %12" PRIu64 "  %s\n", e.size, e.packed, e.name.c_str());
        });
    }
    return report(payload.failure(), "Payload SHA-256: matches.");
}

int check() {
    PayloadArchive payload;
    LaunchFailure failure = payload.failure();
    PublicationArchive archive;
    std::vector<std::string> failed;
    if (failure == LaunchFailure::kNone && !(archive.open(payload.path()) && archive.testEntries(failed)))
        failure = LaunchFailure::kDamaged;
    for (const std::string& name : failed) std::fprintf(stderr, "damaged: %s\n", name.c_str());
    return report(failure, "The publication is intact.");
}

int extractTo(const std::string& folder) {
    PayloadArchive payload;
    LaunchFailure failure = payload.failure();
    if (failure == LaunchFailure::kNone) {
        TnZip zip;
        zip.SetUtf8(true);
        if (!zip.OpenZip(payload.path().c_str())) failure = LaunchFailure::kDamaged;
        else if (zip.Unzip(folder.c_str()) < 0) failure = UnzipFailure(payload.path());
    }
    return report(failure, ("Unpacked into " + folder + ".").c_str());
}

}  // namespace

bool LauncherOptions::isOption(const std::vector<std::string>& arguments) {
    return !arguments.empty() && arguments[0].rfind(kPrefix, 0) == 0;
}

int LauncherOptions::run(const std::vector<std::string>& a) {
    const std::string option = a.empty() ? "" : a[0];
    if (option == "--quillet-help" && a.size() == 1) return std::fputs(kHelp, stdout), 0;
    if (option == "--quillet-version" && a.size() == 1) return std::printf("quillet-offline %s\n", QUILLET_VERSION), 0;
    if (option == "--quillet-list" && a.size() == 1) return list();
    if (option == "--quillet-check" && a.size() == 1) return check();
    if (option == "--quillet-extract" && a.size() == 2 && !a[1].empty()) return extractTo(a[1]);
    std::fprintf(stderr, "quillet-offline: unknown option or wrong arguments: %s (see --quillet-help)\n",
                 option.c_str());
    return LauncherOutcome::kUsage;
}
