// The pump: runs a wired chain of processors until the first stage's source has ended and no
// stage holds a byte. Wiring is the caller's: the first processor gets the source, processor k
// sinks into processor k + 1, the last into a concrete sink. Owns none of them.
#pragma once
#include <cstdint>

#include "base/ExtPtrArray.h"
#include "base/StringBuffer.h"

class DataProcessor;
class ProgressMonitor;

class DataPipeline {
public:
    DataPipeline();
    DataPipeline(const DataPipeline&) = delete;
    DataPipeline& operator=(const DataPipeline&) = delete;
    ~DataPipeline() = default;

    // False when the list cannot grow.
    bool addProcessor(DataProcessor* processor);
    // False when a step fails, when monitor (may be null) is aborted after a step, or when the
    // chain stops moving. finish is called only after a successful run.
    bool run(ProgressMonitor* monitor);

    const char* name() const { return m_name.text(); }

private:
    struct PassResult {
        bool failed = false;
        bool sourceEnded = false;
        std::uint64_t pending = 0;
        bool moved = false;  // some stage took or forwarded bytes during the pass
    };
    PassResult pass(ProgressMonitor* monitor);

    DataProcessor* processor(int i) const;

    ExtPtrArray m_processors;  // not owned: never deleteAll
    StringBuffer m_name;       // "DataPipeline_N", N from a process-wide counter
};
