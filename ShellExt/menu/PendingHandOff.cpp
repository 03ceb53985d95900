#include "ShellExt/menu/PendingHandOff.h"

#include <aclapi.h>

#include "ShellExt/menu/SelectionKey.h"

namespace {

const wchar_t kSlotPrefix[] = L"Local\\Kelvoss.Orvane.HandOff.";
// The key's digits, then ".<n>" for the names after the first.
const size_t kSlotNameLength = sizeof(kSlotPrefix) / sizeof(kSlotPrefix[0]) + kSelectionKeyDigits + 2;
// How many names are tried before the slot is given up.
const wchar_t kSlotNameSuffixes[] = L"\0" L"1" L"2" L"3";
const size_t kSlotNames = 4;

void BuildSlotName(uint64_t nKey, size_t nName, wchar_t (&szName)[kSlotNameLength]) noexcept
{
    char16_t szDigits[kSelectionKeyDigits + 1];
    FormatSelectionKey(nKey, szDigits);
    const size_t cchPrefix = sizeof(kSlotPrefix) / sizeof(kSlotPrefix[0]) - 1;
    size_t n = 0;
    for (; n < cchPrefix; ++n)
        szName[n] = kSlotPrefix[n];
    for (size_t i = 0; i < kSelectionKeyDigits; ++i)
        szName[n++] = static_cast<wchar_t>(szDigits[i]);
    if (nName != 0)
    {
        szName[n++] = L'.';
        szName[n++] = kSlotNameSuffixes[nName];
    }
    szName[n] = L'\0';
}

// The user this process runs as.
class CUserSid
{
public:
    CUserSid() noexcept
    {
        HANDLE hToken = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken))
            return;
        CKernelHandle token(hToken);
        DWORD cbNeeded = 0;
        if (::GetTokenInformation(token.Get(), TokenUser, m_buffer, sizeof(m_buffer), &cbNeeded))
            m_pSid = reinterpret_cast<TOKEN_USER*>(m_buffer)->User.Sid;
    }
    PSID Get() const noexcept { return m_pSid; }

private:
    alignas(TOKEN_USER) BYTE m_buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    PSID m_pSid = nullptr;
};

// Owner: the user; access: the user and SYSTEM, nobody else.
class COwnerOnlyDescriptor
{
public:
    explicit COwnerOnlyDescriptor(PSID pUser) noexcept
    {
        DWORD cbSystem = sizeof(m_systemSid);
        m_bValid = pUser != nullptr && ::CreateWellKnownSid(WinLocalSystemSid, nullptr, m_systemSid, &cbSystem) &&
                   ::InitializeAcl(reinterpret_cast<ACL*>(m_acl), sizeof(m_acl), ACL_REVISION) &&
                   ::AddAccessAllowedAce(reinterpret_cast<ACL*>(m_acl), ACL_REVISION, GENERIC_ALL, pUser) &&
                   ::AddAccessAllowedAce(reinterpret_cast<ACL*>(m_acl), ACL_REVISION, GENERIC_ALL, m_systemSid) &&
                   ::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                   ::SetSecurityDescriptorOwner(&m_descriptor, pUser, FALSE) &&
                   ::SetSecurityDescriptorDacl(&m_descriptor, TRUE, reinterpret_cast<ACL*>(m_acl), FALSE);
    }
    SECURITY_ATTRIBUTES* Attributes() noexcept
    {
        m_attributes = {sizeof(m_attributes), &m_descriptor, FALSE};
        return m_bValid ? &m_attributes : nullptr;
    }

private:
    alignas(DWORD) BYTE m_systemSid[SECURITY_MAX_SID_SIZE] = {};
    alignas(DWORD) BYTE m_acl[sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)] = {};
    SECURITY_DESCRIPTOR m_descriptor = {};
    SECURITY_ATTRIBUTES m_attributes = {};
    bool m_bValid = false;
};

bool IsOwnedBy(HANDLE hObject, PSID pUser) noexcept
{
    PSID pOwner = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    if (::GetSecurityInfo(hObject, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &pOwner, nullptr, nullptr, nullptr,
                          &pDescriptor) != ERROR_SUCCESS)
        return false;
    const bool bOwned = pOwner != nullptr && ::EqualSid(pOwner, pUser);
    ::LocalFree(pDescriptor);
    return bOwned;
}

}  // namespace

CHandOffSlot::Outcome CHandOffSlot::Create(uint64_t nKey) noexcept
{
    m_hSlot.Reset();
    const CUserSid user;
    COwnerOnlyDescriptor descriptor(user.Get());
    SECURITY_ATTRIBUTES* pAttributes = descriptor.Attributes();
    // Without the user's own descriptor no slot is made under default
    // security, which others may be granted.
    if (pAttributes == nullptr)
        return Outcome::Failed;
    for (size_t nName = 0; nName < kSlotNames; ++nName)
    {
        wchar_t szName[kSlotNameLength];
        BuildSlotName(nKey, nName, szName);
        CKernelHandle hSlot(::CreateEventW(pAttributes, TRUE, FALSE, szName));
        // Refused (another owner's descriptor, or a name of another kind of
        // object): not ours, try the next name.
        if (!hSlot)
            continue;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
        {
            m_hSlot = std::move(hSlot);
            return Outcome::Created;
        }
        if (IsOwnedBy(hSlot.Get(), user.Get()))
            return Outcome::Existed;
    }
    return Outcome::Failed;
}

uint64_t SelectionKeyOfPaths(const std::vector<std::wstring>& vecPaths) noexcept
{
    CSelectionKey key;
    for (const std::wstring& strPath : vecPaths)
        key.AddPath(reinterpret_cast<const char16_t*>(strPath.c_str()), strPath.size());
    return key.Value();
}
