// A decompressor for one compression method, as the decode stage of an entry: it pulls the
// method's stream (already decrypted) from a DataSource and pushes the decoded bytes into a
// DataSink, never handing the sink more than its spaceAvailable. It holds only bounded state of
// its own (windows, tables, one input chunk), whatever the sizes of the entry.
//
// decode runs once per object. It succeeds when the stream's own end is reached (or, for methods
// without an end marker, when the source ends). It fails, logging why when it knows, on corrupt
// data, on a failed read, when the sink refuses a write or has no room (which is how an output
// held to the entry's declared size stops a decoder early), and on an abort answered by the
// sink's progress monitor. New methods are added in MethodDecoders.cpp.
#pragma once

class DataSink;
class DataSource;
class LogBase;

class StreamDecoder {
public:
    StreamDecoder() = default;
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;
    virtual ~StreamDecoder() = default;

    virtual bool decode(DataSource& source, DataSink& sink, LogBase& log) = 0;
};
