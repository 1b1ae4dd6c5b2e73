// The listing and the test of tnzip, and the small text helpers its commands share; built on the
// library's public interface alone.
#pragma once
#include <functional>
#include <string>
#include <cstdint>
#include <utility>
#include <vector>

#include "tarnel/TnZipResult.h"

class TnZip;
struct TnZipEntry;

struct TnzipSettings {
    const char* password = nullptr;
    int oemCodePage = 0;
    bool verbose = false;  // l: attributes, host, extra fields; t: the library's detailed log
    bool quiet = false;
    bool namesOnly = false;         // l: one name a line
    const char* logFile = nullptr;  // the library's full log goes here (.xml/.html: that format)
    // Standard input's copy (the archive "-"): opened instead of the path, which names it in
    // messages.
    const char* openPath = nullptr;
    std::uint64_t maxDecoderMemory = 0;  // 0: the library's default
};

class TnzipArchive {
public:
    explicit TnzipArchive(const TnzipSettings& settings) : m_settings(settings) {}

    // Exit status (tnzip::exitStatus): 0 listed, else why the archive could not be opened.
    int list(const char* path);
    // Exit status: 0 every entry decoded and matched its CRC, else the worst failure's (each
    // failure one line on stderr).
    int test(const char* path);

    // Opens path in zip with the settings; false after reporting why on stderr in one line, with
    // status set to the exit status.
    bool open(TnZip& zip, const char* path, int& status) const;

    // Without a password given, asks for one on the terminal ("[ARCHIVE] NAME password: ") when
    // an entry `wanted` selects is encrypted; once, the answer serves every entry. Without a
    // terminal nothing is asked and those entries fail ("password required").
    void askPassword(TnZip& zip, const char* path, const std::function<bool(const TnZipEntry&)>& wanted) const;

private:
    const TnzipSettings& m_settings;
};

namespace tnzip {
// unzip's exit status for a result: 1 skipped, 2 damaged data, 3 damaged structure, 9 not found
// or not a ZIP archive, 50 disk full, 80 interrupted, 81 unsupported, 82 password.
int exitStatus(TnZipResult result);

// The failures of one command: each printed as it comes, then a summary line.
class Failures {
public:
    // An encrypted entry whose check fails most likely had a wrong password that passed the
    // header's one check byte (1 in 256 do): the line says so.
    void add(TnZipResult result, const char* message, bool encrypted = false);
    void add(int status, const char* message);
    bool empty() const { return m_count == 0; }
    // Prints the summary line when there were failures; the worst exit status, or 0.
    int report(const std::string& archive) const;

private:
    int m_count = 0;
    int m_status = 0;
};

// The library's full log of the latest call: on stderr with -v, into the --log file.
void keepLog(TnZip& zip, const TnzipSettings& settings);

// Names come from archives: control characters (C0, DEL, C1) are shown as \xHH, never raw.
std::string escapeControlChars(const std::string& text);
// '*' any run of characters (also none, '/' included), '?' one character, '[...]' one of a set
// ('[!...]' none of it, ranges a-z). Case matters.
bool matchWildcard(const std::string& text, const std::string& pattern);
}  // namespace tnzip
