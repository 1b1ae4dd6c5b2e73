// Common base of the library's implementation objects: each carries its own diagnostic log.
#pragma once
#include "base/TarnelObject.h"
#include "log/Logger.h"

class ClsBase : public TarnelObject {
public:
    ClsBase() = default;
    ClsBase(const ClsBase&) = delete;
    ClsBase& operator=(const ClsBase&) = delete;
    ~ClsBase() override = default;

    Logger& log() { return m_log; }

protected:
    Logger m_log;
};
