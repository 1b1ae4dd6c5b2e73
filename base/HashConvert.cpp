// Packed-bucket hash map of the code page tables.
#include "base/HashConvert.h"

#include <cstring>

HashConvert::HashConvert(std::uint32_t bucketCount) : m_buckets(bucketCount ? bucketCount : 1) {}

// The key read as a little-endian integer, modulo the bucket count.
std::uint32_t HashConvert::bucketOf(const std::uint8_t* key, int keyLength) const {
    std::uint32_t v = 0;
    for (int i = keyLength - 1; i >= 0; --i) v = (v << 8) | key[i];
    return v % static_cast<std::uint32_t>(m_buckets.size());
}

// Returns the start of the first entry with this key, or null. An empty bucket has no block.
const std::uint8_t* HashConvert::find(const std::vector<std::uint8_t>& bucket, const std::uint8_t* key, int keyLength) {
    if (bucket.empty()) return nullptr;
    const std::uint8_t* p = bucket.data();
    while (*p != 0) {
        const std::uint8_t* value = p + 1 + p[0];
        if (p[0] == keyLength && std::memcmp(p + 1, key, keyLength) == 0) return p;
        p = value + 1 + value[0];
    }
    return nullptr;
}

bool HashConvert::insert(const std::uint8_t* key, int keyLength, const std::uint8_t* value, int valueLength) {
    if (keyLength < 1 || keyLength > 4 || valueLength < 1 || valueLength > 4) return false;
    std::vector<std::uint8_t>& bucket = m_buckets[bucketOf(key, keyLength)];
    if (!bucket.empty()) bucket.pop_back();  // the terminator; re-added below
    bucket.push_back(static_cast<std::uint8_t>(keyLength));
    bucket.insert(bucket.end(), key, key + keyLength);
    bucket.push_back(static_cast<std::uint8_t>(valueLength));
    bucket.insert(bucket.end(), value, value + valueLength);
    bucket.push_back(0);
    return true;
}

// Rebuilds the bucket without the first entry of this key.
void HashConvert::remove(const std::uint8_t* key, int keyLength) {
    if (keyLength < 1 || keyLength > 4) return;
    std::vector<std::uint8_t>& bucket = m_buckets[bucketOf(key, keyLength)];
    const std::uint8_t* entry = find(bucket, key, keyLength);
    if (entry == nullptr) return;
    const std::uint8_t* value = entry + 1 + entry[0];
    auto begin = bucket.begin() + (entry - bucket.data());
    auto end = bucket.begin() + (value + 1 + value[0] - bucket.data());
    bucket.erase(begin, end);
    if (bucket.size() == 1) bucket.clear();
}

const std::uint8_t* HashConvert::lookup(const std::uint8_t* key, int keyLength, int& valueLength) const {
    valueLength = 0;
    if (keyLength < 1 || keyLength > 4) return nullptr;
    const std::uint8_t* entry = find(m_buckets[bucketOf(key, keyLength)], key, keyLength);
    if (entry == nullptr) return nullptr;
    const std::uint8_t* value = entry + 1 + entry[0];
    valueLength = value[0];
    return value + 1;
}
