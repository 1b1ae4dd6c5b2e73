// A sink that takes everything and keeps nothing: counts bytes, and sums them when asked to.
#pragma once
#include "pipeline/DataSink.h"

class NullDataSink : public DataSink {
public:
    NullDataSink() = default;
    ~NullDataSink() override = default;

    bool write(const std::uint8_t* bytes, std::uint32_t n) override;
    bool spaceAvailable(std::uint32_t& count) override;
};
