// PPMd variant I model and range decoder. Contexts, symbol states and free-list nodes all live in
// the one memory block and refer to each other by 32-bit offsets from its base (0 is null).
#include "codecs/PpmdModel.h"

#include <cstdlib>
#include <cstring>

// The block is one byte array read through several record layouts in turn (a unit is a context,
// then a free node, then part of a symbol list), hence may_alias.
struct __attribute__((may_alias)) PpmdModel::State {
    std::uint8_t symbol;
    std::uint8_t freq;
    std::uint16_t successorLow;
    std::uint16_t successorHigh;
};

// numStats is the number of symbols minus one; a context with one symbol keeps its state in
// place of summFreq and stats.
struct __attribute__((may_alias)) PpmdModel::Context {
    std::uint8_t numStats;
    std::uint8_t flags;
    std::uint16_t summFreq;
    std::uint32_t stats;
    std::uint32_t suffix;
};

struct __attribute__((may_alias)) PpmdModel::Node {
    std::uint32_t stamp;
    std::uint32_t next;
    std::uint32_t nu;
};

namespace {
using State = PpmdModel::State;
using Context = PpmdModel::Context;
using Node = PpmdModel::Node;

constexpr unsigned kUnitSize = 12;
constexpr unsigned kMaxFreq = 124;
constexpr unsigned kIntBits = 7;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kBinScale = 1u << (kIntBits + kPeriodBits);
constexpr std::uint32_t kEmptyNode = 0xFFFFFFFFu;
constexpr std::uint32_t kTop = 1u << 24;
constexpr std::uint32_t kBot = 1u << 15;
constexpr std::uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
constexpr std::uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};

static_assert(sizeof(State) == 6 && sizeof(Context) == kUnitSize && sizeof(Node) == kUnitSize,
              "records must pack into 12-byte units");

inline std::uint32_t unitsToBytes(unsigned units) { return std::uint32_t(units) * kUnitSize; }
inline State* oneState(Context* c) { return reinterpret_cast<State*>(&c->summFreq); }
inline std::uint32_t successor(const State* s) { return s->successorLow | (std::uint32_t(s->successorHigh) << 16); }
inline void setSuccessor(State* s, std::uint32_t v) {
    s->successorLow = std::uint16_t(v);
    s->successorHigh = std::uint16_t(v >> 16);
}
inline void swapStates(State* a, State* b) {
    State t = *a;
    *a = *b;
    *b = t;
}
inline void copyUnits(void* dest, const void* src, unsigned units) { std::memmove(dest, src, unitsToBytes(units)); }
inline unsigned getMean(unsigned prob) { return (prob + (1u << (kPeriodBits - 2))) >> kPeriodBits; }
inline void updateSee(PpmdModel::See* see) {
    if (see->shift < kPeriodBits && --see->count == 0) {
        see->summ = std::uint16_t(see->summ << 1);
        see->count = std::uint8_t(3u << see->shift++);
    }
}
}  // namespace

PpmdModel::PpmdModel() {
    unsigned k = 0;
    for (unsigned i = 0; i < kNumIndexes; i++) {
        unsigned step = i >= 12 ? 4 : (i >> 2) + 1;
        do {
            m_unitsToIndex[k++] = std::uint8_t(i);
        } while (--step);
        m_indexToUnits[i] = std::uint8_t(k);
    }
    m_ns2BsIndex[0] = 0 << 1;
    m_ns2BsIndex[1] = 1 << 1;
    std::memset(m_ns2BsIndex + 2, 2 << 1, 9);
    std::memset(m_ns2BsIndex + 11, 3 << 1, 256 - 11);
    unsigned i = 0;
    for (; i < 5; i++) m_ns2Index[i] = std::uint8_t(i);
    for (unsigned m = i, step = 1; i < 260; i++) {
        m_ns2Index[i] = std::uint8_t(m);
        if (--step == 0) step = (++m) - 4;
    }
    std::memset(m_freeList, 0, sizeof(m_freeList));
    std::memset(m_stamps, 0, sizeof(m_stamps));
    m_dummySee = See{0, kPeriodBits, 64};
}

PpmdModel::~PpmdModel() { std::free(m_base); }

bool PpmdModel::allocate(std::uint32_t size) {
    std::free(m_base);
    m_alignOffset = 4 - (size & 3);
    m_base = static_cast<std::uint8_t*>(std::malloc(std::size_t(m_alignOffset) + size));
    m_size = m_base ? size : 0;
    return m_base != nullptr;
}

// ---- range decoder ----

inline std::uint8_t PpmdModel::readByte() {
    if (m_in < m_inEnd) return *m_in++;
    ++m_overrun;
    return 0;
}

inline void PpmdModel::normalize() {
    for (;;) {
        if ((m_low ^ (m_low + m_range)) >= kTop) {
            if (m_range >= kBot) return;
            m_range = (0 - m_low) & (kBot - 1);
        }
        m_code = (m_code << 8) | readByte();
        m_range <<= 8;
        m_low <<= 8;
    }
}

inline void PpmdModel::decodeRange(std::uint32_t start, std::uint32_t size) {
    start *= m_range;
    m_low += start;
    m_code -= start;
    m_range *= size;
    normalize();
}

bool PpmdModel::start(unsigned maxOrder, unsigned restoreMethod) {
    m_low = 0;
    m_range = 0xFFFFFFFFu;
    m_code = 0;
    for (int i = 0; i < 4; i++) m_code = (m_code << 8) | readByte();
    m_maxOrder = maxOrder;
    m_restoreMethod = restoreMethod;
    restartModel();
    m_dummySee = See{0, kPeriodBits, 64};
    return m_code < 0xFFFFFFFFu;
}

// ---- memory ----

inline Context* PpmdModel::context(std::uint32_t offset) const { return reinterpret_cast<Context*>(m_base + offset); }
inline State* PpmdModel::statsOf(const Context* c) const { return reinterpret_cast<State*>(m_base + c->stats); }
inline Context* PpmdModel::suffixOf(const Context* c) const { return context(c->suffix); }
inline Node* PpmdModel::node(std::uint32_t offset) const { return reinterpret_cast<Node*>(m_base + offset); }

void PpmdModel::insertNode(void* ptr, unsigned index) {
    Node* n = static_cast<Node*>(ptr);
    n->stamp = kEmptyNode;
    n->next = m_freeList[index];
    n->nu = indexToUnits(index);
    m_freeList[index] = ref(n);
    m_stamps[index]++;
}

void* PpmdModel::removeNode(unsigned index) {
    Node* n = node(m_freeList[index]);
    m_freeList[index] = n->next;
    m_stamps[index]--;
    return n;
}

void PpmdModel::splitBlock(void* ptr, unsigned oldIndex, unsigned newIndex) {
    unsigned nu = indexToUnits(oldIndex) - indexToUnits(newIndex);
    std::uint8_t* rest = static_cast<std::uint8_t*>(ptr) + unitsToBytes(indexToUnits(newIndex));
    unsigned i = unitsToIndex(nu);
    if (indexToUnits(i) != nu) {
        unsigned k = indexToUnits(--i);
        insertNode(rest + unitsToBytes(k), nu - k - 1);
    }
    insertNode(rest, i);
}

// Merges neighbouring free blocks and sorts them into the lists again.
void PpmdModel::glueFreeBlocks() {
    std::uint32_t head = 0;
    std::uint32_t* prev = &head;
    m_glueCount = 1 << 13;
    std::memset(m_stamps, 0, sizeof(m_stamps));
    // The root context sits in the top unit, so a run of free blocks always ends at a used unit;
    // the gap between loUnit and hiUnit gets a guard.
    if (m_loUnit != m_hiUnit) reinterpret_cast<Node*>(m_loUnit)->stamp = 0;

    for (unsigned i = 0; i < kNumIndexes; i++) {
        std::uint32_t next = m_freeList[i];
        m_freeList[i] = 0;
        while (next != 0) {
            Node* n = node(next);
            if (n->nu != 0) {
                *prev = next;
                prev = &n->next;
                for (Node* n2; (n2 = n + n->nu)->stamp == kEmptyNode;) {
                    n->nu += n2->nu;
                    n2->nu = 0;
                }
            }
            next = n->next;
        }
    }
    *prev = 0;

    while (head != 0) {
        Node* n = node(head);
        head = n->next;
        unsigned nu = n->nu;
        if (nu == 0) continue;
        for (; nu > 128; nu -= 128, n += 128) insertNode(n, kNumIndexes - 1);
        unsigned i = unitsToIndex(nu);
        if (indexToUnits(i) != nu) {
            unsigned k = indexToUnits(--i);
            insertNode(n + k, nu - k - 1);
        }
        insertNode(n, i);
    }
}

void* PpmdModel::allocUnitsRare(unsigned index) {
    if (m_glueCount == 0) {
        glueFreeBlocks();
        if (m_freeList[index] != 0) return removeNode(index);
    }
    unsigned i = index;
    do {
        if (++i == kNumIndexes) {
            std::uint32_t numBytes = unitsToBytes(indexToUnits(index));
            m_glueCount--;
            if (std::uint32_t(m_unitsStart - m_text) > numBytes) return m_unitsStart -= numBytes;
            return nullptr;
        }
    } while (m_freeList[i] == 0);
    void* block = removeNode(i);
    splitBlock(block, i, index);
    return block;
}

inline void* PpmdModel::allocUnits(unsigned index) {
    if (m_freeList[index] != 0) return removeNode(index);
    std::uint32_t numBytes = unitsToBytes(indexToUnits(index));
    if (numBytes <= std::uint32_t(m_hiUnit - m_loUnit)) {
        void* block = m_loUnit;
        m_loUnit += numBytes;
        return block;
    }
    return allocUnitsRare(index);
}

inline Context* PpmdModel::allocContext() {
    if (m_hiUnit != m_loUnit) return reinterpret_cast<Context*>(m_hiUnit -= kUnitSize);
    if (m_freeList[0] != 0) return static_cast<Context*>(removeNode(0));
    return static_cast<Context*>(allocUnitsRare(0));
}

void* PpmdModel::shrinkUnits(void* oldPtr, unsigned oldUnits, unsigned newUnits) {
    unsigned i0 = unitsToIndex(oldUnits);
    unsigned i1 = unitsToIndex(newUnits);
    if (i0 == i1) return oldPtr;
    if (m_freeList[i1] != 0) {
        void* ptr = removeNode(i1);
        copyUnits(ptr, oldPtr, newUnits);
        insertNode(oldPtr, i0);
        return ptr;
    }
    splitBlock(oldPtr, i0, i1);
    return oldPtr;
}

void PpmdModel::freeUnits(void* ptr, unsigned units) { insertNode(ptr, unitsToIndex(units)); }

void PpmdModel::specialFreeUnit(void* ptr) {
    if (static_cast<std::uint8_t*>(ptr) != m_unitsStart) insertNode(ptr, 0);
    else m_unitsStart += kUnitSize;
}

// Moves a block low in the units area to a free block higher up, so the text area can grow.
void* PpmdModel::moveUnitsUp(void* oldPtr, unsigned units) {
    unsigned index = unitsToIndex(units);
    if (static_cast<std::uint8_t*>(oldPtr) > m_unitsStart + 16 * 1024 || ref(oldPtr) > m_freeList[index]) return oldPtr;
    void* ptr = removeNode(index);
    copyUnits(ptr, oldPtr, units);
    if (static_cast<std::uint8_t*>(oldPtr) != m_unitsStart) insertNode(oldPtr, index);
    else m_unitsStart += unitsToBytes(indexToUnits(index));
    return ptr;
}

// Gives the free blocks at the bottom of the units area to the text area.
void PpmdModel::expandTextArea() {
    std::uint32_t count[kNumIndexes] = {};
    if (m_loUnit != m_hiUnit) reinterpret_cast<Node*>(m_loUnit)->stamp = 0;
    Node* n = reinterpret_cast<Node*>(m_unitsStart);
    for (; n->stamp == kEmptyNode; n += n->nu) {
        n->stamp = 0;
        count[unitsToIndex(n->nu)]++;
    }
    m_unitsStart = reinterpret_cast<std::uint8_t*>(n);

    for (unsigned i = 0; i < kNumIndexes; i++) {
        std::uint32_t* next = &m_freeList[i];
        while (count[i] != 0) {
            Node* cur = node(*next);
            while (cur->stamp == 0) {
                *next = cur->next;
                cur = node(*next);
                m_stamps[i]--;
                if (--count[i] == 0) break;
            }
            next = &cur->next;
        }
    }
}

std::uint32_t PpmdModel::usedMemory() const {
    std::uint32_t units = 0;
    for (unsigned i = 0; i < kNumIndexes; i++) units += m_stamps[i] * indexToUnits(i);
    return m_size - std::uint32_t(m_hiUnit - m_loUnit) - std::uint32_t(m_unitsStart - m_text) - unitsToBytes(units);
}

// ---- model ----

void PpmdModel::restartModel() {
    std::memset(m_freeList, 0, sizeof(m_freeList));
    std::memset(m_stamps, 0, sizeof(m_stamps));
    m_text = m_base + m_alignOffset;
    m_hiUnit = m_text + m_size;
    m_loUnit = m_unitsStart = m_hiUnit - m_size / 8 / kUnitSize * 7 * kUnitSize;
    m_glueCount = 0;

    m_orderFall = m_maxOrder;
    m_runLength = m_initRunLength = -std::int32_t(m_maxOrder < 12 ? m_maxOrder : 12) - 1;
    m_prevSuccess = 0;

    m_hiUnit -= kUnitSize;
    m_minContext = m_maxContext = reinterpret_cast<Context*>(m_hiUnit);
    m_minContext->suffix = 0;
    m_minContext->numStats = 255;
    m_minContext->flags = 0;
    m_minContext->summFreq = 256 + 1;
    m_foundState = reinterpret_cast<State*>(m_loUnit);
    m_loUnit += unitsToBytes(256 / 2);
    m_minContext->stats = ref(m_foundState);
    for (unsigned i = 0; i < 256; i++) {
        State* s = &m_foundState[i];
        s->symbol = std::uint8_t(i);
        s->freq = 1;
        setSuccessor(s, 0);
    }

    // Each row serves a range of frequencies and starts from the escape estimate of its last.
    for (unsigned row = 0, i = 0; row < 25; row++) {
        while (m_ns2Index[i] == row) i++;
        for (unsigned k = 0; k < 8; k++) {
            std::uint16_t value = std::uint16_t(kBinScale - kInitBinEsc[k] / (i + 1));
            for (unsigned m = 0; m < 64; m += 8) m_binSumm[row][k + m] = value;
        }
    }
    // SEE rows likewise start from the estimate for the largest symbol count they serve.
    for (unsigned row = 0, i = 0; row < 24; row++) {
        while (m_ns2Index[i + 3] == row + 3) i++;
        for (unsigned k = 0; k < 32; k++) {
            See& s = m_see[row][k];
            s.shift = kPeriodBits - 4;
            s.summ = std::uint16_t((2 * i + 5) << s.shift);
            s.count = 7;
        }
    }
}

Context* PpmdModel::createSuccessors(bool skip, State* s1, Context* c) {
    const std::uint32_t upBranch = successor(m_foundState);
    State* ps[kMaxOrder + 1];
    unsigned numPs = 0;
    if (!skip) ps[numPs++] = m_foundState;

    while (c->suffix) {
        State* s;
        c = suffixOf(c);
        if (s1) {
            s = s1;
            s1 = nullptr;
        } else if (c->numStats != 0) {
            for (s = statsOf(c); s->symbol != m_foundState->symbol; s++) {
            }
            if (s->freq < kMaxFreq - 9) {
                s->freq++;
                c->summFreq++;
            }
        } else {
            s = oneState(c);
            s->freq = std::uint8_t(s->freq + (!suffixOf(c)->numStats & (s->freq < 24)));
        }
        std::uint32_t next = successor(s);
        if (next != upBranch) {
            c = context(next);
            if (numPs == 0) return c;
            break;
        }
        ps[numPs++] = s;
    }

    State upState;
    upState.symbol = m_base[upBranch];
    setSuccessor(&upState, upBranch + 1);
    const std::uint8_t flags = std::uint8_t(0x10 * (m_foundState->symbol >= 0x40) + 0x08 * (upState.symbol >= 0x40));
    if (c->numStats == 0) {
        upState.freq = oneState(c)->freq;
    } else {
        State* s;
        for (s = statsOf(c); s->symbol != upState.symbol; s++) {
        }
        std::uint32_t cf = s->freq - 1u;
        std::uint32_t s0 = c->summFreq - c->numStats - cf;
        upState.freq = std::uint8_t(1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((cf + 2 * s0 - 3) / s0)));
    }

    do {
        Context* c1 = allocContext();
        if (!c1) return nullptr;
        c1->numStats = 0;
        c1->flags = flags;
        *oneState(c1) = upState;
        c1->suffix = ref(c);
        setSuccessor(ps[--numPs], ref(c1));
        c = c1;
    } while (numPs != 0);
    return c;
}

Context* PpmdModel::reduceOrder(State* s1, Context* c) {
    State* s = nullptr;
    Context* c1 = c;
    const std::uint32_t upBranch = ref(m_text);
    setSuccessor(m_foundState, upBranch);
    m_orderFall++;
    for (;;) {
        if (s1) {
            c = suffixOf(c);
            s = s1;
            s1 = nullptr;
        } else {
            if (!c->suffix) return c;
            c = suffixOf(c);
            if (c->numStats) {
                for (s = statsOf(c); s->symbol != m_foundState->symbol; s++) {
                }
                if (s->freq < kMaxFreq - 9) {
                    s->freq += 2;
                    c->summFreq += 2;
                }
            } else {
                s = oneState(c);
                s->freq = std::uint8_t(s->freq + (s->freq < 32));
            }
        }
        if (successor(s)) break;
        setSuccessor(s, upBranch);
        m_orderFall++;
    }
    if (successor(s) <= upBranch) {
        State* saved = m_foundState;
        m_foundState = s;
        Context* next = createSuccessors(false, nullptr, c);
        setSuccessor(s, next ? ref(next) : 0);
        m_foundState = saved;
    }
    if (m_orderFall == 1 && c1 == m_maxContext) {
        setSuccessor(m_foundState, successor(s));
        m_text--;
    }
    if (successor(s) == 0) return nullptr;
    return context(successor(s));
}

void PpmdModel::refresh(Context* ctx, unsigned oldUnits, unsigned scale) {
    unsigned i = ctx->numStats;
    State* s = static_cast<State*>(shrinkUnits(statsOf(ctx), oldUnits, (i + 2) >> 1));
    ctx->stats = ref(s);
    scale |= (ctx->summFreq >= (1u << 15));
    unsigned flags = (ctx->flags & (0x10 + 0x04 * scale)) + 0x08 * (s->symbol >= 0x40);
    unsigned escFreq = ctx->summFreq - s->freq;
    unsigned sumFreq = (s->freq = std::uint8_t((s->freq + scale) >> scale));
    do {
        escFreq -= (++s)->freq;
        sumFreq += (s->freq = std::uint8_t((s->freq + scale) >> scale));
        flags |= 0x08 * (s->symbol >= 0x40);
    } while (--i);
    ctx->summFreq = std::uint16_t(sumFreq + ((escFreq + scale) >> scale));
    ctx->flags = std::uint8_t(flags);
}

// Drops what the model can lose most easily: raw successors into the text area, contexts above
// the maximal order, and the symbol lists emptied that way.
std::uint32_t PpmdModel::cutOff(Context* ctx, unsigned order) {
    if (!ctx->numStats) {
        State* s = oneState(ctx);
        if (m_base + successor(s) >= m_unitsStart) {
            if (order < m_maxOrder) setSuccessor(s, cutOff(context(successor(s)), order + 1));
            else setSuccessor(s, 0);
            if (successor(s) || order <= 9) return ref(ctx);
        }
        specialFreeUnit(ctx);
        return 0;
    }
    const unsigned units = (unsigned(ctx->numStats) + 2) >> 1;
    ctx->stats = ref(moveUnitsUp(statsOf(ctx), units));
    int i = ctx->numStats;
    for (State* s = statsOf(ctx) + i; s >= statsOf(ctx); s--) {
        if (m_base + successor(s) < m_unitsStart) {
            State* s2 = statsOf(ctx) + (i--);
            setSuccessor(s, 0);
            swapStates(s, s2);
        } else if (order < m_maxOrder) {
            setSuccessor(s, cutOff(context(successor(s)), order + 1));
        } else {
            setSuccessor(s, 0);
        }
    }
    if (i != ctx->numStats && order) {
        ctx->numStats = std::uint8_t(i);
        State* s = statsOf(ctx);
        if (i < 0) {
            freeUnits(s, units);
            specialFreeUnit(ctx);
            return 0;
        }
        if (i == 0) {
            ctx->flags = std::uint8_t((ctx->flags & 0x10) + 0x08 * (s->symbol >= 0x40));
            *oneState(ctx) = *s;
            freeUnits(s, units);
            oneState(ctx)->freq = std::uint8_t((unsigned(oneState(ctx)->freq) + 11) >> 3);
        } else {
            refresh(ctx, units, ctx->summFreq > 16 * i);
        }
    }
    return ref(ctx);
}

// Undoes the additions of an interrupted update (contexts maxContext down to c1), then restarts
// or cuts the model down when its memory is spent.
void PpmdModel::restoreModel(Context* c1) {
    m_text = m_base + m_alignOffset;
    Context* c = m_maxContext;
    for (; c != c1; c = suffixOf(c)) {
        if (--(c->numStats) == 0) {
            State* s = statsOf(c);
            c->flags = std::uint8_t((c->flags & 0x10) + 0x08 * (s->symbol >= 0x40));
            *oneState(c) = *s;
            specialFreeUnit(s);
            oneState(c)->freq = std::uint8_t((oneState(c)->freq + 11) >> 3);
        } else {
            refresh(c, (c->numStats + 3) >> 1, 0);
        }
    }
    for (; c != m_minContext; c = suffixOf(c)) {
        if (!c->numStats) oneState(c)->freq = std::uint8_t(oneState(c)->freq - (oneState(c)->freq >> 1));
        else if ((c->summFreq += 4) > 128 + 4 * c->numStats) refresh(c, (c->numStats + 2) >> 1, 1);
    }

    if (m_restoreMethod == kRestoreRestart || usedMemory() < (m_size >> 1)) {
        restartModel();
        return;
    }
    while (m_maxContext->suffix) m_maxContext = suffixOf(m_maxContext);
    do {
        cutOff(m_maxContext, 0);
        expandTextArea();
    } while (usedMemory() > 3 * (m_size >> 2));
    m_glueCount = 0;
    m_orderFall = m_maxOrder;
}

void PpmdModel::updateModel() {
    std::uint32_t fSuccessor = successor(m_foundState);
    const unsigned fFreq = m_foundState->freq;
    const std::uint8_t fSymbol = m_foundState->symbol;
    State* s = nullptr;

    if (fFreq < kMaxFreq / 4 && m_minContext->suffix != 0) {
        Context* c = suffixOf(m_minContext);
        if (c->numStats == 0) {
            s = oneState(c);
            if (s->freq < 32) s->freq++;
        } else {
            s = statsOf(c);
            if (s->symbol != fSymbol) {
                do {
                    s++;
                } while (s->symbol != fSymbol);
                if (s[0].freq >= s[-1].freq) {
                    swapStates(&s[0], &s[-1]);
                    s--;
                }
            }
            if (s->freq < kMaxFreq - 9) {
                s->freq += 2;
                c->summFreq += 2;
            }
        }
    }

    Context* c = m_maxContext;
    if (m_orderFall == 0 && fSuccessor) {
        Context* cs = createSuccessors(true, s, m_minContext);
        if (!cs) {
            setSuccessor(m_foundState, 0);
            restoreModel(c);
        } else {
            setSuccessor(m_foundState, ref(cs));
            m_maxContext = cs;
        }
        return;
    }

    *m_text++ = fSymbol;
    std::uint32_t next = ref(m_text);
    if (m_text >= m_unitsStart) {
        restoreModel(c);
        return;
    }

    if (!fSuccessor) {
        Context* cs = reduceOrder(s, m_minContext);
        if (!cs) {
            restoreModel(c);
            return;
        }
        fSuccessor = ref(cs);
    } else if (m_base + fSuccessor < m_unitsStart) {
        Context* cs = createSuccessors(false, s, m_minContext);
        if (!cs) {
            restoreModel(c);
            return;
        }
        fSuccessor = ref(cs);
    }

    if (--m_orderFall == 0) {
        next = fSuccessor;
        m_text -= (m_maxContext != m_minContext);
    }

    const unsigned ns = m_minContext->numStats;
    const std::uint32_t s0 = m_minContext->summFreq - ns - fFreq;
    const std::uint8_t flag = std::uint8_t(0x08 * (fSymbol >= 0x40));

    for (; c != m_minContext; c = suffixOf(c)) {
        unsigned ns1 = c->numStats;
        if (ns1 != 0) {
            if ((ns1 & 1) != 0) {
                // The list fills its last unit: move it to a block one unit larger.
                unsigned oldUnits = (ns1 + 1) >> 1;
                unsigned i = unitsToIndex(oldUnits);
                if (i != unitsToIndex(oldUnits + 1)) {
                    void* ptr = allocUnits(i + 1);
                    if (!ptr) {
                        restoreModel(c);
                        return;
                    }
                    void* oldPtr = statsOf(c);
                    copyUnits(ptr, oldPtr, oldUnits);
                    insertNode(oldPtr, i);
                    c->stats = ref(ptr);
                }
            }
            c->summFreq = std::uint16_t(c->summFreq + (3 * ns1 + 1 < ns));
        } else {
            State* s2 = static_cast<State*>(allocUnits(0));
            if (!s2) {
                restoreModel(c);
                return;
            }
            *s2 = *oneState(c);
            c->stats = ref(s2);
            if (s2->freq < kMaxFreq / 4 - 1) s2->freq = std::uint8_t(s2->freq << 1);
            else s2->freq = kMaxFreq - 4;
            c->summFreq = std::uint16_t(s2->freq + m_initEsc + (ns > 2));
        }
        std::uint32_t cf = 2 * fFreq * (c->summFreq + 6u);
        std::uint32_t sf = s0 + c->summFreq;
        if (cf < 6 * sf) {
            cf = 1 + (cf > sf) + (cf >= 4 * sf);
            c->summFreq = std::uint16_t(c->summFreq + 4);
        } else {
            cf = 4 + (cf > 9 * sf) + (cf > 12 * sf) + (cf > 15 * sf);
            c->summFreq = std::uint16_t(c->summFreq + cf);
        }
        State* added = statsOf(c) + ns1 + 1;
        setSuccessor(added, next);
        added->symbol = fSymbol;
        added->freq = std::uint8_t(cf);
        c->flags |= flag;
        c->numStats = std::uint8_t(ns1 + 1);
    }
    m_maxContext = m_minContext = context(fSuccessor);
}

void PpmdModel::rescale() {
    State* stats = statsOf(m_minContext);
    State* s = m_foundState;
    // The found symbol moves to the front.
    if (s != stats) {
        State tmp = *s;
        do {
            s[0] = s[-1];
        } while (--s != stats);
        *s = tmp;
    }
    unsigned escFreq = m_minContext->summFreq - s->freq;
    s->freq += 4;
    const unsigned adder = m_orderFall != 0;
    s->freq = std::uint8_t((s->freq + adder) >> 1);
    unsigned sumFreq = s->freq;

    unsigned i = m_minContext->numStats;
    do {
        escFreq -= (++s)->freq;
        s->freq = std::uint8_t((s->freq + adder) >> 1);
        sumFreq += s->freq;
        if (s[0].freq > s[-1].freq) {
            State* s1 = s;
            State tmp = *s1;
            do {
                s1[0] = s1[-1];
            } while (--s1 != stats && tmp.freq > s1[-1].freq);
            *s1 = tmp;
        }
    } while (--i);

    if (s->freq == 0) {
        const unsigned numStats = m_minContext->numStats;
        do {
            i++;
        } while ((--s)->freq == 0);
        escFreq += i;
        m_minContext->numStats = std::uint8_t(m_minContext->numStats - i);
        if (m_minContext->numStats == 0) {
            State tmp = *stats;
            tmp.freq = std::uint8_t((2 * tmp.freq + escFreq - 1) / escFreq);
            if (tmp.freq > kMaxFreq / 3) tmp.freq = kMaxFreq / 3;
            insertNode(stats, unitsToIndex((numStats + 2) >> 1));
            m_minContext->flags = std::uint8_t((m_minContext->flags & 0x10) + 0x08 * (tmp.symbol >= 0x40));
            *(m_foundState = oneState(m_minContext)) = tmp;
            return;
        }
        const unsigned n0 = (numStats + 2) >> 1;
        const unsigned n1 = (m_minContext->numStats + 2) >> 1;
        if (n0 != n1) m_minContext->stats = ref(shrinkUnits(stats, n0, n1));
        m_minContext->flags &= ~0x08;
        s = statsOf(m_minContext);
        m_minContext->flags |= 0x08 * (s->symbol >= 0x40);
        i = m_minContext->numStats;
        do {
            m_minContext->flags |= 0x08 * ((++s)->symbol >= 0x40);
        } while (--i);
    }
    m_minContext->summFreq = std::uint16_t(sumFreq + escFreq - (escFreq >> 1));
    m_minContext->flags |= 0x04;
    m_foundState = statsOf(m_minContext);
}

inline void PpmdModel::nextContext() {
    Context* c = context(successor(m_foundState));
    if (m_orderFall == 0 && reinterpret_cast<std::uint8_t*>(c) >= m_unitsStart) {
        m_minContext = m_maxContext = c;
    } else {
        updateModel();
        m_minContext = m_maxContext;
    }
}

inline void PpmdModel::update1() {
    State* s = m_foundState;
    s->freq += 4;
    m_minContext->summFreq += 4;
    if (s[0].freq > s[-1].freq) {
        swapStates(&s[0], &s[-1]);
        m_foundState = --s;
        if (s->freq > kMaxFreq) rescale();
    }
    nextContext();
}

inline void PpmdModel::update1First() {
    m_prevSuccess = (2u * m_foundState->freq >= m_minContext->summFreq);
    m_runLength += m_prevSuccess;
    m_minContext->summFreq += 4;
    if ((m_foundState->freq += 4) > kMaxFreq) rescale();
    nextContext();
}

inline void PpmdModel::updateBin() {
    m_foundState->freq = std::uint8_t(m_foundState->freq + (m_foundState->freq < 196));
    m_prevSuccess = 1;
    m_runLength++;
    nextContext();
}

inline void PpmdModel::update2() {
    m_minContext->summFreq += 4;
    if ((m_foundState->freq += 4) > kMaxFreq) rescale();
    m_runLength = m_initRunLength;
    updateModel();
    m_minContext = m_maxContext;
}

PpmdModel::See* PpmdModel::makeEscapeFrequency(unsigned numMasked, std::uint32_t& escapeFrequency) {
    const Context* mc = m_minContext;
    const unsigned numStats = mc->numStats;
    if (numStats == 0xFF) {
        escapeFrequency = 1;
        return &m_dummySee;
    }
    See* see = m_see[m_ns2Index[numStats + 2] - 3] + (mc->summFreq > 11 * (numStats + 1)) +
               2 * unsigned(2 * numStats < unsigned(suffixOf(mc)->numStats) + numMasked) + mc->flags;
    unsigned r = see->summ >> see->shift;
    see->summ = std::uint16_t(see->summ - r);
    escapeFrequency = r + (r == 0);
    return see;
}

inline std::uint16_t* PpmdModel::binarySummary() {
    const Context* mc = m_minContext;
    const State* s = reinterpret_cast<const State*>(&mc->summFreq);
    return &m_binSumm[m_ns2Index[s->freq - 1]][m_ns2BsIndex[suffixOf(mc)->numStats] + m_prevSuccess + mc->flags +
                                               ((std::uint32_t(m_runLength) >> 26) & 0x20)];
}

int PpmdModel::decodeSymbol() {
    alignas(8) std::int8_t charMask[256];
    if (m_minContext->numStats != 0) {
        State* s = statsOf(m_minContext);
        const unsigned summFreq = m_minContext->summFreq;
        if ((m_range /= summFreq) == 0) return kDataError;
        const std::uint32_t count = m_code / m_range;
        std::uint32_t hiCnt = s->freq;
        if (count < hiCnt) {
            decodeRange(0, s->freq);
            m_foundState = s;
            const std::uint8_t symbol = s->symbol;
            update1First();
            return symbol;
        }
        m_prevSuccess = 0;
        unsigned i = m_minContext->numStats;
        do {
            if ((hiCnt += (++s)->freq) > count) {
                decodeRange(hiCnt - s->freq, s->freq);
                m_foundState = s;
                const std::uint8_t symbol = s->symbol;
                update1();
                return symbol;
            }
        } while (--i);
        if (count >= summFreq) return kDataError;
        decodeRange(hiCnt, summFreq - hiCnt);
        std::memset(charMask, -1, sizeof(charMask));
        charMask[s->symbol] = 0;
        i = m_minContext->numStats;
        do {
            charMask[(--s)->symbol] = 0;
        } while (--i);
    } else {
        std::uint16_t* prob = binarySummary();
        m_range >>= 14;
        if (m_code / m_range < *prob) {
            decodeRange(0, *prob);
            *prob = std::uint16_t(*prob + (1u << kIntBits) - getMean(*prob));
            m_foundState = oneState(m_minContext);
            const std::uint8_t symbol = m_foundState->symbol;
            updateBin();
            return symbol;
        }
        decodeRange(*prob, kBinScale - *prob);
        *prob = std::uint16_t(*prob - getMean(*prob));
        m_initEsc = kExpEscape[*prob >> 10];
        std::memset(charMask, -1, sizeof(charMask));
        charMask[oneState(m_minContext)->symbol] = 0;
        m_prevSuccess = 0;
    }

    for (;;) {
        State* ps[256];
        const unsigned numMasked = m_minContext->numStats;
        do {
            m_orderFall++;
            if (!m_minContext->suffix) return kEndMark;
            m_minContext = suffixOf(m_minContext);
        } while (m_minContext->numStats == numMasked);

        std::uint32_t hiCnt = 0;
        State* s = statsOf(m_minContext);
        unsigned i = 0;
        const unsigned num = m_minContext->numStats - numMasked;
        do {
            const int k = charMask[s->symbol];
            hiCnt += s->freq & unsigned(k);
            ps[i] = s++;
            i -= unsigned(k);
        } while (i != num);

        std::uint32_t freqSum;
        See* see = makeEscapeFrequency(numMasked, freqSum);
        freqSum += hiCnt;
        if ((m_range /= freqSum) == 0) return kDataError;
        const std::uint32_t count = m_code / m_range;

        if (count < hiCnt) {
            State** pps = ps;
            for (hiCnt = 0; (hiCnt += (*pps)->freq) <= count; pps++) {
            }
            s = *pps;
            decodeRange(hiCnt - s->freq, s->freq);
            updateSee(see);
            m_foundState = s;
            const std::uint8_t symbol = s->symbol;
            update2();
            return symbol;
        }
        if (count >= freqSum) return kDataError;
        decodeRange(hiCnt, freqSum - hiCnt);
        see->summ = std::uint16_t(see->summ + freqSum);
        do {
            charMask[ps[--i]->symbol] = 0;
        } while (i != 0);
    }
}
