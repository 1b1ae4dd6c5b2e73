// tnzip: the library's command line.
//   tnzip x ARCHIVE [DIR] [-p PASSWORD] [--oem-cp N] [-v]
// Extracts ARCHIVE into DIR (default: the current directory) through TnZip. On a terminal a
// progress bar runs on stderr. On failure the log of the failed call is printed; with -v the
// library logs in detail and the whole log is printed whatever the outcome.
// Exit status: 0 success, 1 the archive could not be opened or extracted, 2 usage.
#ifdef _WIN32
#include <windows.h>
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/TnZip.h"
#include "archive/TnZipProgress.h"
#include "base/FilePaths.h"

namespace {

struct Options {
    std::string archive;
    std::string folder = ".";
    const char* password = nullptr;
    int oemCodePage = 0;
    bool verbose = false;
};

int usage() {
    std::fputs("usage: tnzip x ARCHIVE [DIR] [-p PASSWORD] [--oem-cp N] [-v]\n", stderr);
    return 2;
}

bool parseCodePage(const char* text, int& out) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (!*text || *end || value <= 0 || value > 65535) return false;
    out = static_cast<int>(value);
    return true;
}

// False on a usage error.
bool parseArgs(int argc, char** argv, Options& opt) {
    if (argc < 3 || std::strcmp(argv[1], "x") != 0) return false;
    int positional = 0;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (std::strcmp(arg, "-v") == 0) {
            opt.verbose = true;
        } else if (std::strcmp(arg, "-p") == 0 && hasValue) {
            opt.password = argv[++i];
        } else if (std::strcmp(arg, "--oem-cp") == 0 && hasValue) {
            if (!parseCodePage(argv[++i], opt.oemCodePage)) return false;
        } else if (arg[0] == '-' && arg[1] != 0) {
            return false;
        } else if (positional == 0) {
            opt.archive = arg;
            ++positional;
        } else if (positional == 1) {
            opt.folder = arg;
            ++positional;
        } else {
            return false;
        }
    }
    return positional >= 1;
}

// A one-line bar redrawn in place on stderr.
class TerminalProgress : public TnZipProgress {
public:
    void UnzipPercent(int percent, bool* /*abort*/) override { draw(percent); }
    void UnzipEnd() override {
        if (m_drawn) std::fputc('\n', stderr);
    }

private:
    void draw(int percent) {
        constexpr int kWidth = 40;
        int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                     kWidth - filled, "", percent);
        std::fflush(stderr);
        m_drawn = true;
    }
    bool m_drawn = false;
};

void printLog(TnZip& zip) {
    const char* text = zip.LastErrorText();
    if (text && *text) std::fprintf(stderr, "%s\n", text);
}

#ifdef _WIN32
// Windows hands the arguments over as UTF-16; they reach the library as UTF-8.
std::vector<std::string> utf8Arguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 0; wide && i < count; ++i) {
        int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(std::size_t(n > 0 ? n : 1), '\0');
        if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
        arg.resize(std::strlen(arg.c_str()));
        out.push_back(arg);
    }
    if (wide) LocalFree(wide);
    return out;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    std::vector<std::string> arguments = utf8Arguments();
    std::vector<char*> pointers;
    for (std::string& a : arguments) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    argc = int(arguments.size());
    argv = pointers.data();
#endif
    Options opt;
    if (!parseArgs(argc, argv, opt)) return usage();
    TnZip zip;
    zip.SetUtf8(true);  // command-line arguments are the file system's own UTF-8 bytes
    if (opt.password) zip.SetPassword(opt.password);
    if (opt.oemCodePage) zip.SetOemCodePage(opt.oemCodePage);
    zip.SetVerboseLogging(opt.verbose);
    if (!zip.OpenZip(opt.archive.c_str())) {
        std::fprintf(stderr, "tnzip: cannot open %s\n", escapeControlChars(opt.archive).c_str());
        printLog(zip);
        return 1;
    }
    TerminalProgress bar;
    int count = zip.Unzip(opt.folder.c_str(), isatty(STDERR_FILENO) ? &bar : nullptr);
    if (count < 0) {
        std::fprintf(stderr, "tnzip: extraction of %s failed\n", escapeControlChars(opt.archive).c_str());
        printLog(zip);
        return 1;
    }
    if (opt.verbose) printLog(zip);
    std::printf("%d file%s extracted\n", count, count == 1 ? "" : "s");
    return 0;
}
