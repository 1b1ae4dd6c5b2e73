// The archive object's Unzip: checks the whole-archive password, walks the entries twice (ask
// the application and add up the bytes, then extract), drives the progress monitor and reports
// how many files were written. A failed entry does not stop the others; it fails the whole call.
#pragma once
#include <cstdint>
#include <string>

#include "tarnel/TnZipResult.h"
class ClsZip2;
class ClsZipEntry2;
class EntryExtractor;
class MemoryDataPool;
class Output;
class StringBuffer;
class XString;
class ZipCallback;

class UnzipController {
public:
    explicit UnzipController(ClsZip2& zip) : m_zip(zip) {}
    UnzipController(const UnzipController&) = delete;
    UnzipController& operator=(const UnzipController&) = delete;

    // callback may be null; count receives the number of files written.
    bool Unzip(XString& folder, ZipCallback* callback, int& count);
    // pattern may be null (every entry).
    bool UnzipCommon(XString& folder, XString* pattern, bool onlyNewer, bool ignoreDirectories, ZipCallback* callback,
                     const char* operation, int& count);
    bool UnzipEntries(const char* baseFolder, bool ignoreDirectories, const char* pattern, bool onlyNewer,
                      ZipCallback* callback, int& count, MemoryDataPool& pool);
    bool CheckUnzipPassword();

    // One entry by index, with the events and rules of Unzip for that entry: into destination
    // (not owned) when it is given, else as a file, folder or link below folder (UTF-8).
    bool ExtractOne(int index, const char* folder, Output* destination, ZipCallback* callback, const char* operation);

    // Only '*' is a wildcard (any run, also empty). Null text counts as empty.
    static bool MatchWildcard(const char* text, const char* pattern, bool caseSensitive);

    // Why the latest call failed (kOk when it did not) and one line for a person: the first
    // failure, with the count of further failed entries.
    TnZipResult result() const { return m_result; }
    const std::string& message() const { return m_message; }
    // An entry name as callbacks receive it: the platform's separator.
    static std::string shownName(const char* name);

private:
    // First pass: clears or sets skip flags and returns the byte total; false on abort.
    bool chooseEntries(const char* baseFolder, const char* pattern, bool onlyNewer, ZipCallback* callback,
                       std::int64_t& total);
    bool askAbort(ZipCallback* callback);
    bool extractOneEntry(ClsZipEntry2& entry, const char* folder, Output* destination, ZipCallback* callback);
    bool passwordFailure();
    void clearResult();
    static void cleanName(const ClsZipEntry2& entry, StringBuffer& name);
    // Reports a failed entry to the callback and keeps the first failure.
    void entryFailed(const EntryExtractor& extractor, const char* name, ZipCallback* callback);
    // Keeps the first failure of the call; false.
    bool fail(TnZipResult result, const std::string& message);

    ClsZip2& m_zip;
    TnZipResult m_result = TnZipResult::kOk;
    std::string m_message;
    int m_moreFailures = 0;
};
