// A fixed-bucket hash map from short byte strings (1 to 4 bytes) to short byte strings, used by
// the code page tables. Each bucket is one packed block: entries of (key length, key, value
// length, value), ended by a zero byte. A lookup returns the first entry with an equal key, so
// among duplicate keys the earliest insertion wins. Not synchronised; read-only once published.
#pragma once
#include <cstdint>
#include <vector>

class HashConvert {
public:
    explicit HashConvert(std::uint32_t bucketCount);

    bool insert(const std::uint8_t* key, int keyLength, const std::uint8_t* value, int valueLength);
    void remove(const std::uint8_t* key, int keyLength);
    // Returns the value of the first entry whose key equals key, or null; sets valueLength.
    const std::uint8_t* lookup(const std::uint8_t* key, int keyLength, int& valueLength) const;

    std::uint32_t bucketCount() const { return static_cast<std::uint32_t>(m_buckets.size()); }

private:
    std::uint32_t bucketOf(const std::uint8_t* key, int keyLength) const;
    static const std::uint8_t* find(const std::vector<std::uint8_t>& bucket, const std::uint8_t* key, int keyLength);

    std::vector<std::vector<std::uint8_t>> m_buckets;
};
