// bzip2 data of a zip entry (method 12), streamed through libbz2.
#pragma once
#include "codecs/ChunkDecoder.h"

class Bzip2StreamDecoder : public ChunkDecoder {
public:
    Bzip2StreamDecoder();
    ~Bzip2StreamDecoder() override;

    Result decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed,
                  std::uint8_t* out, std::size_t outSize, std::size_t& outUsed,
                  bool inputEnded) override;

private:
    struct State;
    State* m_state = nullptr;
};
