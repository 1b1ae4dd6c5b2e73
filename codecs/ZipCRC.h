// The CRC-32 of the ZIP format (reflected polynomial 0xEDB88320, register starts at all ones,
// result complemented): a running calculator and a one-shot form.
#pragma once
#include <cstddef>
#include <cstdint>

class ZipCRC {
public:
    ZipCRC();
    virtual ~ZipCRC() = default;

    void reset();
    // A null pointer or a count of 0 or less changes nothing.
    void update(const void* bytes, std::int32_t count);
    // The CRC of everything fed since reset; update may go on afterwards.
    std::uint32_t finalValue() const;

    // One-shot CRC, independent of any running value; 0 for no bytes. When isBinary is given it
    // becomes 1 if bytes 0..6 and 128..255 outnumber a quarter of the bytes 7..127, else 0.
    static std::uint32_t crcOfBuffer(const void* bytes, std::int32_t count, std::uint16_t* isBinary = nullptr);

    // The register update without the object, for any length: state is the uncomplemented register.
    static std::uint32_t updateState(std::uint32_t state, const void* bytes, std::size_t count);

    // The byte-at-a-time table, shared with the traditional decryption's key update.
    static const std::uint32_t* table();

private:
    std::uint32_t m_value;
};
