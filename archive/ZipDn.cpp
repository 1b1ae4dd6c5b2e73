// The locked layer between TnZip and the archive object.
#include "archive/ZipDn.h"

#include "extract/UnzipController.h"

#include "archive/ZipSystem.h"
#include "base/StringBuffer.h"
#include "zip/ClsZip2.h"

ZipDn::ZipDn() : m_system(new ZipSystem) {
    m_system->addReference();
    m_system->setArchive(new ClsZip2(m_system));
}

ZipDn::~ZipDn() {
    if (m_system != nullptr && m_system->release()) delete m_system;
    m_system = nullptr;
}

ClsZip2* ZipDn::archive() { return m_system != nullptr ? m_system->getArchive() : nullptr; }

bool ZipDn::open(XString& path) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    return zip != nullptr && zip->OpenZip(path);
}

int ZipDn::unzip(XString& folder, ZipCallback* callback) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    int count = 0;
    if (zip == nullptr || !UnzipController(*zip).Unzip(folder, callback, count)) return -1;
    return count;
}

bool ZipDn::setPassword(const char* utf8) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip != nullptr) zip->setPassword(utf8);
    return zip != nullptr;
}

bool ZipDn::setOemCodePage(int codePage) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip != nullptr) zip->setOemCodePage(codePage);
    return zip != nullptr;
}

bool ZipDn::setVerboseLogging(bool on) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip != nullptr) zip->setVerboseLogging(on);
    return zip != nullptr;
}

bool ZipDn::setTempDir(const char* utf8) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip != nullptr) zip->setTempDir(utf8);
    return zip != nullptr;
}

bool ZipDn::setMaxDecoderMemory(std::uint64_t bytes) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip != nullptr) zip->setMaxDecoderMemory(bytes);
    return zip != nullptr;
}

bool ZipDn::getLog(LogFormat format, StringBuffer& out) {
    TarnelLockGuard lock(*this);
    out.clear();
    ClsZip2* zip = archive();
    if (zip == nullptr) return false;
    if (format == LogFormat::kXml) zip->log().getLogXml(out);
    else if (format == LogFormat::kHtml) zip->log().getLogHtml(out);
    else zip->log().getLogText(out);
    return true;
}
