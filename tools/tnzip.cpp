// tnzip: the library's command line.
//   tnzip l ARCHIVE [-v]                 list the entries
//   tnzip t ARCHIVE [-p PASSWORD] [-q]   decode and check every entry, write nothing
//   tnzip x ARCHIVE [DIR] [NAMES...] [-x PATTERN]... [-n|-o] [-p PASSWORD] [-q] [-v]
// Common options: --oem-cp N (code page of names without the UTF-8 flag), --max-memory SIZE (the
// most one entry's decoder may take). See docs/tnzip.1.
// Exit status: 0 success, 1 the archive could not be opened, an entry failed, or a name given
// matched nothing; 2 usage.
#ifdef _WIN32
#include <windows.h>
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "TnzipArchive.h"
#include "tarnel/TnZip.h"
#include "tarnel/TnZipProgress.h"

using tnzip::escapeControlChars;
using tnzip::matchWildcard;

namespace {

const char kUsage[] =
    "usage: tnzip l ARCHIVE [-v]\n"
    "       tnzip t ARCHIVE [-p PASSWORD] [-q] [-v]\n"
    "       tnzip x ARCHIVE [DIR] [NAMES...] [-x PATTERN]... [-n | -o] [-p PASSWORD] [-q] [-v]\n"
    "\n"
    "  l   list entries: size, packed size, ratio, method, encryption, date, time, CRC-32, name\n"
    "      (-v adds attributes, host system and extra field ids)\n"
    "  t   decode every entry and check its CRC-32 without writing anything\n"
    "  x   extract into DIR (default: the current directory); NAMES and -x PATTERNs select entries,\n"
    "      '*' matching any run of characters\n"
    "\n"
    "  -p PASSWORD   password of encrypted entries\n"
    "  -n            never overwrite an existing file\n"
    "  -o            overwrite existing files without asking (the default)\n"
    "  -q            quiet: no progress bar, no summary\n"
    "  -v            verbose: detailed library log (l: more columns)\n"
    "  --oem-cp N    code page of names stored without the UTF-8 flag (default: the system's OEM code\n"
    "                page, 437 off Windows)\n"
    "  --max-memory SIZE  most memory one entry's decoder may take for the window or dictionary\n"
    "                its data asks for, in bytes or with K, M, G (default 256M)\n"
    "  --help        this text\n"
    "\n"
    "Exit status: 0 success; 1 the archive could not be opened, an entry failed, or a NAME\n"
    "matched no entry; 2 usage error.\n";

struct Options {
    char command = 0;
    std::string archive;
    std::string folder = ".";
    bool folderGiven = false;
    std::vector<std::string> names;
    std::vector<std::string> excludes;
    bool neverOverwrite = false;
    TnzipSettings settings;
};

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

bool parseCodePage(const char* text, int& out) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (!*text || *end || value <= 0 || value > 65535) return false;
    out = static_cast<int>(value);
    return true;
}

// Bytes, or a number followed by K, M, G or T (binary multiples; "MB" and "MiB" mean "M" too).
bool parseSize(const char* text, std::uint64_t& out) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || *text == '-' || errno == ERANGE) return false;
    const std::string unit(end);
    int shift = 0;
    if (!unit.empty()) {
        const char* units = "KMGT";
        const char* at = std::strchr(units, std::toupper(static_cast<unsigned char>(unit[0])));
        const std::string rest = unit.substr(1);
        if (!at || !*at || !(rest.empty() || rest == "B" || rest == "iB")) return false;
        shift = 10 * static_cast<int>(at - units + 1);
    }
    if (value == 0 || value > (~std::uint64_t(0) >> shift)) return false;
    out = std::uint64_t(value) << shift;
    return true;
}

// A positional argument of x: the archive, then DIR (when it is not a name of the archive's
// kind, i.e. it is the second positional and no names came before), then names.
void addPositional(Options& opt, const char* arg, int& positional) {
    if (positional == 0) opt.archive = arg;
    else if (positional == 1 && opt.command == 'x') {
        opt.folder = arg;
        opt.folderGiven = true;
    } else opt.names.push_back(arg);
    ++positional;
}

// False on a usage error.
bool parseArgs(int argc, char** argv, Options& opt) {
    if (argc < 3 || std::strlen(argv[1]) != 1 || !std::strchr("ltx", argv[1][0])) return false;
    opt.command = argv[1][0];
    int positional = 0;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(arg, "-v") == 0) opt.settings.verbose = true;
        else if (std::strcmp(arg, "-q") == 0) opt.settings.quiet = true;
        else if (std::strcmp(arg, "-n") == 0) opt.neverOverwrite = true;
        else if (std::strcmp(arg, "-o") == 0) opt.neverOverwrite = false;
        else if (std::strcmp(arg, "-p") == 0 && hasValue) opt.settings.password = argv[++i];
        else if (std::strcmp(arg, "-x") == 0 && hasValue) opt.excludes.push_back(argv[++i]);
        else if (std::strcmp(arg, "--oem-cp") == 0 && hasValue) {
            if (!parseCodePage(argv[++i], opt.settings.oemCodePage)) return false;
        } else if (std::strcmp(arg, "--max-memory") == 0 && hasValue) {
            if (!parseSize(argv[++i], opt.settings.maxDecoderMemory)) return false;
        } else if (std::strcmp(arg, "--") == 0) {
            while (++i < argc) addPositional(opt, argv[i], positional);
        } else if (arg[0] == '-' && arg[1] != 0) return false;
        else addPositional(opt, arg, positional);
    }
    if (positional == 0) return false;
    return opt.command == 'x' || opt.names.empty();
}

// The progress bar on a terminal, and the selection of entries (names, exclusions).
class ExtractProgress : public TnZipProgress {
public:
    ExtractProgress(const Options& opt, bool bar) : m_opt(opt), m_bar(bar), m_matched(opt.names.size(), false) {}

    void UnzipPercent(int percent, bool* /*abort*/) override {
        if (m_bar) draw(percent);
    }
    void UnzipEnd() override {
        if (m_drawn) std::fputc('\n', stderr);
    }
    void ToBeUnzipped(const char* name, int, int, bool* skip) override {
        std::string path = name ? name : "";
        for (char& c : path)
            if (c == '\\') c = '/';
        *skip = !selected(path);
    }

    // Names given on the command line that matched no entry.
    std::vector<std::string> unmatched() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < m_matched.size(); ++i)
            if (!m_matched[i]) out.push_back(m_opt.names[i]);
        return out;
    }

private:
    bool selected(const std::string& path) {
        bool chosen = m_opt.names.empty();
        for (std::size_t i = 0; i < m_opt.names.size(); ++i)
            if (matchWildcard(path, m_opt.names[i])) chosen = m_matched[i] = true;
        for (const std::string& pattern : m_opt.excludes)
            if (matchWildcard(path, pattern)) return false;
        return chosen;
    }
    void draw(int percent) {
        constexpr int kWidth = 40;
        int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################", kWidth - filled,
                     "", percent);
        std::fflush(stderr);
        m_drawn = true;
    }

    const Options& m_opt;
    bool m_bar;
    bool m_drawn = false;
    std::vector<bool> m_matched;
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

int extract(const Options& opt, const TnzipArchive& archive) {
    TnZip zip;
    zip.SetNeverOverwrite(opt.neverOverwrite);
    if (!archive.open(zip, opt.archive.c_str())) return 1;
    ExtractProgress progress(opt, !opt.settings.quiet && isatty(STDERR_FILENO));
    int count = zip.Unzip(opt.folder.c_str(), &progress);
    if (count < 0) {
        std::fprintf(stderr, "tnzip: extraction of %s failed\n", escapeControlChars(opt.archive).c_str());
        printLog(zip);
        return 1;
    }
    if (opt.settings.verbose) printLog(zip);
    int status = 0;
    for (const std::string& name : progress.unmatched()) {
        std::fprintf(stderr, "tnzip: %s: no entry matches\n", escapeControlChars(name).c_str());
        status = 1;
    }
    if (!opt.settings.quiet) std::printf("%d file%s extracted\n", count, count == 1 ? "" : "s");
    return status;
}

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
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    Options opt;
    if (!parseArgs(argc, argv, opt)) return usage();
    TnzipArchive archive(opt.settings);
    switch (opt.command) {
        case 'l': return archive.list(opt.archive.c_str());
        case 't': return archive.test(opt.archive.c_str());
        default: return extract(opt, archive);
    }
}
