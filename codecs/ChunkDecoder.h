// A decoder that turns one compressed stream into its content piece by piece: the caller hands
// it whatever input it has and room for output, and calls again until it reports the end. It
// keeps no reference to either buffer between calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class ChunkDecoder {
public:
    enum class Result { More, End, Error };

    ChunkDecoder() = default;
    ChunkDecoder(const ChunkDecoder&) = delete;
    ChunkDecoder& operator=(const ChunkDecoder&) = delete;
    virtual ~ChunkDecoder() = default;

    // Consumes from in[0, inSize) and fills out[0, outSize); inUsed and outUsed say how much.
    // inputEnded: nothing follows `in`. More: call again with more input or room; End: the
    // stream is complete (input after it is not looked at); Error: the stream is corrupt or
    // unsupported, error() says why.
    virtual Result decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed, std::uint8_t* out,
                          std::size_t outSize, std::size_t& outUsed, bool inputEnded) = 0;

    // Input taken and kept by a decoder that reads ahead of its output; a caller that judges
    // progress by what it holds counts this too.
    virtual std::uint64_t bytesHeld() const { return 0; }

    const char* error() const { return m_error; }

protected:
    Result fail(const char* message) {
        m_error = message;
        return Result::Error;
    }
    // A message made for this failure (one that names sizes); kept until the decoder goes.
    Result failWith(std::string message) {
        m_errorText = std::move(message);
        return fail(m_errorText.c_str());
    }

private:
    const char* m_error = "";
    std::string m_errorText;
};
