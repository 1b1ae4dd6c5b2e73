// Table decoding (one array lookup per byte, or up to three hash lookups per character) and
// table encoding (one hash lookup per code unit).
#include "base/TableCodec.h"

#include "base/CodePageTables.h"
#include "base/ConvertOutput.h"
#include "base/LittleEndian.h"

namespace {

bool decodeSingleByte(const UnicodeLookup& lookup, const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    bool ok = true;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint16_t unit = lookup.units[in[i]];
        if (unit != 0 || in[i] == 0) {
            out.putUnit(unit);
        } else {
            ok = false;
        }
    }
    return ok;
}

// The longest key that matches at in[0..left), tried 2, 3 and 4 bytes long, then 1; returns
// the number of bytes consumed, or 0 when nothing matches.
std::uint32_t decodeOne(const CodePageDecoder& table, const std::uint8_t* in, std::uint32_t left, std::uint16_t& unit) {
    int length = 0;
    if (table.isLead(in[0])) {
        for (std::uint32_t k = 2; k <= 4 && k <= left; ++k) {
            const std::uint8_t* value = table.map->lookup(in, static_cast<int>(k), length);
            if (value != nullptr && length == 2) return unit = loadLe16(value), k;
        }
    }
    if (in[0] == 0 || (table.ascii && in[0] < 0x80)) return unit = in[0], 1;
    const std::uint8_t* value = table.map->lookup(in, 1, length);
    if (value != nullptr && length == 2) return unit = loadLe16(value), 1;
    return 0;
}

bool decodeMultiByte(const CodePageDecoder& table, const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    bool ok = true;
    std::uint32_t i = 0;
    while (i < n) {
        std::uint16_t unit = 0;
        std::uint32_t used = decodeOne(table, in + i, n - i, unit);
        if (used == 0) {
            ok = false;
            ++i;
            continue;
        }
        out.putUnit(unit);
        i += used;
    }
    return ok;
}

bool isArabicIndicDigit(std::uint16_t unit) {
    return (unit >= 0x0660 && unit <= 0x0669) || (unit >= 0x06F0 && unit <= 0x06F9);
}

}  // namespace

bool TableCodec::decode(int codePage, const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    const CodePageDecoder* table = CodePageTables::decoder(codePage);
    if (table == nullptr) return false;
    out.expect(2ull * n);
    if (table->lookup != nullptr) return decodeSingleByte(*table->lookup, in, n, out);
    return decodeMultiByte(*table, in, n, out);
}

bool TableCodec::encode(int codePage, const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    const CodePageEncoder* table = CodePageTables::encoder(codePage);
    if (table == nullptr) return false;
    bool ok = (n & 1) == 0;
    // Arabic pages write Arabic-Indic digits as ASCII digits.
    bool westernDigits = codePage == 28596 || codePage == 1256;
    out.expect(n / 2 + 4);
    for (std::uint32_t i = 0; i + 1 < n; i += 2) {
        std::uint16_t unit = loadLe16(in + i);
        if (westernDigits && isArabicIndicDigit(unit)) unit = static_cast<std::uint16_t>('0' + (unit & 0x0F));
        if (unit == 0 || (table->ascii && unit < 0x80)) {
            out.put(static_cast<std::uint8_t>(unit));
            continue;
        }
        std::uint8_t key[2] = {static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8)};
        int length = 0;
        const std::uint8_t* bytes = table->map->lookup(key, 2, length);
        if (bytes == nullptr) {
            ok = false;
            continue;
        }
        out.putBytes(bytes, length);
    }
    return ok;
}
