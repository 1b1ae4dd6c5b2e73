// Block-parallel bzip2 decoding. Compiled only where libbz2 is used (TN_METHOD_BZIP2).
#if TN_METHOD_BZIP2
#include "codecs/Bzip2ParallelDecoder.h"

#include <bzlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <new>
#include <thread>

#include "codecs/Bzip2BlockWorkers.h"
#include "codecs/Bzip2LeadBlock.h"
#include "codecs/Bzip2StreamDecoder.h"

namespace {

using Mark = Bzip2Bits::Mark;

// The overlaps a piece's verification rests on. A magic read at d bits before the end magic we
// append would be made of its first d bits and the end magic's first 48 - d: no block magic
// ends the way the end magic begins, and an end magic read within 7 bits of ours on either side
// would make the end magic match itself shifted by up to 7 bits.
constexpr bool tailMatchesHead(std::uint64_t tailOf, std::uint64_t headOf, unsigned d) {
    const unsigned keep = 48 - d;
    return (tailOf & ((std::uint64_t(1) << keep) - 1)) == (headOf >> d);
}
constexpr bool magicsStayApart() {
    for (unsigned d = 1; d < 48; ++d)
        if (tailMatchesHead(Bzip2Bits::kBlockMagic, Bzip2Bits::kEndMagic, d)) return false;
    for (unsigned d = 1; d < 8; ++d)
        if (tailMatchesHead(Bzip2Bits::kEndMagic, Bzip2Bits::kEndMagic, d)) return false;
    return true;
}
static_assert(magicsStayApart(), "a piece's verification needs magics that cannot overlap");

constexpr std::size_t kMarksAhead = 16;          // marks looked for beyond the planned pieces
constexpr std::uint64_t kStreamHeaderBits = 32;  // "BZh" and the level digit
constexpr std::uint64_t kStreamEndBits = 80;     // end magic and combined CRC

enum class Kind {
    Piece,        // a block handed to the workers
    StreamStart,  // a stream header of the level given
    StreamEnd,    // the end magic; crc is the combined CRC stored after it
    Finish,       // the data ends here (or goes on with something not bzip2)
    Sequential,   // libbz2 on the calling thread from here to the end of the stream
};

struct Item {
    Kind kind;
    std::uint64_t bit = 0;  // where it begins in the entry's data
    std::uint32_t crc = 0;
    std::uint8_t level = 0;
    bool atHeader = false;  // Sequential from a stream header: libbz2 reads the bytes as they are
};

std::uint32_t rotateLeft1(std::uint32_t v) { return (v << 1) | (v >> 31); }

// "BZh" and the level digit, as a stream of the entry's level begins.
void putStreamHeader(Bzip2Bits::Writer& w, std::uint8_t level) {
    w.put(0x425A68, 24);
    w.put(level, 8);
}

}  // namespace

struct Bzip2ParallelDecoder::State {
    explicit State(Options o) : opt(std::move(o)), workers(opt.workers, opt.keepLimit) {}
    ~State() {
        workers.stop();
        endStream(sequential, sequentialOpen);
        endStream(replay, replayOpen);
    }

    Options opt;
    Bzip2BlockWorkers workers;
    bool workersTried = false, workersUp = false;

    // Compressed bytes held: [base, base + held) of the entry's data.
    std::unique_ptr<std::uint8_t[]> buf;
    std::size_t held = 0;
    std::uint64_t base = 0;
    bool inputEnded = false;

    // Planning: what comes next in the data, a step ahead of the output.
    enum class Plan { Header, Blocks, Stopped } plan = Plan::Header;
    std::uint64_t planBit = 0;  // a stream header (byte aligned) or the next block or end magic
    bool firstStream = true;
    std::uint8_t planLevel = 0;
    std::deque<Mark> marks;     // magics found at or after planBit, in order
    std::uint64_t scanned = 0;  // every position before this has been looked at
    std::size_t nextFalseMark = 0;
    std::deque<Item> items;

    // Output.
    std::uint8_t level = 0;
    std::uint32_t combined = 0;  // of the blocks of this stream given out
    std::size_t emitted = 0;     // of the front piece's content
    bz_stream replay{};          // decoding the front piece again, its content not held
    bool replayOpen = false;

    // libbz2 on the calling thread: `stage` (the header, a lead block and the first partial byte)
    // then the data from byte `nextByte` on.
    bz_stream sequential{};
    bool sequentialOpen = false;
    std::vector<std::uint8_t> stage;
    std::size_t staged = 0;
    std::uint64_t nextByte = 0;
    std::size_t discard = 0;  // the lead block's content, not part of the entry
    const char* failure = nullptr;

    static void endStream(bz_stream& s, bool& open) {
        if (open) BZ2_bzDecompressEnd(&s);
        open = false;
    }

    std::uint64_t heldBits() const { return (base + held) * 8; }
    const std::uint8_t* at(std::uint64_t byte) const { return buf.get() + (byte - base); }

    // --- input --------------------------------------------------------------------------------

    // Drops the bytes nothing needs any more: before the oldest planned item (a piece that fails
    // is decoded again from its start), or before what libbz2 reads next.
    void compact() {
        std::uint64_t keep;
        if (sequentialOpen) keep = nextByte;
        else if (!items.empty()) keep = items.front().bit / 8;
        else keep = planBit / 8;
        keep = std::min(std::max(keep, base), base + held);
        const std::size_t drop = std::size_t(keep - base);
        if (drop == 0 || (held < opt.inputLimit && drop < opt.inputLimit / 4)) return;
        std::memmove(buf.get(), buf.get() + drop, held - drop);
        held -= drop;
        base = keep;
    }

    std::size_t absorb(const std::uint8_t* in, std::size_t inSize) {
        compact();
        const std::size_t take = std::min(inSize, opt.inputLimit - held);
        if (take) std::memcpy(buf.get() + held, in, take);
        held += take;
        return take;
    }

    // Nothing more will arrive before what is planned next can be decided.
    bool starved() const { return inputEnded || (held == opt.inputLimit && items.empty()); }

    // --- planning -----------------------------------------------------------------------------

    void push(Item item) { items.push_back(item); }

    void stopPlanning(Item item) {
        push(item);
        plan = Plan::Stopped;
    }

    void sequentialFrom(std::uint64_t bit, bool atHeader) {
        Item item{Kind::Sequential};
        item.bit = bit;
        item.atHeader = atHeader;
        stopPlanning(item);
    }

    void finish() {
        Item item{Kind::Finish};
        item.bit = planBit;
        stopPlanning(item);
    }

    void planAll() {
        compact();
        while (plan != Plan::Stopped && (plan == Plan::Header ? planHeader() : planBlock())) {
        }
    }

    // A stream header at byte planBit / 8. After a stream, anything but 'B' is data that is not
    // the entry's (as libbz2's own tool treats it); a bad header is left to libbz2 to report.
    bool planHeader() {
        const std::uint64_t byte = planBit / 8;
        const std::size_t avail = std::size_t(base + held - byte);
        if (avail == 0) {
            if (!inputEnded) return false;
            if (firstStream) sequentialFrom(planBit, true);
            else finish();
            return false;
        }
        const std::uint8_t* h = at(byte);
        if (!firstStream && h[0] != 'B') {
            finish();
            return false;
        }
        if (avail < 4 && !inputEnded) return false;
        if (avail < 4 || h[1] != 'Z' || h[2] != 'h' || h[3] < '1' || h[3] > '9' || h[0] != 'B') {
            sequentialFrom(planBit, true);
            return false;
        }
        Item start{Kind::StreamStart};
        start.bit = planBit;
        start.level = planLevel = h[3];
        push(start);
        firstStream = false;
        plan = Plan::Blocks;
        planBit += kStreamHeaderBits;
        while (!marks.empty() && marks.front().bit < planBit) marks.pop_front();
        scanned = std::max(scanned, planBit);
        return true;
    }

    // Looks for more marks, adding the claimed false ones where no real one is.
    void scan() {
        if (marks.size() >= kMarksAhead) return;
        std::vector<Mark> found;
        const std::uint64_t from = scanned;
        const std::uint64_t upTo =
            Bzip2Bits::findMarks(buf.get(), held, from - base * 8, found, kMarksAhead - marks.size()) + base * 8;
        const std::vector<Mark>& extra = opt.falseMarks;
        while (nextFalseMark < extra.size() && extra[nextFalseMark].bit < from) ++nextFalseMark;
        for (const Mark& real : found) {
            const std::uint64_t bit = real.bit + base * 8;
            for (; nextFalseMark < extra.size() && extra[nextFalseMark].bit < bit; ++nextFalseMark)
                marks.push_back(extra[nextFalseMark]);
            if (nextFalseMark < extra.size() && extra[nextFalseMark].bit == bit) ++nextFalseMark;
            marks.push_back({bit, real.end});
        }
        for (; nextFalseMark < extra.size() && extra[nextFalseMark].bit < upTo; ++nextFalseMark)
            marks.push_back(extra[nextFalseMark]);
        scanned = std::max(scanned, upTo);
    }

    // The block or end magic at planBit.
    bool planBlock() {
        scan();
        while (!marks.empty() && marks.front().bit < planBit) marks.pop_front();
        if (scanned <= planBit) {
            if (starved()) sequentialFrom(planBit, false);
            return false;
        }
        if (marks.empty() || marks.front().bit != planBit) {
            // No magic where the stream needs one: libbz2 tells what is wrong.
            sequentialFrom(planBit, false);
            return false;
        }
        if (marks.front().end) return planStreamEnd();
        if (!startWorkers()) {
            sequentialFrom(planBit, false);
            return false;
        }
        if (marks.size() < 2) {
            if (starved()) sequentialFrom(planBit, false);
            return false;
        }
        if (workers.pending() >= opt.workers + 2) return false;
        const std::uint64_t next = marks[1].bit;
        if (next - planBit < Bzip2Bits::kMagicBits + 32) {
            sequentialFrom(planBit, false);
            return false;
        }
        auto piece = std::make_unique<Bzip2Piece>();
        piece->startBit = planBit;
        piece->endBit = next;
        piece->blockCrc = std::uint32_t(Bzip2Bits::read(buf.get(), planBit - base * 8 + Bzip2Bits::kMagicBits, 32));
        Bzip2Bits::Writer w;
        w.bytes.reserve(std::size_t((next - planBit) / 8) + 24);
        putStreamHeader(w, planLevel);
        w.copy(buf.get(), planBit - base * 8, next - planBit);
        w.put(Bzip2Bits::kEndMagic, Bzip2Bits::kMagicBits);
        w.put(piece->blockCrc, 32);
        piece->stream = std::move(w.bytes);
        workers.push(std::move(piece));
        Item item{Kind::Piece};
        item.bit = planBit;
        push(item);
        marks.pop_front();
        planBit = next;
        return true;
    }

    bool planStreamEnd() {
        if (planBit + kStreamEndBits > heldBits()) {
            if (starved()) sequentialFrom(planBit, false);
            return false;
        }
        Item end{Kind::StreamEnd};
        end.bit = planBit;
        end.crc = std::uint32_t(Bzip2Bits::read(buf.get(), planBit - base * 8 + Bzip2Bits::kMagicBits, 32));
        push(end);
        marks.pop_front();
        plan = Plan::Header;
        planBit = (planBit + kStreamEndBits + 7) / 8 * 8;
        return true;
    }

    bool startWorkers() {
        if (!workersTried) {
            workersTried = true;
            workersUp = opt.workers > 0 && workers.start();
        }
        return workersUp;
    }

    // --- output -------------------------------------------------------------------------------

    enum class Step { Again, Wait, Full, End, Fail };

    Step fail(const char* message) {
        failure = message;
        workers.stop();
        return Step::Fail;
    }

    // Gives out the front piece; Again once it is done with.
    Step emitPiece(std::uint8_t* out, std::size_t outSize, std::size_t& outUsed, bool mayWait) {
        Bzip2Piece* piece = workers.frontIfDone();
        if (!piece && !mayWait) return Step::Wait;
        if (!piece) piece = workers.waitFront();
        if (!piece->verified) {
            const std::uint64_t from = piece->startBit;
            workers.cancelAll();
            items.clear();
            marks.clear();
            plan = Plan::Stopped;
            return startSequential(from, false);
        }
        if (piece->kept) {
            const std::size_t n = std::min(piece->contentSize - emitted, outSize - outUsed);
            std::memcpy(out + outUsed, piece->content.get() + emitted, n);
            emitted += n;
            outUsed += n;
            if (emitted < piece->contentSize) return Step::Full;
        } else {
            const Step s = replayPiece(*piece, out, outSize, outUsed);
            if (s != Step::Again) return s;
        }
        combined = rotateLeft1(combined) ^ piece->blockCrc;
        emitted = 0;
        workers.popFront();
        items.pop_front();
        return Step::Again;
    }

    // The content of a verified piece that was too large to hold, decoded again here.
    Step replayPiece(Bzip2Piece& piece, std::uint8_t* out, std::size_t outSize, std::size_t& outUsed) {
        if (!replayOpen) {
            replay = bz_stream{};
            if (BZ2_bzDecompressInit(&replay, 0, 0) != BZ_OK)
                return fail(Bzip2StreamDecoder::failureText(BZ_MEM_ERROR));
            replayOpen = true;
            replay.next_in = reinterpret_cast<char*>(piece.stream.data());
            replay.avail_in = unsigned(piece.stream.size());
        }
        const unsigned room = unsigned(std::min<std::size_t>(outSize - outUsed, UINT_MAX));
        replay.next_out = reinterpret_cast<char*>(out + outUsed);
        replay.avail_out = room;
        const int rc = BZ2_bzDecompress(&replay);
        outUsed += room - replay.avail_out;
        if (rc == BZ_STREAM_END) {
            endStream(replay, replayOpen);
            return Step::Again;
        }
        if (rc != BZ_OK) return fail(Bzip2StreamDecoder::failureText(rc));
        if (replay.avail_out == room) return fail(Bzip2StreamDecoder::failureText(BZ_DATA_ERROR));
        return Step::Full;
    }

    // Hands the stream from `bit` on to libbz2 here. Mid-stream, the header and a lead block go
    // first so that the data keeps its byte alignment and the combined CRC comes out right.
    Step startSequential(std::uint64_t bit, bool atHeader) {
        stage.clear();
        staged = 0;
        discard = 0;
        Bzip2Bits::Writer w;
        if (!atHeader) {
            putStreamHeader(w, level);
            if (combined != 0 || bit % 8 != 0) {
                if (!Bzip2LeadBlock::append(combined, unsigned(bit % 8), w, discard))
                    return fail(Bzip2StreamDecoder::failureText(BZ_MEM_ERROR));
            }
            // The rest of the first byte, so that what follows is the data's own bytes.
            const unsigned partial = unsigned((8 - bit % 8) % 8);
            if (partial) w.copy(buf.get(), bit - base * 8, partial);
        }
        stage = std::move(w.bytes);
        nextByte = (bit + 7) / 8;
        sequential = bz_stream{};
        if (BZ2_bzDecompressInit(&sequential, 0, 0) != BZ_OK)
            return fail(Bzip2StreamDecoder::failureText(BZ_MEM_ERROR));
        sequentialOpen = true;
        return Step::Again;
    }

    // libbz2 on the stage and the data after it. Again once its stream has ended.
    Step runSequential(std::uint8_t* out, std::size_t outSize, std::size_t& outUsed) {
        std::uint8_t dropped[16];
        for (;;) {
            const bool fromStage = staged < stage.size();
            const std::uint8_t* in = fromStage ? stage.data() + staged : at(nextByte);
            const std::size_t avail = fromStage ? stage.size() - staged : std::size_t(base + held - nextByte);
            std::uint8_t* to = discard ? dropped : out + outUsed;
            const std::size_t room = discard ? std::min(discard, sizeof dropped) : outSize - outUsed;
            if (room == 0) return Step::Full;
            const unsigned inChunk = unsigned(std::min<std::size_t>(avail, UINT_MAX));
            const unsigned outChunk = unsigned(std::min<std::size_t>(room, UINT_MAX));
            sequential.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
            sequential.avail_in = inChunk;
            sequential.next_out = reinterpret_cast<char*>(to);
            sequential.avail_out = outChunk;
            const int rc = BZ2_bzDecompress(&sequential);
            const std::size_t used = inChunk - sequential.avail_in;
            const std::size_t made = outChunk - sequential.avail_out;
            if (fromStage) staged += used;
            else nextByte += used;
            if (discard) discard -= made;
            else outUsed += made;
            if (rc == BZ_STREAM_END) {
                endStream(sequential, sequentialOpen);
                // The stream's last byte has been read: a next one may begin after it.
                plan = Plan::Header;
                planBit = nextByte * 8;
                firstStream = false;
                marks.clear();
                scanned = planBit;
                nextFalseMark = 0;
                return Step::Again;
            }
            if (rc != BZ_OK) return fail(Bzip2StreamDecoder::failureText(rc));
            if (used == 0 && made == 0) return Step::Wait;  // all input read
        }
    }

    Step next(std::uint8_t* out, std::size_t outSize, std::size_t& outUsed, bool mayWait) {
        if (sequentialOpen) return runSequential(out, outSize, outUsed);
        planAll();
        if (items.empty()) return Step::Wait;
        const Item item = items.front();
        switch (item.kind) {
            case Kind::Piece: return emitPiece(out, outSize, outUsed, mayWait);
            case Kind::StreamStart:
                level = item.level;
                combined = 0;
                break;
            case Kind::StreamEnd:
                if (item.crc != combined) return fail(Bzip2StreamDecoder::failureText(BZ_DATA_ERROR));
                combined = 0;
                break;
            case Kind::Finish: workers.stop(); return Step::End;
            case Kind::Sequential: items.pop_front(); return startSequential(item.bit, item.atHeader);
        }
        items.pop_front();
        return Step::Again;
    }
};

Bzip2ParallelDecoder::Bzip2ParallelDecoder(Options options) : m_state(new (std::nothrow) State(std::move(options))) {
    if (m_state) m_state->buf.reset(new (std::nothrow) std::uint8_t[m_state->opt.inputLimit]);
}

Bzip2ParallelDecoder::~Bzip2ParallelDecoder() = default;

std::uint64_t Bzip2ParallelDecoder::bytesHeld() const { return m_state ? m_state->held : 0; }

unsigned Bzip2ParallelDecoder::defaultWorkers() {
    const unsigned threads = std::thread::hardware_concurrency();
    return threads < 2 ? 0 : std::min(threads, 4u);
}

ChunkDecoder::Result Bzip2ParallelDecoder::decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed,
                                                  std::uint8_t* out, std::size_t outSize, std::size_t& outUsed,
                                                  bool inputEnded) {
    inUsed = outUsed = 0;
    if (!m_state || !m_state->buf) return fail(Bzip2StreamDecoder::failureText(BZ_MEM_ERROR));
    State& s = *m_state;
    if (s.failure) return fail(s.failure);
    inUsed = s.absorb(in, inSize);
    s.inputEnded = inputEnded && inUsed == inSize;
    for (;;) {
        // Waiting for a worker only when this call has nothing else to show.
        const bool mayWait = inUsed == 0 && outUsed == 0;
        switch (s.next(out, outSize, outUsed, mayWait)) {
            case State::Step::Again: continue;
            case State::Step::Wait:
            case State::Step::Full: return Result::More;
            case State::Step::End: return Result::End;
            case State::Step::Fail: return fail(s.failure);
        }
    }
}
#endif  // TN_METHOD_BZIP2
