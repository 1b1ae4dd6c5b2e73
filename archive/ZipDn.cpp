// The locked layer between TnZip and the archive object.
#include "archive/ZipDn.h"

#include "extract/UnzipController.h"

#include "archive/EntryListing.h"
#include "archive/OpenFailure.h"
#include "archive/SinkOutput.h"
#include "archive/ZipSystem.h"
#include "base/StringBuffer.h"
#include "base/XString.h"
#include "zip/ClsZip2.h"
#include "zip/ClsZipEntry2.h"
#include "zip/MemoryArchives.h"

ZipDn::ZipDn() : m_system(new ZipSystem) {
    m_system->addReference();
    m_system->setArchive(new ClsZip2(m_system));
}

ZipDn::~ZipDn() {
    forgetMemory();
    if (m_system != nullptr && m_system->release()) delete m_system;
    m_system = nullptr;
}

ClsZip2* ZipDn::archive() { return m_system != nullptr ? m_system->getArchive() : nullptr; }

bool ZipDn::open(XString& path) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip == nullptr) return setResult(TnZipResult::kNotOpen, "the archive object could not be made");
    forgetMemory();
    if (zip->OpenZip(path)) return setResult(TnZipResult::kOk, "");
    std::string reason;
    const TnZipResult result = classifyOpenFailure(path.getUtf8(), *zip, reason);
    return setResult(result, reason);
}

bool ZipDn::openFromMemory(const void* data, std::size_t size) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip == nullptr) return setResult(TnZipResult::kNotOpen, "the archive object could not be made");
    forgetMemory();
    zip->ClearZipState();
    if (data == nullptr && size != 0) return setResult(TnZipResult::kBadArgument, "no archive bytes given");
    if (size > 0xFFFFFFFFu)
        return setResult(TnZipResult::kBadArgument, "an archive in memory must be smaller than 4 GiB");
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_memoryName = MemoryArchives::add(bytes, static_cast<std::uint32_t>(size));
    XString name;
    name.setUtf8(m_memoryName.c_str());
    if (zip->OpenZip(name)) return setResult(TnZipResult::kOk, "");
    forgetMemory();
    std::string reason;
    const TnZipResult result = classifyMemoryOpenFailure(bytes, size, *zip, reason);
    return setResult(result, reason);
}

void ZipDn::forgetMemory() {
    if (m_memoryName.empty()) return;
    MemoryArchives::remove(m_memoryName);
    m_memoryName.clear();
}

int ZipDn::unzip(XString& folder, ZipCallback* callback) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip == nullptr) return setResult(TnZipResult::kNotOpen, "the archive object could not be made"), -1;
    UnzipController controller(*zip);
    int count = 0;
    const bool ok = controller.Unzip(folder, callback, count);
    setResult(controller.result(), controller.message());
    return ok ? count : -1;
}

int ZipDn::numEntries() {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    return zip != nullptr ? zip->numEntries() : 0;
}

std::string ZipDn::structureDamage() {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    return zip != nullptr ? zip->structureDamage() : std::string();
}

bool ZipDn::getEntry(int index, TnZipEntry& entry) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    ClsZipEntry2* item = zip != nullptr && index >= 0 && index < zip->numEntries() ? zip->entryAt(index) : nullptr;
    if (item == nullptr || !describeEntry(*item, entry))
        return setResult(TnZipResult::kBadArgument, "there is no entry " + std::to_string(index));
    if (entry.isSymlink) readLinkTarget(*zip, index, entry);
    return setResult(TnZipResult::kOk, "");
}

namespace {
// Keeps a link's target, up to the longest target an extraction accepts.
class TargetSink : public TnZipSink {
public:
    explicit TargetSink(std::string& target) : m_target(target) {}
    bool Write(const void* data, std::size_t size) override {
        if (m_target.size() + size > kLinkTargetMax) return false;
        m_target.append(static_cast<const char*>(data), size);
        return true;
    }
    static constexpr std::size_t kLinkTargetMax = 4096;

private:
    std::string& m_target;
};
}  // namespace

// The target is the link entry's content: decoded like any entry (it may be compressed or
// encrypted); left empty when that fails.
void ZipDn::readLinkTarget(ClsZip2& zip, int index, TnZipEntry& entry) {
    if (entry.uncompressedSize > TargetSink::kLinkTargetMax) return;
    TargetSink sink(entry.linkTarget);
    SinkOutput out(sink);
    if (!UnzipController(zip).ExtractOne(index, nullptr, &out, nullptr, "GetEntry")) entry.linkTarget.clear();
}

namespace {
// A folder is found with or without its trailing separator.
std::string folderless(std::string name) {
    while (!name.empty() && name.back() == '/') name.pop_back();
    return name;
}
}  // namespace

int ZipDn::findEntry(const char* utf8Name) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    const std::string wanted = folderless(createdName(utf8Name));
    StringBuffer name;
    for (int i = 0; zip != nullptr && !wanted.empty() && i < zip->numEntries(); ++i) {
        ClsZipEntry2* item = zip->entryAt(i);
        if (item != nullptr && item->GetFileName(name) && folderless(createdName(name.text())) == wanted)
            return setResult(TnZipResult::kOk, ""), i;
    }
    setResult(TnZipResult::kNotFound, std::string(utf8Name ? utf8Name : "") + ": no such entry");
    return -1;
}

bool ZipDn::extractEntry(int index, TnZipSink& sink, ZipCallback* callback) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip == nullptr) return setResult(TnZipResult::kNotOpen, "the archive object could not be made");
    SinkOutput out(sink);
    UnzipController controller(*zip);
    const bool ok = controller.ExtractOne(index, nullptr, &out, callback, "ExtractEntry");
    setResult(controller.result(), controller.message());
    return ok;
}

bool ZipDn::unzipEntry(int index, const char* folder, ZipCallback* callback) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip == nullptr) return setResult(TnZipResult::kNotOpen, "the archive object could not be made");
    UnzipController controller(*zip);
    const bool ok = controller.ExtractOne(index, folder, nullptr, callback, "UnzipEntry");
    setResult(controller.result(), controller.message());
    return ok;
}

void ZipDn::close() {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip != nullptr) zip->ClearZipState();
    forgetMemory();
    setResult(TnZipResult::kOk, "");
}

bool ZipDn::setResult(TnZipResult result, std::string message) {
    m_result = result;
    m_message = std::move(message);
    return result == TnZipResult::kOk;
}

TnZipResult ZipDn::lastResult() {
    TarnelLockGuard lock(*this);
    return m_result;
}

std::string ZipDn::lastMessage() {
    TarnelLockGuard lock(*this);
    return m_message;
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

bool ZipDn::setNeverOverwrite(bool on) {
    TarnelLockGuard lock(*this);
    ClsZip2* zip = archive();
    if (zip != nullptr) zip->setNeverOverwrite(on);
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
