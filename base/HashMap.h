// A map from text keys to owned text values, spread over a fixed number of list buckets.
// Entries live until the map is destroyed. Not synchronised.
#pragma once
#include <cstdint>

class NamedObject;
class StringBuffer;
class TN_List;

class HashMap {
public:
    // 0 buckets means 100.
    explicit HashMap(std::uint32_t bucketCount = 0);
    HashMap(const HashMap&) = delete;
    HashMap& operator=(const HashMap&) = delete;
    ~HashMap();

    // Keys are compared byte for byte, case included.
    bool contains(const char* key) const;
    NamedObject* find(const char* key) const;
    // The value's ownership passes to the map, also when put fails (the value is then deleted).
    // A present key gets the new value; otherwise a new entry is added.
    bool put(const char* key, StringBuffer* value);
    bool putText(const char* key, const char* value);

    std::uint32_t bucketCount() const { return m_bucketCount; }
    // The bucket a key belongs in: CRC-32 of the key's MD5 digest, modulo the bucket count.
    std::uint32_t bucketOf(const char* key) const;

private:
    std::uint32_t m_bucketCount;
    TN_List* m_buckets;
};
