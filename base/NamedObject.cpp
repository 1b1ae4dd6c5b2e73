// NamedObject: construction and value replacement.
#include "base/NamedObject.h"

NamedObject::NamedObject(const char* name, StringBuffer* value) : m_name(name), m_value(value) { m_name.shrinkToFit(); }

NamedObject::~NamedObject() { delete m_value; }

void NamedObject::setValue(StringBuffer* value) {
    if (value != m_value) delete m_value;
    m_value = value;
}
