// Loading and publication of the code page tables from their compiled-in texts.
#include "base/CodePageTables.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "base/CodePageTableText.h"
#include "base/ContentCoding.h"
#include "base/DataBuffer.h"
#include "base/LittleEndian.h"
#include "base/TarnelCritSec.h"
#include "codecs/TarnelBzip2.h"

namespace {

// Pages that convert with another page's table, in one or both directions.
constexpr int kLatin1 = 28591;       // the 1252 table in both directions
constexpr int kMacJapanese = 10001;  // decodes with 932; encodes with 932 patched by its own text

// Bucket counts (tuning values).
constexpr std::uint32_t kSingleByteBuckets = 269;
constexpr std::uint32_t kMultiByteBuckets = 7669;

constexpr int kMaxPages = 128;
std::atomic<const CodePageDecoder*> g_decoders[kMaxPages];
std::atomic<const CodePageEncoder*> g_encoders[kMaxPages];

TarnelCritSec& tableLock() {
    static TarnelCritSec lock;
    return lock;
}

// Index of the page's own table text, or -1.
int textIndex(int codePage) {
    int count = 0;
    const CodePageTableText::Entry* entries = CodePageTableText::entries(count);
    const CodePageTableText::Entry* end = entries + std::min(count, kMaxPages);
    const CodePageTableText::Entry* it = std::lower_bound(
        entries, end, codePage, [](const CodePageTableText::Entry& e, int cp) { return e.codePage < cp; });
    return it != end && it->codePage == codePage ? static_cast<int>(it - entries) : -1;
}

const char* textOf(int index) {
    int count = 0;
    return CodePageTableText::entries(count)[index].text;
}

// Decodes base64 text into raw, which takes the block without copying.
bool decodeBase64(const char* text, DataBuffer& raw) {
    std::uint32_t length = 0;
    std::uint8_t* block = ContentCoding().decodeBase64(text, length);
    if (block == nullptr) return false;
    raw.adopt(block, length);
    return true;
}

// Unpacks a table text: 'c' + base64 of a bzip2 block, or 'x' + plain base64.
bool unpackText(const char* text, DataBuffer& raw) {
    if (text[0] == 'x') return decodeBase64(text + 1, raw);
    DataBuffer packed;
    if (text[0] != 'c' || !decodeBase64(text + 1, packed)) return false;
    return TarnelBzip2::decompress(packed, raw);
}

// Walks the two record lists of a full table, calling single(byte, unit) and dbl(code, unit).
template <typename Single, typename Double>
bool walkFullTable(const DataBuffer& raw, Single single, Double dbl) {
    const std::uint8_t* p = raw.data() + 2;
    const std::uint8_t* end = raw.data() + raw.size();
    std::uint8_t b = 0;
    std::uint16_t unit = 0;
    for (; p < end && *p != 0; p += 3) {
        if (end - p < 3) return false;
        b = static_cast<std::uint8_t>(b + p[0]);
        unit = static_cast<std::uint16_t>(unit + loadLe16(p + 1));
        single(b, unit);
    }
    std::uint16_t code = 0;
    unit = 0;
    for (++p; end - p >= 4 && loadLe16(p) != 0; p += 4) {
        code = static_cast<std::uint16_t>(code + loadLe16(p));
        unit = static_cast<std::uint16_t>(unit + loadLe16(p + 2));
        dbl(code, unit);
    }
    return true;
}

bool loadRaw(int index, DataBuffer& raw, bool wantPatch) {
    if (!unpackText(textOf(index), raw) || raw.size() < 2) return false;
    return (raw.data()[1] == 'd') == wantPatch;
}

CodePageDecoder* buildDecoder(int index, bool multiByte) {
    DataBuffer raw;
    if (!loadRaw(index, raw, false)) return nullptr;
    auto* table = new (std::nothrow) CodePageDecoder;
    if (table == nullptr) return nullptr;
    table->ascii = raw.data()[0] == 'a';
    if (!multiByte) {
        table->lookup = new (std::nothrow) UnicodeLookup{};
        if (table->lookup == nullptr) return delete table, nullptr;
        for (int b = 1; table->ascii && b < 0x80; ++b) table->lookup->units[b] = static_cast<std::uint16_t>(b);
        UnicodeLookup* lookup = table->lookup;
        walkFullTable(
            raw,
            [lookup](std::uint8_t b, std::uint16_t u) {
                if (!lookup->units[b]) lookup->units[b] = u;
            },
            [](std::uint16_t, std::uint16_t) {});
        return table;
    }
    table->map = new (std::nothrow) HashConvert(kMultiByteBuckets);
    if (table->map == nullptr) return delete table, nullptr;
    HashConvert* map = table->map;
    walkFullTable(
        raw,
        [map](std::uint8_t b, std::uint16_t u) {
            std::uint8_t value[2] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8)};
            map->insert(&b, 1, value, 2);
        },
        [map, table](std::uint16_t code, std::uint16_t u) {
            std::uint8_t key[2] = {static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)};
            std::uint8_t value[2] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8)};
            map->insert(key, 2, value, 2);
            table->leads[key[0] >> 3] |= static_cast<std::uint8_t>(1 << (key[0] & 7));
        });
    return table;
}

void insertUnit(HashConvert& map, std::uint16_t unit, const std::uint8_t* bytes, int n) {
    std::uint8_t key[2] = {static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8)};
    map.insert(key, 2, bytes, n);
}

// Removes every mapping of the unit: a page may hold several byte strings for one unit.
void removeUnit(HashConvert& map, std::uint16_t unit) {
    std::uint8_t key[2] = {static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8)};
    int length = 0;
    while (map.lookup(key, 2, length) != nullptr) map.remove(key, 2);
}

CodePageEncoder* buildEncoder(int index, bool multiByte) {
    DataBuffer raw;
    if (!loadRaw(index, raw, false)) return nullptr;
    auto* table = new (std::nothrow) CodePageEncoder;
    if (table == nullptr) return nullptr;
    table->ascii = raw.data()[0] == 'a';
    table->map = new (std::nothrow) HashConvert(multiByte ? kMultiByteBuckets : kSingleByteBuckets);
    if (table->map == nullptr) return delete table, nullptr;
    HashConvert& map = *table->map;
    walkFullTable(
        raw, [&map](std::uint8_t b, std::uint16_t u) { insertUnit(map, u, &b, 1); },
        [&map](std::uint16_t code, std::uint16_t u) {
            std::uint8_t bytes[2] = {static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)};
            insertUnit(map, u, bytes, 2);
        });
    return table;
}

// Applies a patch table: removed units, then 1-byte and 2-byte replacements.
bool applyPatch(const DataBuffer& raw, CodePageEncoder& table) {
    const std::uint8_t* p = raw.data() + 2;
    const std::uint8_t* end = raw.data() + raw.size();
    for (; end - p >= 2 && loadLe16(p) != 0; p += 2) removeUnit(*table.map, loadLe16(p));
    for (p += 2; end - p >= 3 && *p != 0; p += 3) {
        removeUnit(*table.map, loadLe16(p + 1));
        insertUnit(*table.map, loadLe16(p + 1), p, 1);
    }
    for (p += 1; end - p >= 4 && *p != 0; p += 4) {
        removeUnit(*table.map, loadLe16(p + 2));
        insertUnit(*table.map, loadLe16(p + 2), p, 2);
    }
    table.ascii = raw.data()[0] == 'a';
    return true;
}

CodePageEncoder* buildPatchedEncoder(int baseIndex, int patchIndex) {
    DataBuffer raw;
    if (!loadRaw(patchIndex, raw, true)) return nullptr;
    CodePageEncoder* table = buildEncoder(baseIndex, true);
    if (table != nullptr) applyPatch(raw, *table);
    return table;
}

// Double-checked publication: the lock is taken only while a table is still absent.
template <typename Table, typename Build>
const Table* publish(std::atomic<const Table*>& slot, Build build) {
    const Table* table = slot.load(std::memory_order_acquire);
    if (table != nullptr) return table;
    TarnelLockGuard guard(tableLock());
    table = slot.load(std::memory_order_relaxed);
    if (table == nullptr) {
        table = build();
        slot.store(table, std::memory_order_release);
    }
    return table;
}

}  // namespace

bool CodePageTables::has(int codePage) { return codePage == kLatin1 || textIndex(codePage) >= 0; }

bool CodePageTables::isMultiByte(int codePage) {
    switch (codePage) {
        case 932:
        case 936:
        case 949:
        case 950:
        case 1361:
        case kMacJapanese:
        case 51932:
        case 51936:
        case 51949: return true;
        default: return false;
    }
}

const CodePageDecoder* CodePageTables::decoder(int codePage) {
    if (codePage == kLatin1) codePage = 1252;
    if (codePage == kMacJapanese) codePage = 932;
    int index = textIndex(codePage);
    if (index < 0) return nullptr;
    bool multi = isMultiByte(codePage);
    return publish(g_decoders[index], [index, multi] { return buildDecoder(index, multi); });
}

const CodePageEncoder* CodePageTables::encoder(int codePage) {
    if (codePage == kLatin1) codePage = 1252;
    int index = textIndex(codePage);
    if (index < 0) return nullptr;
    if (codePage == kMacJapanese) {
        int base = textIndex(932);
        return publish(g_encoders[index], [base, index] { return buildPatchedEncoder(base, index); });
    }
    bool multi = isMultiByte(codePage);
    return publish(g_encoders[index], [index, multi] { return buildEncoder(index, multi); });
}
