// Raw deflate decoder (no zlib or gzip wrapper, no preset dictionary): a whole block in memory,
// or streamed from an InflateInput in large chunks; decoded bytes leave through a 32,768-byte
// window into an InflateOutput.
//
// Use: construct, setSink, one call of inflateBuffer or inflateSource, destroy.
// Output leaves in blocks of 32,768 bytes as they complete, and the remainder at the normal end.
// A failure or an abort leaves in the sink exactly the blocks completed before it.
// The pipeline layer wraps its DataSource and DataSink in adapters (see InflateInput.h and
// InflateOutput.h); nothing here depends on it.
#pragma once
#include <cstdint>

#include "codecs/InflateCursor.h"
#include "codecs/InflateFastLoop.h"
#include "codecs/InflateTable.h"

class InflateInput;
class InflateOutput;
class LogBase;

class InflateState2 {
public:
    // Result locations: success, abort, and one number per failing check below 50.
    static constexpr int kSuccess = 50;
    static constexpr int kAborted = 67812;

    InflateState2();
    ~InflateState2();
    InflateState2(const InflateState2&) = delete;
    InflateState2& operator=(const InflateState2&) = delete;

    void setSink(InflateOutput* sink) { m_sink = sink; }
    // Deflate64 (zip method 9): 64 KiB of history, length symbol 285 with 16 extra bits (up to
    // 65,538 bytes), distance symbols 30 and 31. Set before decoding. Its symbols take the
    // careful loop, whose matches may run over several windows.
    void setDeflate64(bool on);

    // Decodes `count` bytes that hold the whole stream. Null bytes do nothing. A failure sets
    // hadError; an abort of the sink's monitor stops it after the window being handed over, with
    // location() == kAborted and hadError clear.
    void inflateBuffer(const std::uint8_t* bytes, std::uint32_t count, LogBase& log, bool verbose);

    // Streams from `source`. True on success. A failure (not an abort) also sets hadError;
    // an abort shows in location() == kAborted and in the sink's progress monitor.
    bool inflateSource(InflateInput& source, LogBase& log, bool verbose);

    // inflateSource in two halves, for a caller that decodes on another thread and logs on its
    // own: decodeSource touches no log; reportSource writes what inflateSource would have
    // written after the "inflator" context (opened by the caller when verbose) and gives its result.
    void decodeSource(InflateInput& source);
    bool reportSource(LogBase& log, bool verbose);
    // Makes a finished decode end as if it had stopped at `location` (an abort or a refusal
    // seen by the caller after a hand-over the decoder had already made).
    void endAs(int location);

    bool hadError() const { return m_error; }
    int location() const { return m_location; }

    // Where a decode failed: its location, logged as "InflateErrorCode".
    enum Check : int {
        kTruncatedHeader = 1,
        kBlockType3,
        kTruncatedStoredLength,
        kStoredLengthMismatch,
        kTruncatedStored,
        kTruncatedCounts,
        kTruncatedCodeLenLengths,
        kCodeLenCodeNotComplete,
        kTruncatedCodeLenSymbol,
        kRepeatPastEnd,
        kTruncatedRepeat,
        kLitLenCodeNotComplete,
        kDistCodeOverSubscribed,
        kTruncatedLitLen,
        kBadLitLen,
        kNoDistanceCodes,
        kTruncatedDistance,
        kBadDistance,
        kSinkRefused,
        kNoMemory,
    };
    // The location of a sink that refused a hand-over.
    static constexpr int kSinkRefusedLocation = kSinkRefused;

private:
    static constexpr std::uint32_t kWindowSize = 32768;
    // Output is decoded into a run of windows after one window of history, so matches never
    // wrap; the history is refreshed (slid) only when the run is used up.
    static constexpr std::uint32_t kRunWindows = 8;
    static constexpr std::uint32_t kSlack = 320;  // overrun of the decode loops past a window end
    static_assert(kSlack >= kInflateMaxMatch + kInflateCopyOverrun, "a match begun before a window end fits the slack");
    static constexpr std::uint32_t kHistory64 = 65536;  // deflate64's reach
    static constexpr std::uint32_t kBufferSize = kHistory64 + kWindowSize * kRunWindows + kSlack;

    // Streaming input: a buffer of 4,004,000 bytes read in chunks of up to 4,000,000, topped up
    // when fewer than 150,000 bytes (before a block step) or 40,000 (inside block data) are left.
    static constexpr std::uint32_t kInputBufferSize = 4004000;
    static constexpr std::uint32_t kInputChunk = 4000000;
    static constexpr std::uint32_t kRefillBeforeStep = 3850000;
    static constexpr std::uint32_t kRefillInsideBlock = 3960000;

    int run();
    int step();
    int readBlockHeader();
    int setupStored();
    int setupDynamic();
    int readCodeLengths(unsigned total);
    int copyStored();
    int decodeBlockData();
    int decodeSymbolCareful(bool& endOfBlock);
    int copyLongMatch(unsigned distance, unsigned length);
    bool decodeCode(const std::uint32_t* table, unsigned rootBits, std::uint32_t& entry);
    unsigned extraValue(std::uint32_t entry);
    bool needBits(unsigned n);
    int flushWindow();
    int flushFullWindows();
    int handOver(std::uint32_t n);
    int finish();

    void refillInput(std::uint32_t threshold);
    std::uint32_t consumed() const;

    // Logged as numbers ("m_state"): a setup state is the block type, its data state 10 more.
    enum State : int {
        kHeader = -1,
        kStoredSetup = 0,
        kFixedSetup = 1,
        kDynamicSetup = 2,
        kStoredData = 10,
        kFixedData = 11,
        kDynamicData = 12,
    };
    State m_state = kHeader;
    bool m_lastBlock = false;
    std::uint32_t m_storedLeft = 0;
    InflateCursor m_cur;
    const std::uint8_t* m_inBase = nullptr;  // start of the input buffer the cursor runs in

    std::uint8_t* m_buffer = nullptr;       // history window (zeroed at start), run of windows, slack
    std::uint8_t* m_flushed = nullptr;      // first byte not yet handed to the sink
    std::uint32_t m_history = kWindowSize;  // bytes kept before the run of windows
    bool m_deflate64 = false;

    InflateFastLoop::Codes m_codes{};
    bool m_noDistances = false;  // the dynamic block's distance lengths are all 0
    std::uint32_t* m_litLenTable = nullptr;
    std::uint32_t* m_distTable = nullptr;
    std::uint8_t m_lengths[InflateTable::kMaxCodes] = {};

    InflateOutput* m_sink = nullptr;
    InflateInput* m_source = nullptr;  // streaming form only
    std::uint8_t* m_inputBuffer = nullptr;
    bool m_sourceEnded = false;

    LogBase* m_log = nullptr;
    bool m_logSteps = false;
    bool m_error = false;
    int m_location = 0;
    int m_progressMarker = 0;  // streaming stage reached: 1 buffers, 2 input read, 3 stopped early, 4 done
};
