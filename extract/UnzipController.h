// The archive object's Unzip: checks the whole-archive password, walks the entries twice (ask
// the application and add up the bytes, then extract), drives the progress monitor and reports
// how many files were written. A failed entry does not stop the others; it fails the whole call.
#pragma once
#include <cstdint>
class ClsZip2;
class MemoryDataPool;
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

    // Only '*' is a wildcard (any run, also empty). Null text counts as empty.
    static bool MatchWildcard(const char* text, const char* pattern, bool caseSensitive);

private:
    // First pass: clears or sets skip flags and returns the byte total; false on abort.
    bool chooseEntries(const char* baseFolder, const char* pattern, bool onlyNewer, ZipCallback* callback,
                       std::int64_t& total);
    bool askAbort(ZipCallback* callback);
    static void cleanName(const class ClsZipEntry2& entry, StringBuffer& name);

    ClsZip2& m_zip;
};
