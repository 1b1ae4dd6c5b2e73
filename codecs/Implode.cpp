// Implode decoding: table set-up, symbol decoding and the match copy.
#include "codecs/Implode.h"

#include <algorithm>

#include <cstring>

#include "codecs/BufferCodecIo.h"
#include "codecs/InflateOutput.h"
#include "codecs/LegacyBitReader.h"

namespace {
constexpr std::uint32_t kBlock = 32768;   // output handed on at once; also the longest match copy
constexpr std::uint32_t kHistory = 8192;  // the farthest a match reaches back (13 distance bits + 1)
constexpr int kLiteralSymbols = 256;
constexpr int kLengthDistanceSymbols = 64;
}  // namespace

Implode::Implode() : m_window(kHistory + kBlock) {}

void Implode::load(const std::uint8_t* bytes, std::uint32_t count) {
    m_input = bytes;
    m_inputSize = bytes ? count : 0;
}

bool Implode::explode(bool dict8k, bool literalTable, DataBuffer& out) {
    LegacyBitReader in(m_input, m_inputSize);
    DataBufferOutput buffer(out);
    return run(dict8k, literalTable, in, buffer);
}

bool Implode::explode(bool dict8k, bool literalTable, InflateInput& input, InflateOutput& out) {
    LegacyBitReader in(input);
    return run(dict8k, literalTable, in, out);
}

bool Implode::run(bool dict8k, bool literalTable, LegacyBitReader& in, InflateOutput& out) {
    m_hasLiteralTable = literalTable;
    m_lowDistanceBits = dict8k ? 7 : 6;
    m_minMatch = literalTable ? 3 : 2;
    m_out = &out;
    m_windowStart = 0;
    m_fill = m_flushed = 0;
    if (!in.has(1)) return !in.inputFailed();
    if (literalTable && !readTable(in, m_literals, kLiteralSymbols)) return false;
    if (!readTable(in, m_lengths, kLengthDistanceSymbols)) return false;
    if (!readTable(in, m_distances, kLengthDistanceSymbols)) return false;
    bool ok = decodeStream(in);
    return flush() && ok && !in.inputFailed();
}

// A table is a count byte (description bytes - 1) and description bytes, each giving a run of
// (high nibble + 1) consecutive symbols with code length (low nibble + 1). The runs must cover
// the symbols exactly: fewer or more is a malformed table.
bool Implode::readTable(LegacyBitReader& in, Table& t, int size) {
    int descriptions = static_cast<int>(in.bits(8)) + 1;
    int lengths[256];
    int n = 0;
    for (int i = 0; i < descriptions; ++i) {
        std::uint32_t b = in.bits(8);
        int count = static_cast<int>(b >> 4) + 1;
        if (n + count > size) return false;
        for (int k = 0; k < count; ++k) lengths[n++] = static_cast<int>(b & 15) + 1;
    }
    if (n != size || in.overrun()) return false;

    // Stable order by length, then symbol: what the format's exchange sort produces.
    t = Table();
    t.size = size;
    int pos = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int s = 0; s < size; ++s) {
            if (lengths[s] != len) continue;
            t.symbol[pos] = static_cast<std::uint8_t>(s);
            t.length[pos] = static_cast<std::uint8_t>(len);
            ++pos;
            t.maxLength = len;
        }
        t.runEnd[len] = pos;
        t.runCount[len] = pos - (len > 1 ? t.runEnd[len - 1] : 0);
    }
    assignCodes(t);
    return true;
}

// Codes are handed out from the last (longest) entry to the first, as left-aligned 16-bit values:
// add the increment, and on a change of length make the increment one unit of the new length.
// Only each run's last entry is recorded: the others follow by adding 1 per entry towards the
// start of the run, modulo 2^length.
void Implode::assignCodes(Table& t) {
    std::uint16_t code = 0;
    std::uint16_t increment = 0;
    int previousLength = 0;
    for (int i = t.size - 1; i >= 0; --i) {
        code = static_cast<std::uint16_t>(code + increment);
        int len = t.length[i];
        if (len != previousLength) {
            increment = static_cast<std::uint16_t>(1u << (16 - len));
            previousLength = len;
            t.runLastCode[len] = static_cast<std::uint16_t>(code >> (16 - len));
        }
    }
}

// Reads bits one at a time; after each, looks for a code of that length equal to the bits so far
// (first such entry in sorted order). A bit string that matches nothing decodes as symbol 0.
int Implode::decode(LegacyBitReader& in, const Table& t) {
    std::uint32_t v = 0;
    for (int len = 1; len <= t.maxLength; ++len) {
        v = (v << 1) | in.bits(1);
        int count = t.runCount[len];
        if (count == 0) continue;
        std::uint32_t mask = (1u << len) - 1;
        std::uint32_t k = (v - t.runLastCode[len]) & mask;
        if (k >= static_cast<std::uint32_t>(count)) continue;
        // More entries than codes of this length (a corrupt table): the first one wins.
        k += ((static_cast<std::uint32_t>(count) - 1 - k) >> len) << len;
        return t.symbol[t.runEnd[len] - 1 - static_cast<int>(k)];
    }
    return 0;
}

// The decode loop. A symbol counts only when all of its bits were in the input: the zero bits
// that pad the last byte never complete a symbol, so decoding ends exactly with the data.
bool Implode::decodeStream(LegacyBitReader& in) {
    for (;;) {
        if (in.bits(1)) {
            std::uint32_t literal = m_hasLiteralTable ? decode(in, m_literals) : in.bits(8);
            if (in.overrun()) return true;
            if (!put(static_cast<std::uint8_t>(literal))) return false;
            continue;
        }
        std::uint32_t distance = in.bits(m_lowDistanceBits);
        distance |= static_cast<std::uint32_t>(decode(in, m_distances)) << m_lowDistanceBits;
        std::uint32_t symbol = decode(in, m_lengths);
        std::uint32_t length = symbol + m_minMatch;
        if (symbol == 63) length += in.bits(8);
        if (in.overrun()) return true;
        if (!copyMatch(distance, length)) return false;
    }
}

// Hands the unflushed part of the window on; a sink without room for it, or one that refuses
// it, ends the decode.
bool Implode::flush() {
    std::uint32_t n = m_fill - m_flushed;
    if (n == 0) return true;
    std::uint32_t room = 0;
    bool ok = m_out->spaceAvailable(room) && room >= n && m_out->write(m_window.data() + m_flushed, n) &&
              !m_out->isAborted();
    m_flushed = m_fill;
    return ok;
}

// Appends one byte. Every kBlock bytes are handed on; a full window is slid down to its last
// kHistory bytes, all of them handed on already.
bool Implode::put(std::uint8_t byte) {
    if (m_fill == m_window.size()) {
        if (!flush()) return false;
        std::memmove(m_window.data(), m_window.data() + m_fill - kHistory, kHistory);
        m_windowStart += m_fill - kHistory;
        m_fill = m_flushed = kHistory;
    }
    m_window[m_fill++] = byte;
    return m_fill - m_flushed < kBlock || flush();
}

// Copies length bytes from distance + 1 bytes back. Positions before the start of the output
// read as zero bytes; a match longer than its distance repeats the bytes it has just written.
bool Implode::copyMatch(std::uint32_t distance, std::uint32_t length) {
    length = std::min(length, kBlock);
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint64_t position = m_windowStart + m_fill;
        const std::int64_t from = static_cast<std::int64_t>(position) - distance - 1;
        const std::uint8_t byte = from < 0 ? 0 : m_window[static_cast<std::uint64_t>(from) - m_windowStart];
        if (!put(byte)) return false;
    }
    return true;
}
