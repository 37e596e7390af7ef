// --- Restore point and event log ---
// System Restore through srclient.dll, loaded at run time from System32 as
// its documentation asks, the newest restore point through WMI, and events
// of the Application log.
#include "platform/win32/win32_platform.h"

#include <string>

#include "platform/win32/system_library.h"
#include "platform/win32/windows_api.h"

#include <objbase.h>
#include <srrestoreptapi.h>
#include <wbemidl.h>

namespace vk {

namespace {

using unique_event_source =
    win32::unique_any<HANDLE, decltype(&::DeregisterEventSource), ::DeregisterEventSource>;
// COM and its strings come from ole32 and oleaut32, loaded when first used:
// under Wine their own imports (user32, and its version.dll) would be
// looked for beside the program.
void FreeBstr(BSTR text) {
    if (const auto release = VK_SYSTEM_FUNCTION("oleaut32.dll", SysFreeString)) release(text);
}
BSTR AllocBstr(const wchar_t* text) {
    const auto allocate = VK_SYSTEM_FUNCTION("oleaut32.dll", SysAllocString);
    return allocate != nullptr ? allocate(text) : nullptr;
}
using unique_bstr = win32::unique_any<BSTR, decltype(&FreeBstr), FreeBstr>;

HRESULT LastErrorResult() {
    return HRESULT_FROM_WIN32(::GetLastError());
}

// A COM interface pointer, released once.
template <typename Interface>
struct com_policy {
    using pointer = Interface*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer value) noexcept { value->Release(); }
};
template <typename Interface>
using unique_com = win32::unique_resource<com_policy<Interface>>;

// System Restore calls back into the process that asks for a point, from
// the NetworkService, LocalService and System accounts: COM is started and
// its security set, once for the process, so that they may
// (learn.microsoft.com/windows/win32/sr/using-system-restore). The
// descriptor must be absolute, with an owner and a group.
HRESULT StartComSecurity() {
    const auto initialize = VK_SYSTEM_FUNCTION("ole32.dll", CoInitializeEx);
    const auto initializeSecurity = VK_SYSTEM_FUNCTION("ole32.dll", CoInitializeSecurity);
    if (initialize == nullptr || initializeSecurity == nullptr) return LastErrorResult();
    HRESULT result = initialize(nullptr, COINIT_MULTITHREADED);
    if (FAILED(result) && result != RPC_E_CHANGED_MODE) {
        return result;
    }
    constexpr int kAccounts = 5;
    static const WELL_KNOWN_SID_TYPE kCallers[kAccounts] = {
        WinBuiltinAdministratorsSid, WinLocalServiceSid, WinNetworkServiceSid, WinSelfSid, WinLocalSystemSid};
    alignas(::DWORD) static ::BYTE sids[kAccounts][SECURITY_MAX_SID_SIZE];
    alignas(::DWORD) static ::BYTE
        aclBuffer[sizeof(ACL) + kAccounts * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
    static SECURITY_DESCRIPTOR descriptor;
    ACL* acl = reinterpret_cast<ACL*>(aclBuffer);
    if (!::InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION)) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    for (int i = 0; i < kAccounts; ++i) {
        ::DWORD size = SECURITY_MAX_SID_SIZE;
        if (!::CreateWellKnownSid(kCallers[i], nullptr, sids[i], &size) ||
            !::AddAccessAllowedAce(acl, ACL_REVISION, COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL,
                                   sids[i])) {
            return HRESULT_FROM_WIN32(::GetLastError());
        }
    }
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorOwner(&descriptor, sids[0], FALSE) ||
        !::SetSecurityDescriptorGroup(&descriptor, sids[0], FALSE) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    result = initializeSecurity(&descriptor, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
    // Set already in this process: it cannot be set twice.
    return result == RPC_E_TOO_LATE ? S_OK : result;
}

HRESULT ComSecurity() {
    static const HRESULT result = StartComSecurity();
    return result;
}

}  // namespace

bool Win32Platform::SetRestorePoint(DWORD eventType, DWORD restorePointType, std::int64_t sequenceNumber,
                                    const char* description, std::int64_t* pointSequenceNumber) {
    // System Restore answers for itself when the callbacks it needs are refused.
    static_cast<void>(ComSecurity());
    // Null with the last error set: no srclient.dll (126), or no such entry (127).
    const auto setRestorePoint = VK_SYSTEM_FUNCTION("srclient.dll", SRSetRestorePointW);
    if (setRestorePoint == nullptr) return false;
    RESTOREPOINTINFOW info{};
    info.dwEventType = eventType;
    info.dwRestorePtType = restorePointType;
    info.llSequenceNumber = sequenceNumber;
    const std::wstring text = win32::from_windows1252(description);
    text.copy(info.szDescription, MAX_DESC_W - 1);
    STATEMGRSTATUS status{};
    if (!setRestorePoint(&info, &status)) {
        // A failure without a status is a call that does nothing (Wine's).
        ::SetLastError(status.nStatus != ERROR_SUCCESS ? status.nStatus : ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    if (pointSequenceNumber != nullptr) {
        *pointSequenceNumber = status.llSequenceNumber;
    }
    return true;
}

// The restore points are WMI's SystemRestore instances, in root\default
// (learn.microsoft.com/windows/win32/sr/systemrestore).
bool Win32Platform::GetNewestRestorePoint(bool* exists, std::int64_t* sequenceNumber) {
    const auto failed = [](HRESULT result) {
        ::SetLastError(static_cast<::DWORD>(result));
        return false;
    };
    HRESULT result = ComSecurity();
    if (FAILED(result)) {
        return failed(result);
    }
    const auto createInstance = VK_SYSTEM_FUNCTION("ole32.dll", CoCreateInstance);
    if (createInstance == nullptr) return failed(LastErrorResult());
    unique_com<IWbemLocator> locator;
    result = createInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                            reinterpret_cast<void**>(locator.put()));
    if (FAILED(result)) {
        return failed(result);
    }
    const unique_bstr space(AllocBstr(L"ROOT\\DEFAULT"));
    const unique_bstr language(AllocBstr(L"WQL"));
    const unique_bstr query(AllocBstr(L"SELECT SequenceNumber FROM SystemRestore"));
    if (!space || !language || !query) {
        return failed(E_OUTOFMEMORY);
    }
    unique_com<IWbemServices> services;
    result = locator.get()->ConnectServer(space.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                          services.put());
    if (FAILED(result)) {
        return failed(result);
    }
    // WMI's providers act for the caller; where the proxy takes no blanket
    // (an in-process one) the query still runs.
    if (const auto setBlanket = VK_SYSTEM_FUNCTION("ole32.dll", CoSetProxyBlanket))
        static_cast<void>(setBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                     RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                     EOAC_NONE));
    unique_com<IEnumWbemClassObject> points;
    result = services.get()->ExecQuery(language.get(), query.get(),
                                       WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                       points.put());
    if (FAILED(result)) {
        return failed(result);
    }
    bool any = false;
    std::int64_t newest = 0;
    for (;;) {
        unique_com<IWbemClassObject> point;
        ULONG returned = 0;
        result = points.get()->Next(static_cast<LONG>(WBEM_INFINITE), 1, point.put(), &returned);
        if (FAILED(result)) {
            return failed(result);
        }
        if (result != WBEM_S_NO_ERROR || returned == 0) {
            break;
        }
        const auto clear = VK_SYSTEM_FUNCTION("oleaut32.dll", VariantClear);
        if (clear == nullptr) return failed(LastErrorResult());
        VARIANT value{};  // VT_EMPTY, as VariantInit leaves it
        if (SUCCEEDED(point.get()->Get(L"SequenceNumber", 0, &value, nullptr, nullptr))) {
            // A uint32 property comes as VT_I4.
            if (value.vt == VT_I4 || value.vt == VT_UI4) {
                const std::int64_t number =
                    value.vt == VT_I4 ? static_cast<std::uint32_t>(value.lVal) : value.ulVal;
                newest = any && newest > number ? newest : number;
                any = true;
            }
            clear(&value);
        }
    }
    if (exists != nullptr) {
        *exists = any;
    }
    if (sequenceNumber != nullptr) {
        *sequenceNumber = newest;
    }
    return true;
}

bool Win32Platform::ReportEvent(const char* source, DWORD type, DWORD eventId, const char* text) {
    if (source == nullptr || text == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // The program's texts are Windows-1252; the log keeps characters.
    const std::wstring wideSource = win32::from_windows1252(source);
    const std::wstring wideText = win32::from_windows1252(text);
    ::DWORD error = 0;
    {
        const unique_event_source log(::RegisterEventSourceW(nullptr, wideSource.c_str()));
        if (!log) {
            return false;
        }
        LPCWSTR strings[1] = {wideText.c_str()};
        if (::ReportEventW(log.get(), static_cast<WORD>(type), 0, eventId, nullptr, 1, 0, strings, nullptr)) {
            return true;
        }
        error = ::GetLastError();
    }
    // Deregistering the source may have changed it.
    ::SetLastError(error);
    return false;
}

}  // namespace vk
