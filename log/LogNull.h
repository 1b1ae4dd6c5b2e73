// A log that discards everything, for callers that must pass a log but have none to give.
#pragma once
#include "log/LogBase.h"

class LogNull : public LogBase {
public:
    ~LogNull() override = default;
};
