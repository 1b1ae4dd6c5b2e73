// quillet-pack DIR -o OUT [--stub PATH] [--level 0-9] [-q]
// Writes OUT = the launcher stub followed by a ZIP of DIR, which must hold offline.exe.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/PublicationPacker.h"

#ifndef QUILLET_VERSION
#define QUILLET_VERSION "unknown"
#endif

namespace {

const char kUsage[] = "usage: quillet-pack DIR -o OUT [--stub PATH] [--level 0-9] [-q]\n";

const char kHelp[] =
    "Packs the folder DIR, which holds the viewer offline.exe at its root, into the publication\n"
    "OUT: the launcher stub followed by a ZIP archive of DIR, with the archive's length and\n"
    "SHA-256 stamped into the stub so that a damaged copy never runs.\n"
    "  -o OUT          the publication to write (not inside DIR)\n"
    "  --stub PATH     the launcher stub (default: quillet-offline beside this program)\n"
    "  --level 0-9     0 stores, 1-9 deflate at that level (default 6)\n"
    "  -q              no summary line\n"
    "  --help, --version\n"
    "The same folder always gives the same bytes; when SOURCE_DATE_EPOCH is set, no stored time\n"
    "is later than it.\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

// The stub installed beside this program.
std::string defaultStub() {
    char self[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", self, PATH_MAX);
    std::string path(self, n > 0 ? std::size_t(n) : 0);
    std::size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/quillet-offline";
}

bool parseLevel(const char* text, int& level) {
    if (std::strlen(text) != 1 || text[0] < '0' || text[0] > '9') return false;
    level = text[0] - '0';
    return true;
}

// SOURCE_DATE_EPOCH as reproducible-build tools read it: decimal seconds; anything else is an
// error rather than silently ignored.
bool latestTime(std::int64_t& latest) {
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (!text || !*text) return true;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (errno || *end || value < 0) return false;
    latest = value;
    return true;
}

// Ctrl+C, termination and hang-up remove the work folder before the process ends as asked.
void watchInterrupts() {
    static sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
    pthread_t thread;
    auto watch = [](void*) -> void* {
        int signal = 0;
        sigwait(&set, &signal);
        PublicationPacker::removeWork();
        ::signal(signal, SIG_DFL);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        ::raise(signal);
        _exit(128 + signal);
    };
    if (pthread_create(&thread, nullptr, watch, nullptr) == 0) pthread_detach(thread);
    else pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void printSummary(const PublicationPacker::Summary& s, double seconds) {
    double ratio = s.bytesIn ? 100.0 * double(s.bytesOut) / double(s.bytesIn) : 0.0;
    std::printf("quillet-pack: %" PRIu64 " files, %" PRIu64 " folders, %" PRIu64 " bytes in, %" PRIu64
                " bytes out (%.1f%%), publication %" PRIu64 " bytes, %.2f s\n",
                s.files, s.folders, s.bytesIn, s.bytesOut, ratio, s.publication, seconds);
}

}  // namespace

int main(int argc, char** argv) {
    PublicationPacker::Options options;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--help") return std::fputs(kUsage, stdout), std::fputs(kHelp, stdout), 0;
        if (arg == "--version") return std::printf("quillet-pack %s\n", QUILLET_VERSION), 0;
        if (arg == "-o" && hasValue) options.output = argv[++i];
        else if (arg == "--stub" && hasValue) options.stub = argv[++i];
        else if (arg == "-q") quiet = true;
        else if (arg == "--level" && hasValue) {
            if (!parseLevel(argv[++i], options.level)) return usage();
        } else if (!arg.empty() && arg[0] != '-' && options.folder.empty()) options.folder = arg;
        else return usage();
    }
    if (options.folder.empty() || options.output.empty()) return usage();
    if (!latestTime(options.latestTime)) {
        std::fprintf(stderr, "quillet-pack: SOURCE_DATE_EPOCH is not a number of seconds\n");
        return 2;
    }
    if (options.stub.empty()) options.stub = defaultStub();
    watchInterrupts();
    auto start = std::chrono::steady_clock::now();
    std::string error;
    PublicationPacker::Summary summary;
    if (!PublicationPacker::pack(options, summary, error)) {
        std::fprintf(stderr, "quillet-pack: %s\n", error.c_str());
        return 1;
    }
    if (!quiet) printSummary(summary, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}
