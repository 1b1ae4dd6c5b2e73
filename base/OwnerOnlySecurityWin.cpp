#include "base/OwnerOnlySecurityWin.h"

#include <aclapi.h>

OwnerOnlySecurity::OwnerOnlySecurity() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    m_user.resize(size);
    bool ok = size && GetTokenInformation(token, TokenUser, m_user.data(), size, &size);
    CloseHandle(token);
    if (!ok) return;
    PSID sid = reinterpret_cast<TOKEN_USER*>(m_user.data())->User.Sid;
    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = static_cast<LPWSTR>(sid);
    if (SetEntriesInAclW(1, &access, nullptr, &m_acl) != ERROR_SUCCESS) return;
    InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION);
    // Protected: nothing is inherited from the parent folder.
    SetSecurityDescriptorDacl(&m_descriptor, TRUE, m_acl, FALSE);
    SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    m_attributes = {sizeof m_attributes, &m_descriptor, FALSE};
    m_ready = true;
}

OwnerOnlySecurity::~OwnerOnlySecurity() {
    if (m_acl) LocalFree(m_acl);
}
