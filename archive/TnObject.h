// Tarnel Zip: common base of the public classes, giving them a virtual destructor.
#pragma once
#include "tarnel/TnZipExport.h"

class TARNEL_ZIP_API TnObject {
public:
    TnObject() = default;
    TnObject(const TnObject&) = delete;
    TnObject& operator=(const TnObject&) = delete;
    virtual ~TnObject() = default;
};
