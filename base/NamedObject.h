// A name and an optional text value, both owned; the entries of HashMap.
#pragma once
#include "base/StringBuffer.h"
#include "base/TarnelObject.h"

class NamedObject : public TarnelObject {
public:
    // Copies the name; takes ownership of the value, which may be null.
    NamedObject(const char* name, StringBuffer* value);
    NamedObject(const NamedObject&) = delete;
    NamedObject& operator=(const NamedObject&) = delete;
    ~NamedObject() override;

    const StringBuffer& name() const { return m_name; }
    StringBuffer* value() const { return m_value; }
    // Takes ownership of the new value and deletes the old one unless it is the same object.
    void setValue(StringBuffer* value);

private:
    StringBuffer m_name;
    StringBuffer* m_value;
};
