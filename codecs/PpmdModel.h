// The PPMd variant I (revision 1) context model with its range decoder: it turns the coded bytes
// of a PPMd stream into symbols, one decodeSymbol call per byte of content.
//
// The model lives in one block of memory whose size the stream names (at most 256 MB): a text
// area growing up from the bottom and 12-byte units (contexts and their symbol lists) handed out
// from the top by a small allocator with free lists. When the block is full the model is either
// restarted from scratch or cut down to its most useful contexts, as the stream asks; encoder
// and decoder must take the same decisions, so every step here is exact.
//
// Input is pulled from a window set with setInput; the caller keeps enough bytes in it for one
// symbol (kMaxSymbolInput) until the input ends, and reading beyond the window counts as overrun.
#pragma once
#include <cstddef>
#include <cstdint>

class PpmdModel {
public:
    static constexpr unsigned kMinOrder = 2;
    static constexpr unsigned kMaxOrder = 16;
    static constexpr unsigned kRestoreRestart = 0;
    static constexpr unsigned kRestoreCutOff = 1;
    // The coded bytes one symbol may read. A valid symbol reads at most four per context level
    // and the root; damaged data that makes one read more is refused, so decoding never depends
    // on how the input was cut into chunks.
    static constexpr std::size_t kMaxSymbolInput = 256;
    static constexpr int kEndMark = -1;
    static constexpr int kDataError = -2;

    PpmdModel();
    ~PpmdModel();
    PpmdModel(const PpmdModel&) = delete;
    PpmdModel& operator=(const PpmdModel&) = delete;

    // Reserves the model's memory; false when it cannot be had.
    bool allocate(std::uint32_t size);
    void setInput(const std::uint8_t* begin, const std::uint8_t* end) { m_in = begin, m_inEnd = end; }
    const std::uint8_t* inputPosition() const { return m_in; }
    // Bytes read past the end of the input windows so far.
    std::size_t overrun() const { return m_overrun; }
    // Reads the range decoder's first four bytes and sets up the model. False when the stream
    // cannot start that way.
    bool start(unsigned maxOrder, unsigned restoreMethod);
    // The next byte (0..255), kEndMark at the stream's end mark, kDataError on impossible input.
    int decodeSymbol();

    struct State;
    struct Context;
    struct Node;
    struct See {
        std::uint16_t summ;
        std::uint8_t shift;
        std::uint8_t count;
    };

private:
    // Range decoder.
    std::uint8_t readByte();
    void normalize();
    void decodeRange(std::uint32_t start, std::uint32_t size);

    // Memory.
    std::uint32_t ref(const void* ptr) const { return std::uint32_t(static_cast<const std::uint8_t*>(ptr) - m_base); }
    Context* context(std::uint32_t offset) const;
    State* statsOf(const Context* c) const;
    Context* suffixOf(const Context* c) const;
    Node* node(std::uint32_t offset) const;
    unsigned indexToUnits(unsigned index) const { return m_indexToUnits[index]; }
    unsigned unitsToIndex(unsigned units) const { return m_unitsToIndex[units - 1]; }
    void insertNode(void* ptr, unsigned index);
    void* removeNode(unsigned index);
    void splitBlock(void* ptr, unsigned oldIndex, unsigned newIndex);
    void glueFreeBlocks();
    void* allocUnitsRare(unsigned index);
    void* allocUnits(unsigned index);
    Context* allocContext();
    void* shrinkUnits(void* oldPtr, unsigned oldUnits, unsigned newUnits);
    void freeUnits(void* ptr, unsigned units);
    void specialFreeUnit(void* ptr);
    void* moveUnitsUp(void* oldPtr, unsigned units);
    void expandTextArea();
    std::uint32_t usedMemory() const;

    // Model.
    void restartModel();
    Context* createSuccessors(bool skip, State* s1, Context* c);
    Context* reduceOrder(State* s1, Context* c);
    void updateModel();
    void restoreModel(Context* c1);
    void refresh(Context* ctx, unsigned oldUnits, unsigned scale);
    std::uint32_t cutOff(Context* ctx, unsigned order);
    void rescale();
    void nextContext();
    void update1();
    void update1First();
    void update2();
    void updateBin();
    See* makeEscapeFrequency(unsigned numMasked, std::uint32_t& escapeFrequency);
    std::uint16_t* binarySummary();

    std::uint8_t* m_base = nullptr;
    std::uint32_t m_size = 0;
    std::uint32_t m_alignOffset = 0;

    Context* m_minContext = nullptr;
    Context* m_maxContext = nullptr;
    State* m_foundState = nullptr;
    unsigned m_orderFall = 0, m_initEsc = 0, m_prevSuccess = 0, m_maxOrder = 0;
    unsigned m_restoreMethod = 0;
    std::int32_t m_runLength = 0, m_initRunLength = 0;
    std::uint32_t m_glueCount = 0;
    std::uint8_t *m_loUnit = nullptr, *m_hiUnit = nullptr, *m_text = nullptr, *m_unitsStart = nullptr;

    std::uint32_t m_range = 0, m_code = 0, m_low = 0;
    const std::uint8_t* m_in = nullptr;
    const std::uint8_t* m_inEnd = nullptr;
    std::size_t m_overrun = 0;

    static constexpr unsigned kNumIndexes = 38;
    std::uint8_t m_indexToUnits[kNumIndexes];
    std::uint8_t m_unitsToIndex[128];
    std::uint32_t m_freeList[kNumIndexes];
    std::uint32_t m_stamps[kNumIndexes];
    std::uint8_t m_ns2BsIndex[256];
    std::uint8_t m_ns2Index[260];
    See m_dummySee;
    See m_see[24][32];
    std::uint16_t m_binSumm[25][64];
};
