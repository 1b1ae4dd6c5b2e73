// The pass loop of DataPipeline.
#include "pipeline/DataPipeline.h"

#include <atomic>
#include <cstdio>

#include "archive/ProgressMonitor.h"
#include "pipeline/DataProcessor.h"

namespace {
std::atomic<int> g_pipelineCount{0};

// Every stage is synchronous, so a pass that moves nothing is followed by identical passes. A
// sink that never makes room would otherwise spin the pump for ever; a few idle passes are
// allowed for stages that work internally before they forward.
constexpr int kMaxIdlePasses = 64;
}  // namespace

DataPipeline::DataPipeline() {
    std::snprintf(m_name, sizeof m_name, "DataPipeline_%d", g_pipelineCount.fetch_add(1));
}

void DataPipeline::addProcessor(DataProcessor* processor) {
    if (processor) m_processors.push_back(processor);
}

DataPipeline::PassResult DataPipeline::pass(ProgressMonitor* monitor) {
    PassResult r;
    for (size_t i = 0; i < m_processors.size(); ++i) {
        DataProcessor* p = m_processors[i];
        std::uint64_t outBefore = p->bytesOut();
        std::uint64_t pendingBefore = p->bytesPending();
        if (p->step() < 0 || (monitor && monitor->isAborted())) {
            r.failed = true;
            return r;
        }
        if (i == 0) r.sourceEnded = p->sourceEnded();
        std::uint64_t pending = p->bytesPending();
        r.pending += pending;
        if (p->bytesOut() != outBefore || pending != pendingBefore) r.moved = true;
    }
    return r;
}

bool DataPipeline::run(ProgressMonitor* monitor) {
    if (m_processors.empty()) return false;
    for (DataProcessor* p : m_processors) p->begin();
    int idle = 0;
    for (;;) {
        PassResult r = pass(monitor);
        if (r.failed) return false;
        if (r.pending == 0 && r.sourceEnded) break;
        idle = r.moved ? 0 : idle + 1;
        if (idle > kMaxIdlePasses) return false;
    }
    for (DataProcessor* p : m_processors) p->finish();
    return true;
}
