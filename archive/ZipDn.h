// Serialises every call on one TnZip with a lock and reaches the archive object through the
// ZipSystem registry, on which it holds one reference.
#pragma once
#include <cstddef>
#include <string>
#include <cstdint>

#include "base/TarnelCritSec.h"
#include "tarnel/TnZipResult.h"

class StringBuffer;
class XString;
class ZipCallback;
class ZipSystem;
class ClsZip2;
class TnZipSink;
struct TnZipEntry;

class ZipDn : public TarnelCritSec {
public:
    ZipDn();
    ~ZipDn() override;

    bool open(XString& path);
    // The archive in the caller's memory, borrowed until the next open or close.
    bool openFromMemory(const void* data, std::size_t size);
    // The count of files extracted, or -1.
    int unzip(XString& folder, ZipCallback* callback);

    // Settings and the log of the latest call; false when there is no archive object.
    bool setPassword(const char* utf8);
    bool setOemCodePage(int codePage);
    bool setVerboseLogging(bool on);
    bool setTempDir(const char* utf8);
    bool setNeverOverwrite(bool on);
    bool setMaxDecoderMemory(std::uint64_t bytes);
    enum class LogFormat { kText, kXml, kHtml };
    bool getLog(LogFormat format, StringBuffer& out);

    ClsZip2* archive();

    // The listing; 0 entries and false without an open archive.
    int numEntries();
    std::string structureDamage();
    bool getEntry(int index, TnZipEntry& entry);
    // The index of the entry whose created name (UTF-8, either separator) this is, or -1.
    int findEntry(const char* utf8Name);
    // One entry into the sink, or below the folder (UTF-8) as Unzip would make it.
    bool extractEntry(int index, TnZipSink& sink, ZipCallback* callback);
    bool unzipEntry(int index, const char* folder, ZipCallback* callback);
    // Forgets the open archive and its entries.
    void close();

    // The result of the latest open or extraction call and its one-line message.
    TnZipResult lastResult();
    std::string lastMessage();

private:
    // Drops the registration of a memory archive opened before.
    void forgetMemory();
    void readLinkTarget(ClsZip2& zip, int index, TnZipEntry& entry);
    // Stores the outcome of a call; true exactly for kOk.
    bool setResult(TnZipResult result, std::string message);

    ZipSystem* m_system;
    TnZipResult m_result = TnZipResult::kOk;
    std::string m_message;
    std::string m_memoryName;  // the registered name of an open memory archive, or empty
};
