// The inflate state machine: block headers, stored blocks, dynamic code headers, the careful
// symbol loop around the fast loop, window hand-over, streaming refills and the entry points.
#include "codecs/InflateState2.h"

#include <cstring>
#include <new>

#include "codecs/InflateInput.h"
#include "codecs/InflateOutput.h"
#include "codecs/InflateTable.h"
#include "log/LogBase.h"

namespace {

// Order in which the code-length code lengths are sent.
const std::uint8_t kCodeLenOrder[InflateTable::kCodeLenCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                 11, 4,  12, 3, 13, 2, 14, 1, 15};

}  // namespace

InflateState2::InflateState2() {
    m_buffer = new (std::nothrow) std::uint8_t[kBufferSize];
    // A match may reach before the first output byte and copies zeros from there; everything
    // after the history is written before it is read. Deflate64's longer history is cleared
    // when it is chosen, so that small entries clear 32 KiB rather than 64.
    if (m_buffer) std::memset(m_buffer, 0, kWindowSize);
    m_litLenTable = new (std::nothrow) std::uint32_t[InflateTable::kLitLenSize];
    m_distTable = new (std::nothrow) std::uint32_t[InflateTable::kDistSize];
    if (m_buffer) m_flushed = m_cur.out = m_buffer + kWindowSize;
    InflateTable::fixedLitLen();  // the process-wide fixed tables exist from the first construction on
}

InflateState2::~InflateState2() {
    delete[] m_buffer;
    delete[] m_litLenTable;
    delete[] m_distTable;
    delete[] m_inputBuffer;
}

void InflateState2::setDeflate64(bool on) {
    m_deflate64 = on;
    m_history = on ? kHistory64 : kWindowSize;
    if (!m_buffer) return;
    if (on) std::memset(m_buffer, 0, kHistory64);
    m_flushed = m_cur.out = m_buffer + m_history;
}

// ---- entry points ----

void InflateState2::inflateBuffer(const std::uint8_t* bytes, std::uint32_t count, LogBase& log, bool verbose) {
    if (!bytes) return;
    LogContext context(log, "inflateDataB", verbose);
    if (count == 0) {
        if (verbose) log.logInfo("No data to inflate.");
    } else {
        m_log = &log;
        m_logSteps = verbose;
        m_inBase = m_cur.in = bytes;
        m_cur.inEnd = bytes + count;
        m_location = (m_buffer && m_litLenTable && m_distTable) ? run() : kNoMemory;
        m_error = m_location != kSuccess && m_location != kAborted;
    }
}

bool InflateState2::inflateSource(InflateInput& source, LogBase& log, bool verbose) {
    if (verbose) log.enterContext("inflator");
    decodeSource(source);
    return reportSource(log, verbose);
}

void InflateState2::decodeSource(InflateInput& source) {
    m_progressMarker = 0;
    m_inputBuffer = new (std::nothrow) std::uint8_t[kInputBufferSize];
    if (!m_inputBuffer || !m_buffer || !m_litLenTable || !m_distTable) {
        m_location = kNoMemory;
        return;
    }
    m_progressMarker = 1;
    m_source = &source;
    m_inBase = m_cur.in = m_cur.inEnd = m_inputBuffer;
    refillInput(0);
    m_progressMarker = 2;
    m_location = run();
    m_progressMarker = m_location == kSuccess ? 4 : 3;
    delete[] m_inputBuffer;
    m_inputBuffer = nullptr;
}

void InflateState2::endAs(int location) {
    m_location = location;
    m_progressMarker = 3;
}

bool InflateState2::reportSource(LogBase& log, bool verbose) {
    if (m_location == kNoMemory && m_progressMarker == 0) {
        log.logError("Internal error occurred when inflating from data source.");
        log.logDataLong("progressMarker", m_progressMarker);
        if (verbose) log.leaveContext();
        m_error = true;
        return false;
    }
    if (verbose) {
        log.logDataLong("returnedFromLoc", m_location);
        log.logDataLong("progressMarker", m_progressMarker);
        log.leaveContext();
    }
    if (m_location == kSuccess) return true;
    log.logError("Inflate from data source failed.");
    log.logDataLong("InflateErrorCode", m_location);
    if (m_location == kAborted) log.logError("Inflate aborted by application event callback.");
    else m_error = true;
    return false;
}

// ---- state machine ----

int InflateState2::run() {
    while (!(m_state == kHeader && m_lastBlock)) {
        refillInput(kRefillBeforeStep);
        if (m_logSteps) m_log->logDataLong("m_state", m_state);
        if (int loc = step()) return loc;
    }
    return finish();
}

int InflateState2::step() {
    switch (m_state) {
        case kHeader: return readBlockHeader();
        case kStoredSetup: return setupStored();
        case kFixedSetup:
            m_codes = {m_deflate64 ? InflateTable::fixedLitLen64() : InflateTable::fixedLitLen(),
                       InflateTable::kFixedLitLenRoot,
                       m_deflate64 ? InflateTable::fixedDist64() : InflateTable::fixedDist(),
                       InflateTable::kFixedDistRoot};
            m_noDistances = false;
            m_state = kFixedData;
            return 0;
        case kDynamicSetup: return setupDynamic();
        case kStoredData: return copyStored();
        default: return decodeBlockData();  // kFixedData, kDynamicData
    }
}

int InflateState2::readBlockHeader() {
    if (!needBits(3)) return kTruncatedHeader;
    m_lastBlock = m_cur.take(1) != 0;
    int type = int(m_cur.take(2));
    if (type == 3) return kBlockType3;
    m_state = State(type);
    return 0;
}

int InflateState2::setupStored() {
    m_cur.drop(m_cur.count & 7);  // `in` is byte aligned, so this reaches the next byte boundary
    if (!needBits(32)) return kTruncatedStoredLength;
    std::uint32_t len = m_cur.take(16), nlen = m_cur.take(16);
    if (len != (~nlen & 0xFFFF)) return kStoredLengthMismatch;
    m_storedLeft = len;
    m_state = kStoredData;
    return 0;
}

int InflateState2::copyStored() {
    while (m_storedLeft) {
        refillInput(kRefillInsideBlock);
        m_cur.giveBackBytes();  // aligned, so the bit buffer empties and bytes come straight from input
        std::uint32_t n = m_storedLeft;
        std::uint32_t room = std::uint32_t(m_flushed + kWindowSize - m_cur.out);
        if (std::uint64_t(m_cur.inEnd - m_cur.in) < n) n = std::uint32_t(m_cur.inEnd - m_cur.in);
        if (room < n) n = room;
        if (n == 0) return kTruncatedStored;
        std::memcpy(m_cur.out, m_cur.in, n);
        m_cur.out += n;
        m_cur.in += n;
        m_storedLeft -= n;
        if (m_cur.out == m_flushed + kWindowSize)
            if (int loc = flushWindow()) return loc;
    }
    m_state = kHeader;
    return 0;
}

int InflateState2::setupDynamic() {
    if (!needBits(14)) return kTruncatedCounts;
    // At most kMaxLitLenCodes literal/length and kMaxDistCodes distance lengths by the widths of their counts.
    unsigned hlit = m_cur.take(5) + 257, hdist = m_cur.take(5) + 1, hclen = m_cur.take(4) + 4;
    std::uint8_t codeLenLengths[InflateTable::kCodeLenCodes] = {};
    for (unsigned i = 0; i < hclen; ++i) {
        if (!needBits(3)) return kTruncatedCodeLenLengths;
        codeLenLengths[kCodeLenOrder[i]] = std::uint8_t(m_cur.take(3));
    }
    // The code-length table borrows the distance table's storage until the lengths are read.
    if (InflateTable::build(InflateTable::Kind::CodeLen, codeLenLengths, InflateTable::kCodeLenCodes,
                            InflateTable::kCodeLenRoot, m_distTable) != InflateTable::Shape::Complete)
        return kCodeLenCodeNotComplete;
    if (int loc = readCodeLengths(hlit + hdist)) return loc;
    const auto litLenKind = m_deflate64 ? InflateTable::Kind::LitLen64 : InflateTable::Kind::LitLen;
    const auto distKind = m_deflate64 ? InflateTable::Kind::Dist64 : InflateTable::Kind::Dist;
    if (InflateTable::build(litLenKind, m_lengths, hlit, InflateTable::kLitLenRoot, m_litLenTable) !=
        InflateTable::Shape::Complete)
        return kLitLenCodeNotComplete;
    if (InflateTable::build(distKind, m_lengths + hlit, hdist, InflateTable::kDistRoot, m_distTable) ==
        InflateTable::Shape::OverSubscribed)
        return kDistCodeOverSubscribed;
    m_noDistances = true;
    for (unsigned i = 0; i < hdist; ++i) m_noDistances = m_noDistances && !m_lengths[hlit + i];
    m_codes = {m_litLenTable, InflateTable::kLitLenRoot, m_distTable, InflateTable::kDistRoot};
    m_state = kDynamicData;
    return 0;
}

// Reads `total` literal/length and distance code lengths with the code-length code in m_distTable.
// Symbol 16 repeats the last length written (0 before any), 17 and 18 write zeros.
int InflateState2::readCodeLengths(unsigned total) {
    unsigned i = 0;
    std::uint8_t previous = 0;
    while (i < total) {
        std::uint32_t e;
        if (m_cur.inEnd - m_cur.in >= 8) {
            // Away from the input's end: one wide refill serves several symbols, each a code of
            // at most 7 bits (all in the root table of a complete code) and at most 7 repeat bits.
            if (m_cur.count < 2 * InflateTable::kCodeLenRoot) m_cur.refillWide();
            e = m_distTable[m_cur.peek(InflateTable::kCodeLenRoot)];
        } else if (!decodeCode(m_distTable, InflateTable::kCodeLenRoot, e)) {
            return kTruncatedCodeLenSymbol;
        }
        m_cur.drop(e & 31);
        unsigned symbol = e >> 16;
        if (symbol < 16) {
            previous = m_lengths[i++] = std::uint8_t(symbol);
            continue;
        }
        static const std::uint8_t extraBits[3] = {2, 3, 7}, base[3] = {3, 3, 11};
        unsigned k = symbol - 16;
        if (!needBits(extraBits[k])) return kTruncatedRepeat;
        unsigned repeat = base[k] + m_cur.take(extraBits[k]);
        if (i + repeat > total) return kRepeatPastEnd;
        if (symbol != 16) previous = 0;
        std::memset(m_lengths + i, previous, repeat);
        i += repeat;
    }
    return 0;
}

// ---- Huffman-coded block data ----

int InflateState2::decodeBlockData() {
    for (;;) {
        refillInput(kRefillInsideBlock);
        // The fast loop runs to the end of the run of windows, not of the current window, so that
        // the careful loop takes over only near that end; the windows it fills go out afterwards.
        std::uint8_t* runEnd = m_buffer + m_history + kWindowSize * kRunWindows;
        // The fast loop may not run into the end of the input, nor past a streaming refill point.
        std::uint32_t inputSize = std::uint32_t(m_cur.inEnd - m_inBase);
        std::uint32_t fastEnd = inputSize > InflateFastLoop::kInMargin ? inputSize - InflateFastLoop::kInMargin : 0;
        if (m_source && !m_sourceEnded && fastEnd > kRefillInsideBlock) fastEnd = kRefillInsideBlock;
        if (!m_deflate64 && m_inBase + fastEnd > m_cur.in &&
            runEnd - m_cur.out > std::ptrdiff_t(InflateFastLoop::kOutMargin)) {
            auto stop = InflateFastLoop::run(m_cur, m_inBase + fastEnd, runEnd - InflateFastLoop::kOutMargin, m_codes);
            // Windows completed before a failure reach the sink before it is reported.
            if (int loc = flushFullWindows()) return loc;
            if (stop == InflateFastLoop::Stop::EndOfBlock) {
                m_state = kHeader;
                return 0;
            }
            if (stop == InflateFastLoop::Stop::BadLitLen) return kBadLitLen;
            if (stop == InflateFastLoop::Stop::BadDistance) return m_noDistances ? kNoDistanceCodes : kBadDistance;
        }
        bool endOfBlock = false;
        if (int loc = decodeSymbolCareful(endOfBlock)) return loc;
        if (int loc = flushFullWindows()) return loc;  // a long match may have flushed already
        if (endOfBlock) {
            m_state = kHeader;
            return 0;
        }
    }
}

// One symbol with every input check: the path near the ends of input and window.
int InflateState2::decodeSymbolCareful(bool& endOfBlock) {
    std::uint32_t e;
    if (!decodeCode(m_codes.litLen, m_codes.litLenRoot, e)) return kTruncatedLitLen;
    if (e & InflateTable::kBad) return kBadLitLen;
    if (e & (InflateTable::kLit | InflateTable::kEnd)) {
        // One symbol at a time here, so a pair gives only its first literal.
        m_cur.drop(InflateTable::firstCodeBits(e));
        if (e & InflateTable::kLit) *m_cur.out++ = std::uint8_t(e >> 16);
        endOfBlock = (e & InflateTable::kEnd) != 0;
        return 0;
    }
    if (m_noDistances) return kNoDistanceCodes;
    unsigned length = extraValue(e);
    std::uint32_t d;
    if (!decodeCode(m_codes.dist, m_codes.distRoot, d)) return kTruncatedDistance;
    if (d & InflateTable::kBad) return kBadDistance;
    if (m_deflate64) return copyLongMatch(extraValue(d), length);
    m_cur.out = inflateCopyMatch(m_cur.out, extraValue(d), length);
    return 0;
}

// A match that may be longer than the room left in the window: copied up to the window's end,
// flushed, continued. The history behind the write position always covers the distance.
int InflateState2::copyLongMatch(unsigned distance, unsigned length) {
    while (length) {
        std::uint8_t* windowEnd = m_flushed + kWindowSize;
        unsigned n = std::uint32_t(windowEnd - m_cur.out);
        if (n > length) n = length;
        m_cur.out = inflateCopyMatch(m_cur.out, distance, n);
        length -= n;
        if (length && m_cur.out == windowEnd)
            if (int loc = flushWindow()) return loc;
    }
    return 0;
}

// Looks a code up with whatever bits remain (missing ones read as 0), consuming the root bits of
// a link to a sub-table. False when the code and its extra bits need more bits than are left.
bool InflateState2::decodeCode(const std::uint32_t* table, unsigned rootBits, std::uint32_t& entry) {
    m_cur.refill();
    std::uint32_t e = table[m_cur.peek(rootBits)];
    if (e & InflateTable::kSub) {
        if (m_cur.count < rootBits) return false;
        m_cur.drop(rootBits);
        e = table[(e >> 16) + m_cur.peek((e >> 8) & 15)];
    }
    entry = e;
    return (e & InflateTable::kBad) || InflateTable::firstCodeBits(e) <= m_cur.count;
}

// Consumes a length or distance code checked by decodeCode, with its extra bits; returns the value.
unsigned InflateState2::extraValue(std::uint32_t e) {
    unsigned codeBits = (e >> 8) & 15;
    unsigned value = (e >> 16) + (m_cur.peek(e & 31) >> codeBits);
    m_cur.drop(e & 31);
    return value;
}

bool InflateState2::needBits(unsigned n) {
    if (m_cur.count < n) m_cur.refill();
    return m_cur.count >= n;
}

// ---- output ----

// Hands over the window that just filled and, when the run of windows is used up, slides the
// last window back to be the history of the next run.
int InflateState2::flushWindow() {
    if (int loc = handOver(kWindowSize)) return loc;
    m_flushed += kWindowSize;
    if (m_flushed == m_buffer + m_history + kWindowSize * kRunWindows) {
        std::size_t pending = std::size_t(m_cur.out - m_flushed);
        std::memmove(m_buffer, m_flushed - m_history, m_history + pending);
        m_flushed = m_buffer + m_history;
        m_cur.out = m_flushed + pending;
    }
    if (m_sink->isAborted()) return kAborted;
    return 0;
}

int InflateState2::flushFullWindows() {
    while (m_cur.out >= m_flushed + kWindowSize)
        if (int loc = flushWindow()) return loc;
    return 0;
}

int InflateState2::handOver(std::uint32_t n) {
    std::uint32_t space = 0;
    if (!m_sink || !m_sink->spaceAvailable(space) || space < n) return kSinkRefused;
    m_sink->write(m_flushed, n);
    return 0;
}

int InflateState2::finish() {
    std::uint32_t n = std::uint32_t(m_cur.out - m_flushed);
    if (n == 0) return kSuccess;
    if (int loc = handOver(n)) return loc;
    m_flushed += n;
    if (m_sink->isAborted()) return kAborted;
    return kSuccess;
}

// ---- streaming input ----

std::uint32_t InflateState2::consumed() const { return std::uint32_t(m_cur.in - m_inBase) - (m_cur.count >> 3); }

// Moves the unconsumed input to the front of the buffer and fills the rest from the source, when
// more than `threshold` bytes (or all of them) have been consumed and the source has not ended.
void InflateState2::refillInput(std::uint32_t threshold) {
    if (!m_source || m_sourceEnded) return;
    if (m_cur.in != m_cur.inEnd && consumed() <= threshold) return;
    m_cur.giveBackBytes();
    std::uint32_t filled = std::uint32_t(m_cur.inEnd - m_cur.in);
    std::memmove(m_inputBuffer, m_cur.in, filled);
    while (filled < kInputChunk) {
        std::uint32_t got = 0;
        bool ok = m_source->read(m_inputBuffer + filled, kInputChunk - filled, got);
        if (got > kInputChunk - filled) got = kInputChunk - filled;
        filled += got;
        if (!ok || got == 0) {
            m_sourceEnded = true;
            break;
        }
    }
    m_cur.in = m_inputBuffer;
    m_cur.inEnd = m_inputBuffer + filled;
}
