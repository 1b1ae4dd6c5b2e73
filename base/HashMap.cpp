// HashMap: bucket choice, lookup and insertion.
#include "base/HashMap.h"

#include <cstring>
#include <new>

#include "base/Md5.h"
#include "base/NamedObject.h"
#include "base/StringBuffer.h"
#include "base/TN_List.h"
#include "base/TN_ListItem.h"
#include "codecs/ZipCRC.h"

HashMap::HashMap(std::uint32_t bucketCount)
    : m_bucketCount(bucketCount == 0 ? 100 : bucketCount), m_buckets(new (std::nothrow) TN_List[m_bucketCount]) {
    if (m_buckets == nullptr) m_bucketCount = 0;
}

HashMap::~HashMap() {
    for (std::uint32_t i = 0; i < m_bucketCount; ++i) {
        for (TN_ListItem* item = m_buckets[i].first(); item != nullptr; item = item->next()) {
            delete static_cast<NamedObject*>(item->value());
        }
    }
    delete[] m_buckets;
}

// The digest spreads any keys evenly; the CRC folds it to one number.
std::uint32_t HashMap::bucketOf(const char* key) const {
    if (key == nullptr || m_bucketCount == 0) return 0;
    Md5 md5;
    md5.update(key, std::strlen(key));
    std::uint8_t digest[16];
    md5.finish(digest);
    return ZipCRC::crcOfBuffer(digest, 16) % m_bucketCount;
}

NamedObject* HashMap::find(const char* key) const {
    if (key == nullptr || m_bucketCount == 0) return nullptr;
    std::size_t n = std::strlen(key);
    for (TN_ListItem* item = m_buckets[bucketOf(key)].last(); item != nullptr; item = item->previous()) {
        auto* entry = static_cast<NamedObject*>(item->value());
        const StringBuffer& name = entry->name();
        if (static_cast<std::size_t>(name.length()) == n && std::memcmp(name.text(), key, n) == 0) return entry;
    }
    return nullptr;
}

bool HashMap::contains(const char* key) const { return find(key) != nullptr; }

bool HashMap::put(const char* key, StringBuffer* value) {
    if (key == nullptr || m_bucketCount == 0) {
        delete value;
        return false;
    }
    if (NamedObject* entry = find(key)) {
        entry->setValue(value);
        return true;
    }
    auto* entry = new (std::nothrow) NamedObject(key, value);
    if (entry == nullptr) {
        delete value;
        return false;
    }
    if (!m_buckets[bucketOf(key)].appendValue(entry)) {
        delete entry;
        return false;
    }
    return true;
}

bool HashMap::putText(const char* key, const char* value) {
    auto* text = new (std::nothrow) StringBuffer(value);
    return text != nullptr && put(key, text);
}
