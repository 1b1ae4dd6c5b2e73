// A first-stage processor that decodes what it reads from its source with a ChunkDecoder and
// pushes the content into its sink, never more than the sink's spaceAvailable. It refuses to
// produce more than a limit (the entry's declared size), so a hostile stream cannot fill the
// disk, and fails when the source ends before the stream does.
#pragma once
#include <cstdint>

#include "pipeline/DataProcessor.h"

class LogBase;
class ChunkDecoder;

class MethodDecodeProcessor : public DataProcessor {
public:
    // limit: most bytes the stream may decode to; all ones for no limit.
    MethodDecodeProcessor(ChunkDecoder& decoder, std::uint64_t limit);
    ~MethodDecodeProcessor() override;

    const char* name() const override { return "MethodDecodeProcessor"; }
    void begin() override;
    int step() override;
    // Until the stream has ended, the decoder may hold content: never 0 before then.
    std::uint64_t bytesPending() override;

    // Why the run failed; empty after success.
    const char* failure() const { return m_failure; }
    std::uint64_t bytesDecoded() const { return m_decoded; }

private:
    bool readInput();
    int decodeMore();
    int forwardOutput();
    int failWith(const char* message);

    ChunkDecoder& m_decoder;
    std::uint64_t m_limit;
    std::uint8_t* m_in = nullptr;
    std::uint32_t m_inStart = 0, m_inEnd = 0;  // unconsumed input is m_in[m_inStart, m_inEnd)
    std::uint8_t* m_out = nullptr;
    std::uint32_t m_outStart = 0, m_outEnd = 0;  // content not yet forwarded
    std::uint64_t m_decoded = 0;
    bool m_streamEnded = false;
    bool m_wantsInput = false;  // the last decode call took nothing: read before the next
    const char* m_failure = "";
};
