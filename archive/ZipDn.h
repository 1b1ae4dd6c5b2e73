// Serialises every call on one TnZip with a lock and reaches the archive object through the
// ZipSystem registry, on which it holds one reference.
#pragma once
#include <cstdint>

#include "base/TarnelCritSec.h"

class StringBuffer;
class XString;
class ZipCallback;
class ZipSystem;
class ClsZip2;

class ZipDn : public TarnelCritSec {
public:
    ZipDn();
    ~ZipDn() override;

    bool open(XString& path);
    // The count of files extracted, or -1.
    int unzip(XString& folder, ZipCallback* callback);

    // Settings and the log of the latest call; false when there is no archive object.
    bool setPassword(const char* utf8);
    bool setOemCodePage(int codePage);
    bool setVerboseLogging(bool on);
    bool setTempDir(const char* utf8);
    bool setMaxDecoderMemory(std::uint64_t bytes);
    enum class LogFormat { kText, kXml, kHtml };
    bool getLog(LogFormat format, StringBuffer& out);

    ClsZip2* archive();

private:
    ZipSystem* m_system;
};
