// Stream decoders of the methods that the pipeline reaches through makeMethodDecoder.
#include "pipeline/MethodDecoders.h"

#include "codecs/Implode.h"
#include "codecs/Unshrink.h"
#include "log/LogBase.h"
#include "pipeline/InflateSinkAdapter.h"
#include "pipeline/InflateSourceAdapter.h"

namespace {
constexpr int kMethodShrunk = 1;
constexpr int kMethodImploded = 6;

class UnshrinkDecoder : public StreamDecoder {
public:
    bool decode(DataSource& source, DataSink& sink, LogBase& log) override
    {
        InflateSourceAdapter in(source);
        InflateSinkAdapter out(sink);
        if (Unshrink::unshrink(in, out)) return true;
        return log.logError("Failed to unshrink data."), false;
    }
};

class ExplodeDecoder : public StreamDecoder {
public:
    explicit ExplodeDecoder(std::uint16_t flags) : m_flags(flags) {}
    bool decode(DataSource& source, DataSink& sink, LogBase& log) override
    {
        InflateSourceAdapter in(source);
        InflateSinkAdapter out(sink);
        Implode implode;
        if (implode.explode((m_flags & 0x02) != 0, (m_flags & 0x04) != 0, in, out)) return true;
        return log.logError("Failed to explode data."), false;
    }

private:
    std::uint16_t m_flags;
};
}  // namespace

std::unique_ptr<StreamDecoder> makeMethodDecoder(int method, std::uint16_t flags)
{
    switch (method) {
    case kMethodShrunk: return std::make_unique<UnshrinkDecoder>();
    case kMethodImploded: return std::make_unique<ExplodeDecoder>(flags);
    default: return nullptr;
    }
}

bool hasMethodDecoder(int method)
{
    return makeMethodDecoder(method, 0) != nullptr;
}
