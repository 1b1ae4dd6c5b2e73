// Common base of the library's buffers and strings: a virtual destructor and a creation number.
#pragma once
#include <cstdint>

class TarnelObject {
public:
    TarnelObject();
    TarnelObject(const TarnelObject&);
    TarnelObject& operator=(const TarnelObject&) { return *this; }
    virtual ~TarnelObject() = default;

    // Diagnostic only: taken from a process-wide counter when the object was made.
    std::uint64_t creationSequence() const { return m_sequence; }

private:
    std::uint64_t m_sequence;
};
