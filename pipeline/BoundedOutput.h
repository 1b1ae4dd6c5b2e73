// An Output in front of another that takes no more than a fixed number of bytes in all: the
// write that would pass the limit is refused whole (nothing of it reaches the inner Output) and
// the refusal is remembered. It holds a decode to the size its entry declares, so that a stream
// that decodes to more fails at once instead of filling the disk. The inner Output is not owned.
#pragma once
#include <cstdint>

#include "pipeline/Output.h"

class BoundedOutput : public Output {
public:
    BoundedOutput(Output& inner, std::uint64_t limit) : m_inner(inner), m_limit(limit) {}
    ~BoundedOutput() override = default;

    std::uint32_t write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) override;
    std::uint32_t write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) override;
    bool hasFailed() override { return m_exceeded || m_inner.hasFailed(); }
    void describe(StringBuffer& text) override { m_inner.describe(text); }
    std::uint64_t position() override { return m_inner.position(); }

    // A write was refused because it would have passed the limit.
    bool exceeded() const { return m_exceeded; }
    std::uint64_t taken() const { return m_taken; }

private:
    Output& m_inner;
    std::uint64_t m_limit;
    std::uint64_t m_taken = 0;
    bool m_exceeded = false;
};
