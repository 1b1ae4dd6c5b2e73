// Unshrink: the code table, partial clearing and the decode loop. All state lives in one call.
#include "codecs/Unshrink.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/BufferCodecIo.h"
#include "codecs/InflateOutput.h"
#include "codecs/LegacyBitReader.h"

namespace {
constexpr int kCodes = 8192;  // 13-bit codes
constexpr int kControl = 256;
constexpr int kFirstFree = 257;
constexpr int kMinWidth = 9;
constexpr int kMaxWidth = 13;
constexpr std::uint32_t kOutBlock = 32768;  // the most an InflateOutput takes per write
constexpr std::uint16_t kFree = 0x8000;     // flag in a prefix entry: the code is not defined

class ShrinkTable {
public:
    ShrinkTable() : m_prefix(kCodes, kFree), m_suffix(kCodes, 0), m_stack(kCodes), m_isPrefix(kCodes) {
        for (int c = 0; c < 256; ++c) m_prefix[c] = 0;
    }

    bool isFree(int code) const { return (m_prefix[code] & kFree) != 0; }

    // Writes the string of code to the decode stack; returns its length, or 0 when the prefix
    // chain is longer than the table can hold (a cycle). A free code keeps its last string, so a
    // code freed by a partial clear still spells what it spelled.
    int spell(int code) {
        int top = kCodes;
        while (code >= kFirstFree) {
            if (top == 1) return 0;
            m_stack[--top] = m_suffix[code];
            code = m_prefix[code] & (kCodes - 1);
        }
        m_stack[--top] = static_cast<std::uint8_t>(code);
        m_start = top;
        return kCodes - top;
    }
    const std::uint8_t* spelled() const { return m_stack.data() + m_start; }

    // Defines the next free code above the last one assigned; when none is left, nothing.
    void add(int prefix, std::uint8_t suffix) {
        while (m_next < kCodes && !isFree(m_next)) ++m_next;
        if (m_next == kCodes) return;
        m_prefix[m_next] = static_cast<std::uint16_t>(prefix);
        m_suffix[m_next] = suffix;
        if (m_next >= m_end) m_end = m_next + 1;
    }

    // Frees every defined code from 257 up that is no other defined code's prefix.
    void partialClear() {
        std::fill(m_isPrefix.begin(), m_isPrefix.end(), false);
        for (int c = kFirstFree; c < m_end; ++c)
            if (!isFree(c)) m_isPrefix[m_prefix[c]] = true;
        for (int c = kFirstFree; c < m_end; ++c)
            if (!m_isPrefix[c]) m_prefix[c] |= kFree;
        m_next = kFirstFree;
    }

private:
    std::vector<std::uint16_t> m_prefix;
    std::vector<std::uint8_t> m_suffix;
    std::vector<std::uint8_t> m_stack;
    std::vector<bool> m_isPrefix;
    int m_start = kCodes;
    int m_end = kFirstFree;  // one past the highest code ever defined: the clear looks no further
    int m_next = kFirstFree;
};

// Hands the decoded bytes on in whole blocks. A sink without room for a block, or one that
// refuses it, ends the decode: nothing is held back or retried.
class BlockWriter {
public:
    explicit BlockWriter(InflateOutput& out) : m_out(out), m_block(kOutBlock) {}
    bool put(const std::uint8_t* bytes, int n) {
        auto left = static_cast<std::uint32_t>(n);
        while (left > 0) {
            const std::uint32_t take = std::min(left, kOutBlock - m_fill);
            std::memcpy(m_block.data() + m_fill, bytes, take);
            m_fill += take;
            bytes += take;
            left -= take;
            if (m_fill == kOutBlock && !flush()) return false;
        }
        return true;
    }
    bool flush() {
        if (m_fill == 0) return true;
        std::uint32_t room = 0;
        bool ok = m_out.spaceAvailable(room) && room >= m_fill && m_out.write(m_block.data(), m_fill) &&
                  !m_out.isAborted();
        m_fill = 0;
        return ok;
    }

private:
    InflateOutput& m_out;
    std::vector<std::uint8_t> m_block;
    std::uint32_t m_fill = 0;
};

bool decode(LegacyBitReader& in, InflateOutput& out) {
    if (!in.has(kMinWidth)) return !in.inputFailed();
    int previous = static_cast<int>(in.bits(kMinWidth));
    // A stream starts with a plain byte; anything else has no string to build on.
    if (previous >= kControl) return true;

    ShrinkTable table;
    BlockWriter writer(out);
    std::uint8_t first = static_cast<std::uint8_t>(previous);
    if (!writer.put(&first, 1)) return false;
    int width = kMinWidth;
    while (in.has(width)) {
        int code = static_cast<int>(in.bits(width));
        if (code == kControl) {
            if (!in.has(width)) break;
            int sub = static_cast<int>(in.bits(width));
            // Widths beyond 13 bits would index past the table: such a request is ignored.
            if (sub == 1 && width < kMaxWidth) ++width;
            else if (sub == 2) table.partialClear();
            continue;
        }
        // A code not yet defined is the one being defined now: the previous string plus its
        // own first byte.
        bool undefined = code >= kFirstFree && table.isFree(code);
        int n = table.spell(undefined ? previous : code);
        if (n == 0) {
            writer.flush();
            return false;
        }
        std::uint8_t head = table.spelled()[0];
        bool ok = writer.put(table.spelled(), n) && (!undefined || writer.put(&head, 1));
        if (!ok) return false;
        table.add(previous, head);
        previous = code;
    }
    return writer.flush() && !in.inputFailed();
}
}  // namespace

bool Unshrink::unshrink(const std::uint8_t* bytes, std::uint32_t count, DataBuffer& out) {
    LegacyBitReader in(bytes, count);
    DataBufferOutput buffer(out);
    return decode(in, buffer);
}

bool Unshrink::unshrink(InflateInput& input, InflateOutput& out) {
    LegacyBitReader in(input);
    return decode(in, out);
}
