// bzip2 data of a zip entry (method 12), streamed through libbz2.
#pragma once
#include "codecs/ChunkDecoder.h"

class Bzip2StreamDecoder : public ChunkDecoder {
public:
    Bzip2StreamDecoder();
    ~Bzip2StreamDecoder() override;

    Result decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed, std::uint8_t* out,
                  std::size_t outSize, std::size_t& outUsed, bool inputEnded) override;

    // The message for a libbz2 result other than BZ_OK and BZ_STREAM_END.
    static const char* failureText(int libbz2Result);

private:
    struct State;
    State* m_state = nullptr;
};
