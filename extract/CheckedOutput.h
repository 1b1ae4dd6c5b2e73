// An Output in front of another one that keeps the system error of the first write the inner
// Output did not take in full, read at once, before later calls can overwrite it. The inner
// Output is not owned.
#pragma once
#include "pipeline/Output.h"

class CheckedOutput : public Output {
public:
    explicit CheckedOutput(Output& inner) : m_inner(inner) {}
    ~CheckedOutput() override = default;
    std::uint32_t write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) override;
    std::uint32_t write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) override;
    bool hasFailed() override { return m_failed || m_inner.hasFailed(); }
    void describe(StringBuffer& text) override { m_inner.describe(text); }

    bool writeFailed() const { return m_failed; }
    // The system's error number of the failed write; 0 when the inner Output gave none.
    int systemError() const { return m_error; }

private:
    Output& m_inner;
    bool m_failed = false;
    int m_error = 0;
};
