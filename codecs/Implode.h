// Decoder for ZIP method 6 (imploding): LZ77 with Shannon-Fano coded literals, lengths and
// distances. Works from a whole input block; the entry's size is not known, so decoding ends
// when the input runs out.
#pragma once
#include <cstdint>
#include <vector>

class DataBuffer;
class LegacyBitReader;

class Implode {
public:
    Implode();
    Implode(const Implode&) = delete;
    Implode& operator=(const Implode&) = delete;

    // Remembers the block (not copied: it must outlive explode); reading starts at its first byte.
    void load(const std::uint8_t* bytes, std::uint32_t count);

    // Appends the decoded bytes to out. dict8k is general-purpose bit 1 of the entry,
    // literalTable bit 2. False when the code tables are malformed or out could not grow; the
    // bytes decoded until then stay in out. A stream that is merely wrong decodes to whatever the
    // codes say; the entry's CRC is the guard.
    bool explode(bool dict8k, bool literalTable, DataBuffer& out);

private:
    // One Shannon-Fano code. Entries are sorted by (length, symbol); codes of one length form a
    // run of consecutive values, so a run is described by where it ends and its last entry's code.
    struct Table {
        int size = 0;                      // symbols: 256 or 64
        int maxLength = 0;                 // longest code length, 1..16
        std::uint8_t symbol[256] = {};     // sorted order
        std::uint8_t length[256] = {};     // sorted order
        int runEnd[17] = {};               // one past the last entry of each length
        int runCount[17] = {};
        std::uint16_t runLastCode[17] = {}; // top `length` bits of the run's last entry's code
    };

    bool readTable(LegacyBitReader& in, Table& t, int size);
    static void assignCodes(Table& t);
    static int decode(LegacyBitReader& in, const Table& t);
    bool decodeStream(LegacyBitReader& in, DataBuffer& out);
    bool flush(DataBuffer& out);
    bool copyMatch(std::uint32_t distance, std::uint32_t length, DataBuffer& out);

    const std::uint8_t* m_input = nullptr;
    std::uint32_t m_inputSize = 0;

    bool m_hasLiteralTable = false;
    int m_lowDistanceBits = 6;
    std::uint32_t m_minMatch = 2;
    Table m_literals;
    Table m_lengths;
    Table m_distances;

    std::uint32_t m_base = 0;   // out's size when explode began: matches never reach below it
    std::vector<std::uint8_t> m_pending;  // literals not yet moved to out
    std::uint32_t m_pendingFill = 0;
    std::vector<std::uint8_t> m_scratch;  // one match being assembled
};
