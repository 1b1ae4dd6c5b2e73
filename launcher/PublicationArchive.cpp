// Listing and testing the publication's archive through the library's archive object.
#include "launcher/PublicationArchive.h"

#include <algorithm>

#include "archive/ZipDn.h"
#include "base/FilePaths.h"
#include "base/StringBuffer.h"
#include "base/XString.h"
#include "extract/EntryExtractor.h"
#include "log/Logger.h"
#include "zip/ClsZip2.h"
#include "zip/ClsZipEntry2.h"
#include "zip/MemoryDataPool.h"
#include "zip/ZipWalkEntry.h"

namespace {

// As the archive spells it ('/'), and safe to print.
std::string entryName(const ClsZipEntry2& entry) {
    StringBuffer stored;
    entry.GetFileName(stored);
    std::string name = stored.text();
    std::replace(name.begin(), name.end(), '\\', '/');
    return escapeControlChars(name);
}

}  // namespace

PublicationArchive::PublicationArchive() : m_dn(new ZipDn) {}

PublicationArchive::~PublicationArchive() { delete m_dn; }

bool PublicationArchive::open(const std::string& path) {
    XString xpath;
    xpath.setUtf8(path.c_str());
    m_open = m_dn->open(xpath) && m_dn->archive();
    return m_open;
}

void PublicationArchive::forEachEntry(const std::function<void(const Entry&)>& visit) {
    ClsZip2* zip = m_open ? m_dn->archive() : nullptr;
    for (int i = 0; zip && i < zip->numEntries(); ++i) {
        ClsZipEntry2* entry = zip->entryAt(i);
        const ZipWalkEntry* record = entry ? entry->walkEntry() : nullptr;
        if (!record) continue;
        Entry e;
        e.name = entryName(*entry);
        e.size = record->centralRecord.uncompressedSize;
        e.packed = record->centralRecord.compressedSize;
        e.directory = ClsZipEntry2::isDirectoryRecord(*record);
        visit(e);
    }
}

bool PublicationArchive::testEntries(std::vector<std::string>& failed) {
    ClsZip2* zip = m_open ? m_dn->archive() : nullptr;
    if (!zip) return false;
    Logger& log = zip->log();
    log.clearLog();
    MemoryDataPool pool;
    EntryExtractor extractor(".", false, log, nullptr, nullptr, pool);
    extractor.setTestOnly(true);
    const std::size_t before = failed.size();
    for (int i = 0; i < zip->numEntries(); ++i) {
        ClsZipEntry2* entry = zip->entryAt(i);
        if (!entry || entry->IsEmptyKind()) continue;
        if (!extractor.UnzipEntry(*entry)) failed.push_back(entryName(*entry));
    }
    return failed.size() == before;
}
