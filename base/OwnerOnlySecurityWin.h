// A security descriptor whose DACL admits the current user alone (full control, inherited by
// everything created below), so that no other account can read, plant or swap files in it.
#pragma once
#include <windows.h>

#include <vector>

class OwnerOnlySecurity {
public:
    OwnerOnlySecurity();
    ~OwnerOnlySecurity();
    OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
    OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

    SECURITY_ATTRIBUTES* attributes() { return m_ready ? &m_attributes : nullptr; }
    bool ready() const { return m_ready; }

private:
    std::vector<char> m_user;
    PACL m_acl = nullptr;
    SECURITY_DESCRIPTOR m_descriptor{};
    SECURITY_ATTRIBUTES m_attributes{};
    bool m_ready = false;
};
