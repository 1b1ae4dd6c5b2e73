// Streaming inflate with the decoding on a second thread: the decoder runs ahead into a small
// bounded queue of output blocks while the calling thread hands each block to the real output
// (which writes the file and takes the CRC), so decoding and writing overlap on two cores.
//
// The calling thread sees exactly what InflateState2::inflateSource would show it: the same
// blocks in the same order through the same spaceAvailable / write / isAborted calls, the same
// log lines, the same result. Only the decoder's own work moves to the other thread; the
// output, its progress reports and the log are touched by the calling thread alone. An abort or
// a refusal seen after a block stops the output there, as it does without the thread; the
// decoder, at most kBlocks blocks ahead, is told to stop and its extra blocks are dropped.
#pragma once
#include <cstdint>

class InflateInput;
class InflateOutput;
class InflateState2;
class LogBase;

class InflateAhead {
public:
    // Blocks queued between the decoder and the writer (32,768 bytes each).
    static constexpr unsigned kBlocks = 16;

    // inflateSource of `inflater` (constructed, its sink not yet used) with its decoding on a
    // second thread; `output` receives the blocks on the calling thread. The source is read on
    // the second thread only: it must not report progress or log anywhere the caller does.
    // Without a thread (the system refuses one) it decodes in the calling thread instead.
    static bool inflateSource(InflateState2& inflater, InflateInput& source, InflateOutput& output, LogBase& log,
                              bool verbose);
};
