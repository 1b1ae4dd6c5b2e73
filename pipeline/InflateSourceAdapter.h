// Lets the streaming inflate pull compressed bytes from a DataSource (not owned). The inflate
// engine sits below the pipeline and knows only its own InflateInput.
#pragma once
#include "codecs/InflateInput.h"

class DataSource;

class InflateSourceAdapter : public InflateInput {
public:
    explicit InflateSourceAdapter(DataSource& source) : m_source(source) {}

    // True with 0 bytes once the source has ended; false when a read fails or is aborted.
    bool read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count) override;

private:
    DataSource& m_source;
};
