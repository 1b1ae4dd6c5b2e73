// The pump: runs a wired chain of processors until the first stage's source has ended and no
// stage holds a byte. Wiring is the caller's: the first processor gets the source, processor k
// sinks into processor k + 1, the last into a concrete sink. Owns none of them.
#pragma once
#include <cstdint>
#include <vector>

class DataProcessor;
class ProgressMonitor;

class DataPipeline {
public:
    DataPipeline();
    DataPipeline(const DataPipeline&) = delete;
    DataPipeline& operator=(const DataPipeline&) = delete;
    ~DataPipeline() = default;

    void addProcessor(DataProcessor* processor);
    // False when a step fails, when monitor (may be null) is aborted after a step, or when the
    // chain stops moving. finish is called only after a successful run.
    bool run(ProgressMonitor* monitor);

    const char* name() const { return m_name; }

private:
    struct PassResult {
        bool failed = false;
        bool sourceEnded = false;
        std::uint64_t pending = 0;
        bool moved = false;  // some stage took or forwarded bytes during the pass
    };
    PassResult pass(ProgressMonitor* monitor);

    std::vector<DataProcessor*> m_processors;
    char m_name[32];  // "DataPipeline_N", N from a process-wide counter
};
