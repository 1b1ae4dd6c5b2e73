// Extraction of one entry of the opened archive into a file or directory below a base folder:
// the output path, its directories, the choice of data source, the decode pipeline, the CRC
// check, and the entry's time and attributes on what was created.
//
// One extractor serves one pass over the entries of an Unzip; it counts the files it writes and
// remembers the directories it has already reported as not creatable. Nothing handed in is owned.
//
// Every output stays below the base folder: "." and ".." components of entry names are dropped,
// and everything is created through directory handles below the folder (ExtractTarget), so no
// link there is ever followed or written through.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_set>

#include "base/StringBuffer.h"
#include "extract/EntryFailure.h"
#include "extract/ExtractTarget.h"
class CheckedOutput;
class ClsZip2;
class DataBuffer;
class MemDataObjSource;
class ClsZipEntry2;
class LogBase;
class MemoryData;
class MemoryDataPool;
class Output;
class OutputFile;
class ProgressMonitor;
class ZipPipeline;
class ZipWalkEntry;

class EntryExtractor {
public:
    // baseFolder: the trimmed UTF-8 folder ("." when empty). tempDir may be null. monitor may be
    // null.
    EntryExtractor(const char* baseFolder, bool ignoreDirectories, LogBase& log, ProgressMonitor* monitor,
                   const char* tempDir, MemoryDataPool& pool);
    EntryExtractor(const EntryExtractor&) = delete;
    EntryExtractor& operator=(const EntryExtractor&) = delete;

    // True when the entry was extracted or deliberately passed over.
    bool UnzipEntry(ClsZipEntry2& entry);
    bool InflateFromMapped(ClsZipEntry2& entry);

    // Decode and check entries without creating anything: no directories, no files.
    void setTestOnly(bool on) { m_testOnly = on; }
    // Names that already exist are kept; their entries are passed over, not failed.
    void setNeverOverwrite(bool on) { m_neverOverwrite = on; }
    // With test-only set, the content of each file entry goes to this Output (not owned) instead
    // of being discarded; a write it refuses stops the entry as aborted.
    void setDestination(Output* out) { m_destination = out; }
    // Why the latest UnzipEntry failed; result kOk after a success.
    const EntryFailure& failure() const { return m_failure; }
    // Applies the directory entries' times and permissions; call once after the last entry.
    void finish();

    int count() const { return m_count; }
    void setCount(int count) { m_count = count; }

    // The entry name as it is placed below the base folder: no wildcard characters, no root,
    // no "." or ".." components ('\' separators).
    static std::string safeRelativeName(const char* name);

private:
    struct Job;  // the state of one InflateFromMapped call
    // False, after logging, when the entry's local and central records disagree.
    bool consistent(ClsZipEntry2& entry);
    bool extractDirectory(Job& job);
    bool extractFile(Job& job);
    bool testFile(Job& job);
    bool extractLink(Job& job);
    bool openFolder(Job& job, std::size_t depth);
    // Logs "Unzip failed" with the entry's path; false.
    bool failEntry(Job& job);
    bool notCreated(Job& job, bool countProgress);
    bool decodeInto(Job& job, Output& out);
    bool configureSource(Job& job, ZipPipeline& pipeline, MemDataObjSource& window);
    bool decryptAes(Job& job);
    bool passwordFits(Job& job);
    // Records a missing or wrong password; false.
    bool passwordRefused(Job& job);
    bool storedBytesMissing();
    bool decodeFailed(const ZipPipeline& pipeline, const CheckedOutput& out);
    bool checkCrc(Job& job, std::uint32_t crc);
    bool restoreAttributes(Job& job, OutputFile& out);
    void reportDirectory(const std::string& dir);
    void countFailedEntry(const ZipWalkEntry& record);
    void logPath(const char* ansiKey, const char* utf8Key, const std::string& path);

    std::string m_base;
    bool m_ignoreDirectories;
    LogBase& m_log;
    ProgressMonitor* m_monitor;
    StringBuffer m_tempDir;  // empty: none given
    MemoryDataPool& m_pool;
    ExtractTarget m_target;
    std::unordered_set<std::string> m_failedDirs;  // reported once each; grows with the archive
    int m_count = 0;
    bool m_testOnly = false;
    bool m_neverOverwrite = false;
    Output* m_destination = nullptr;
    EntryFailure m_failure;
};
