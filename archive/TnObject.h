// Tarnel Zip: common base of the public classes, giving them a virtual destructor.
#pragma once

class TnObject {
public:
    TnObject() = default;
    TnObject(const TnObject&) = delete;
    TnObject& operator=(const TnObject&) = delete;
    virtual ~TnObject() = default;
};
