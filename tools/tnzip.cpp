// tnzip: the library's command line, with unzip's arguments where the meaning is the same.
//   tnzip l|-l ARCHIVE [-1] [-v]
//   tnzip t|-t ARCHIVE [-P PASSWORD] [-q] [-v]
//   tnzip x ARCHIVE [NAMES...] [-d DIR] [-x PATTERN...] [-p] [-n|-o] [-P PASSWORD] [-q] [-v]
// Exit status as unzip's (see kUsage and docs/tnzip.1).
#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
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
#include <set>
#include <string>
#include <vector>

#include "TnzipArchive.h"
#include "TnzipProgressLine.h"
#include "TnzipSpool.h"
#include "tarnel/TnZip.h"
#include "tarnel/TnZipProgress.h"

using tnzip::escapeControlChars;
using tnzip::matchWildcard;

namespace {

const char kUsage[] =
    "usage: tnzip l ARCHIVE [-1] [-v]\n"
    "       tnzip t ARCHIVE [-P PASSWORD] [-q] [-v]\n"
    "       tnzip x ARCHIVE [NAMES...] [-d DIR] [-x PATTERN...] [-p] [-n | -o] [-P PASSWORD] [-q] [-v]\n"
    "\n"
    "  l, -l   list entries: size, packed size, ratio, method, encryption, date, time, CRC-32, name\n"
    "          (-v adds attributes, host system and extra field ids)\n"
    "  t, -t   decode every entry and check its CRC-32 without writing anything\n"
    "  x       extract the entries NAMES select (all without NAMES); in NAMES and PATTERNs '*' matches\n"
    "          any run of characters, '?' one character, '[...]' one of a set ('[!...]' none of it)\n"
    "\n"
    "  -d DIR               extract into DIR (default: the current directory)\n"
    "  -x PATTERN...        leave out the entries the PATTERNs match (up to the next option)\n"
    "  -p                   write the selected entries to standard output, nothing else\n"
    "  -P PASSWORD          password of encrypted entries (without it: asked on the terminal)\n"
    "  --password-file FILE the password is the first line of FILE\n"
    "  -n                   never overwrite an existing file\n"
    "  -o                   overwrite existing files without asking (the default)\n"
    "  -1                   l: names only, one a line\n"
    "  -q                   quiet: no progress, no summary\n"
    "  -v                   verbose: each name as it is written, and the library's full log\n"
    "  --log FILE           write the library's full log to FILE (.xml or .html: that format)\n"
    "  --oem-cp N           code page of names stored without the UTF-8 flag (default: the system's\n"
    "                       OEM code page, 437 off Windows)\n"
    "  --max-memory SIZE    most memory one entry's decoder may take for the window or dictionary its\n"
    "                       data asks for, in bytes or with K, M, G (default 256M)\n"
    "  -                    as ARCHIVE: read the archive from standard input\n"
    "  --version            the version\n"
    "  -h, --help           this text\n"
    "\n"
    "Exit status: 0 success; 1 some entries were skipped or not written (warning); 2 damaged entry\n"
    "data (CRC or size mismatch); 3 damaged archive structure, or out of memory; 9 archive not found\n"
    "or not a ZIP archive; 10 invalid options; 11 a NAME matched no entry; 50 disk full; 80\n"
    "interrupted; 81 unsupported compression or encryption; 82 password required or wrong.\n";

struct Options {
    char command = 0;
    std::string archive;
    std::string folder = ".";
    std::vector<std::string> names;
    std::vector<std::string> excludes;
    bool neverOverwrite = false;
    bool pipe = false;
    bool namesOnly = false;
    std::string password;
    bool passwordGiven = false;
    TnzipSettings settings;
};

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

bool readPasswordFile(const char* path, std::string& out) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char line[1024];
    const bool ok = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    if (!ok) return false;
    out = line;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return true;
}

// The verb: l, t, x, or unzip's -l and -t.
bool parseCommand(const char* arg, char& command) {
    if (arg[0] == '-' && arg[1] && !arg[2] && std::strchr("lt", arg[1])) arg++;
    if (!arg[0] || arg[1] || !std::strchr("ltx", arg[0])) return false;
    command = arg[0];
    return true;
}

// An option taking a value; false when it is not one, or on a usage error (error set).
bool valueOption(const std::string& arg, const char* value, Options& opt, bool& error) {
    if (arg != "-d" && arg != "-P" && arg != "--password-file" && arg != "--log" && arg != "--oem-cp" &&
        arg != "--max-memory")
        return false;
    if (!value) return error = true;
    if (arg == "-d") opt.folder = value;
    else if (arg == "-P") opt.password = value, opt.passwordGiven = true;
    else if (arg == "--password-file") {
        if (!readPasswordFile(value, opt.password)) {
            std::fprintf(stderr, "tnzip: %s: cannot read the password\n", escapeControlChars(value).c_str());
            return error = true;
        }
        opt.passwordGiven = true;
    } else if (arg == "--log") opt.settings.logFile = value;
    else if (arg == "--max-memory") error = !parseSize(value, opt.settings.maxDecoderMemory);
    else if (!parseCodePage(value, opt.settings.oemCodePage)) error = true;
    return true;
}

bool flagOption(const std::string& arg, Options& opt) {
    if (arg == "-v") opt.settings.verbose = true;
    else if (arg == "-q") opt.settings.quiet = true;
    else if (arg == "-n") opt.neverOverwrite = true;
    else if (arg == "-o") opt.neverOverwrite = false;
    else if (arg == "-p") opt.pipe = true;
    else if (arg == "-1") opt.namesOnly = true;
    else return false;
    return true;
}

// False on a usage error. The first word after the archive is always a NAME, never the folder.
bool parseArgs(int argc, char** argv, Options& opt) {
    if (argc < 3 || !parseCommand(argv[1], opt.command)) return false;
    bool haveArchive = false, inExcludes = false, optionsEnd = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        bool error = false;
        const bool isOption = !optionsEnd && arg.size() > 1 && arg[0] == '-';
        if (isOption && arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (isOption) inExcludes = false;
        if (isOption && arg == "-x") inExcludes = true;
        else if (isOption && valueOption(arg, i + 1 < argc ? argv[i + 1] : nullptr, opt, error)) {
            if (error) return false;
            ++i;
        } else if (isOption && !flagOption(arg, opt)) return false;
        else if (isOption) continue;
        else if (!haveArchive) opt.archive = arg, haveArchive = true;
        else if (inExcludes) opt.excludes.push_back(arg);
        else opt.names.push_back(arg);
    }
    if (!haveArchive) return false;
    if (opt.passwordGiven) opt.settings.password = opt.password.c_str();
    if (opt.pipe) opt.settings.quiet = true;
    return opt.command == 'x' || (opt.names.empty() && opt.excludes.empty());
}

// Which entries the NAMES and -x PATTERNs select, and which NAMES matched nothing.
class Selection {
public:
    explicit Selection(const Options& opt) : m_opt(opt), m_matched(opt.names.size(), false) {}

    bool selected(const char* name) {
        std::string path = name ? name : "";
        for (char& c : path)
            if (c == '\\') c = '/';
        bool chosen = m_opt.names.empty();
        for (std::size_t i = 0; i < m_opt.names.size(); ++i)
            if (matchWildcard(path, m_opt.names[i])) chosen = m_matched[i] = true;
        for (const std::string& pattern : m_opt.excludes)
            if (matchWildcard(path, pattern)) return false;
        return chosen;
    }
    // Reports the NAMES that matched no entry; true when there was one.
    bool reportUnmatched() const {
        bool any = false;
        for (std::size_t i = 0; i < m_matched.size(); ++i)
            if (!m_matched[i]) {
                std::fprintf(stderr, "tnzip: %s: no entry matches\n", escapeControlChars(m_opt.names[i]).c_str());
                any = true;
            }
        return any;
    }

private:
    const Options& m_opt;
    std::vector<bool> m_matched;
};

// Progress of x: the line on a terminal (line may be null), the selection, each failure as one
// line.
class ExtractProgress : public TnZipProgress {
public:
    ExtractProgress(const Options& opt, Selection& selection, tnzip::Failures& failures, ProgressLine* line)
        : m_opt(opt), m_selection(selection), m_failures(failures), m_line(line) {}

    void UnzipPercent(int percent, bool* /*abort*/) override {
        if (m_line) m_line->update(percent);
    }
    void UnzipEnd() override {
        if (m_line) m_line->clear();
    }
    void ToBeUnzipped(const char* name, int, int, bool* skip) override {
        *skip = !m_selection.selected(name);
        if (m_line && !*skip) m_line->setName(escapeControlChars(name ? name : ""));
    }
    void FileUnzipped(const char* name, int, int, bool*) override {
        if (!m_opt.settings.verbose) return;
        const std::string text = escapeControlChars(name ? name : "");
        const bool folder = !text.empty() && (text.back() == '/' || text.back() == '\\');
        std::printf("%s %s\n", folder ? "   creating:" : "  inflating:", text.c_str());
    }
    void EntryFailed(const char* name, TnZipResult result, const char* message) override {
        if (m_line) m_line->clear();  // the message gets a line of its own; the next update redraws
        m_failures.add(result, message, name && m_encrypted.count(name) > 0);
    }
    // The names of the encrypted entries, as the events give them.
    void setEncrypted(std::set<std::string> names) { m_encrypted = std::move(names); }

private:
    const Options& m_opt;
    Selection& m_selection;
    tnzip::Failures& m_failures;
    ProgressLine* m_line;
    std::set<std::string> m_encrypted;
};

// Standard output as a sink; a write error stops the extraction.
class StdoutSink : public TnZipSink {
public:
    bool Write(const void* data, std::size_t size) override { return std::fwrite(data, 1, size, stdout) == size; }
};

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

std::set<std::string> encryptedNames(TnZip& zip) {
    std::set<std::string> names;
    TnZipEntry e;
    for (int i = 0; i < zip.NumEntries(); ++i)
        if (zip.GetEntry(i, e) && e.encryption != TnZipEncryption::kNone) names.insert({e.name, e.archiveName});
    return names;
}

std::uint64_t selectedBytes(TnZip& zip, Selection& selection) {
    std::uint64_t total = 0;
    TnZipEntry e;
    for (int i = 0; i < zip.NumEntries(); ++i)
        if (zip.GetEntry(i, e) && !e.isDirectory && selection.selected(e.name.c_str())) total += e.uncompressedSize;
    return total;
}

// -p: the selected files' content, in archive order, to standard output.
int pipeOut(const Options& opt, TnZip& zip, Selection& selection, tnzip::Failures& failures) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    StdoutSink sink;
    TnZipEntry e;
    for (int i = 0; i < zip.NumEntries(); ++i) {
        if (!zip.GetEntry(i, e) || e.isDirectory || !selection.selected(e.name.c_str())) continue;
        if (!zip.ExtractEntry(i, sink))
            failures.add(zip.LastResult(), zip.LastMessage(), e.encryption != TnZipEncryption::kNone);
        tnzip::keepLog(zip, opt.settings);
    }
    std::fflush(stdout);
    return 0;
}

int extract(const Options& opt, const TnzipArchive& archive) {
    TnZip zip;
    zip.SetNeverOverwrite(opt.neverOverwrite);
    int status = 0;
    if (!archive.open(zip, opt.archive.c_str(), status)) return status;
    Selection selection(opt);
    archive.askPassword(zip, opt.archive.c_str(),
                        [&](const TnZipEntry& e) { return selection.selected(e.name.c_str()); });
    tnzip::Failures failures;
    int count = 0;
    if (opt.pipe) pipeOut(opt, zip, selection, failures);
    else {
        // On a terminal only, and not among -v's names.
        const bool onTerminal = !opt.settings.quiet && !opt.settings.verbose && isatty(STDERR_FILENO);
        ProgressLine line(stderr, selectedBytes(zip, selection));
        ExtractProgress progress(opt, selection, failures, onTerminal ? &line : nullptr);
        progress.setEncrypted(encryptedNames(zip));
        count = zip.Unzip(opt.folder.c_str(), &progress);
        // A damaged directory, or a failure of the whole call (the folder) that named no entry.
        const std::string damage = zip.StructureDamage();
        if (!damage.empty()) failures.add(3, (opt.archive + ": " + damage).c_str());
        else if (count < 0 && failures.empty()) failures.add(zip.LastResult(), zip.LastMessage());
        tnzip::keepLog(zip, opt.settings);
    }
    const bool unmatched = selection.reportUnmatched();
    status = failures.report(opt.archive);
    if (status == 0 && unmatched) status = 11;
    if (!opt.settings.quiet && count >= 0) std::printf("%d file%s extracted\n", count, count == 1 ? "" : "s");
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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tnzip %s\n", TnZipVersionString());
            return 0;
        }
    }
    Options opt;
    if (!parseArgs(argc, argv, opt)) {
        std::fputs(kUsage, stderr);
        return 10;
    }
    opt.settings.namesOnly = opt.namesOnly;
    StdinSpool spool;
    if (opt.archive == "-") {
        std::string error;
        if (!spool.fill(error)) {
            std::fprintf(stderr, "tnzip: %s\n", error.c_str());
            return error.find(std::strerror(ENOSPC)) != std::string::npos ? 50 : 9;
        }
        opt.settings.openPath = spool.path().c_str();
    }
    TnzipArchive archive(opt.settings);
    switch (opt.command) {
        case 'l': return archive.list(opt.archive.c_str());
        case 't': return archive.test(opt.archive.c_str());
        default: return extract(opt, archive);
    }
}
