// Decoder for ZIP method 6 (imploding): LZ77 with Shannon-Fano coded literals, lengths and
// distances. The entry's size is not known, so decoding ends when the input runs out. Matches
// reach at most 8,192 bytes back, so a window of that much history plus one output block is all
// the decoder holds, whatever the output size.
#pragma once
#include <cstdint>
#include <vector>

class DataBuffer;
class InflateInput;
class InflateOutput;
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
    // The streamed form (load is not needed): pulls input as needed and hands output on in blocks
    // of up to 32,768 bytes. Also false when the input fails, or out has too little room, refuses
    // a block or answers isAborted.
    bool explode(bool dict8k, bool literalTable, InflateInput& in, InflateOutput& out);

private:
    // One Shannon-Fano code. Entries are sorted by (length, symbol); codes of one length form a
    // run of consecutive values, so a run is described by where it ends and its last entry's code.
    struct Table {
        int size = 0;                   // symbols: 256 or 64
        int maxLength = 0;              // longest code length, 1..16
        std::uint8_t symbol[256] = {};  // sorted order
        std::uint8_t length[256] = {};  // sorted order
        int runEnd[17] = {};            // one past the last entry of each length
        int runCount[17] = {};
        std::uint16_t runLastCode[17] = {};  // top `length` bits of the run's last entry's code
    };

    bool readTable(LegacyBitReader& in, Table& t, int size);
    static void assignCodes(Table& t);
    static int decode(LegacyBitReader& in, const Table& t);
    bool run(bool dict8k, bool literalTable, LegacyBitReader& in, InflateOutput& out);
    bool decodeStream(LegacyBitReader& in);
    bool put(std::uint8_t byte);
    bool flush();
    bool copyMatch(std::uint32_t distance, std::uint32_t length);

    const std::uint8_t* m_input = nullptr;
    std::uint32_t m_inputSize = 0;

    bool m_hasLiteralTable = false;
    int m_lowDistanceBits = 6;
    std::uint32_t m_minMatch = 2;
    Table m_literals;
    Table m_lengths;
    Table m_distances;

    // Output window: history the matches may reach, then the block being filled. Positions are
    // counted from the start of this decode; those before it read as zero bytes.
    InflateOutput* m_out = nullptr;
    std::vector<std::uint8_t> m_window;
    std::uint64_t m_windowStart = 0;  // position of m_window[0]
    std::uint32_t m_fill = 0;         // bytes in the window
    std::uint32_t m_flushed = 0;      // window bytes already handed on
};
