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
    char label[32];
    std::snprintf(label, sizeof label, "DataPipeline_%d", g_pipelineCount.fetch_add(1));
    m_name.setString(label);
}

bool DataPipeline::addProcessor(DataProcessor* processor) { return processor && m_processors.add(processor); }

DataProcessor* DataPipeline::processor(int i) const { return static_cast<DataProcessor*>(m_processors.get(i)); }

DataPipeline::PassResult DataPipeline::pass(ProgressMonitor* monitor) {
    PassResult r;
    for (int i = 0; i < m_processors.count(); ++i) {
        DataProcessor* p = processor(i);
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
    if (m_processors.count() == 0) return false;
    for (int i = 0; i < m_processors.count(); ++i) processor(i)->begin();
    int idle = 0;
    for (;;) {
        PassResult r = pass(monitor);
        if (r.failed) return false;
        if (r.pending == 0 && r.sourceEnded) break;
        idle = r.moved ? 0 : idle + 1;
        if (idle > kMaxIdlePasses) return false;
    }
    for (int i = 0; i < m_processors.count(); ++i) processor(i)->finish();
    return true;
}
