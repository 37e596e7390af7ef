// Who owns a file or folder and who may write there, links and junctions,
// the program's own security for what it creates, and the account it runs as.
#include "platform/win32/win32_platform.h"

#include <cstring>

#include "platform/win32/windows_api.h"
// After <windows.h>, which declares the types they use.
#include <aclapi.h>
#include <sddl.h>

namespace vk {

namespace {

// Owner Administrators; SYSTEM and Administrators full control, inherited by
// files and folders below; protected, so nothing comes from the folder above.
constexpr const char* kProgramSecurity = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// A security descriptor of the program's own security, freed with LocalFree.
win32::unique_hlocal ProgramSecurityDescriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kProgramSecurity, SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return win32::unique_hlocal();
    }
    return win32::unique_hlocal(descriptor);
}

bool SidText(PSID sid, std::string* text) {
    char* converted = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidA(sid, &converted)) return false;
    const win32::unique_hlocal held(converted);
    *text = converted;
    return true;
}

}  // namespace

FileHandle Win32Platform::CreateFileNoFollow(const char* path, DWORD access, DWORD shareMode,
                                             DWORD disposition, DWORD options) {
    ::DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT;
    if (options & kOpenFolder) flags |= FILE_FLAG_BACKUP_SEMANTICS;
    SECURITY_ATTRIBUTES attributes{};
    win32::unique_hlocal descriptor;
    if (options & kProtectNew) {
        descriptor = ProgramSecurityDescriptor();
        if (!descriptor) return kInvalidFileHandle;
        attributes.nLength = sizeof attributes;
        attributes.lpSecurityDescriptor = descriptor.get();
    }
    const HANDLE file = ::CreateFileA(path, access, shareMode, descriptor ? &attributes : nullptr,
                                      disposition, flags | FILE_ATTRIBUTE_NORMAL, nullptr);
    return win32::to_opaque<FileHandle>(file);
}

bool Win32Platform::GetFileInformationByHandle(FileHandle file, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(win32::to_native<HANDLE>(file), &information)) return false;
    if (identity != nullptr) *identity = {information.dwFileAttributes, information.nNumberOfLinks};
    return true;
}

DWORD Win32Platform::GetSecurityInfo(FileHandle file, SecurityInfo* security) {
    // It returns its code and may leave the last error changed: put back.
    const ::DWORD lastError = ::GetLastError();
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const ::DWORD result = ::GetSecurityInfo(win32::to_native<HANDLE>(file), SE_FILE_OBJECT,
                                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                             nullptr, &dacl, nullptr, &descriptor);
    const win32::unique_hlocal held(descriptor);
    ::DWORD code = result;
    SecurityInfo read;
    if (code == ERROR_SUCCESS && !SidText(owner, &read.ownerSid)) code = ::GetLastError();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    ::DWORD revision = 0;
    if (code == ERROR_SUCCESS && !::GetSecurityDescriptorControl(descriptor, &control, &revision))
        code = ::GetLastError();
    read.daclProtected = (control & SE_DACL_PROTECTED) != 0;
    read.hasDacl = dacl != nullptr;
    for (::DWORD i = 0; code == ERROR_SUCCESS && dacl != nullptr && i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(dacl, i, &raw)) {
            code = ::GetLastError();
            break;
        }
        const auto* header = static_cast<const ACE_HEADER*>(raw);
        AccessEntry entry;
        entry.flags = header->AceFlags;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            // Both have the mask and then the trustee's SID.
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
            entry.kind = header->AceType == ACCESS_ALLOWED_ACE_TYPE ? AccessEntry::Kind::Allowed
                                                                    : AccessEntry::Kind::Denied;
            entry.mask = allowed->Mask;
            if (!SidText(const_cast<::DWORD*>(&allowed->SidStart), &entry.sid)) {
                code = ::GetLastError();
                break;
            }
        } else {
            // Object and callback entries: judged as granting what they may.
            entry.kind = AccessEntry::Kind::Other;
            entry.mask = static_cast<const ACCESS_ALLOWED_ACE*>(raw)->Mask;
        }
        read.dacl.push_back(entry);
    }
    if (code == ERROR_SUCCESS && security != nullptr) *security = read;
    ::SetLastError(lastError);
    return code;
}

bool Win32Platform::CreateProtectedDirectory(const char* path) {
    const win32::unique_hlocal descriptor = ProgramSecurityDescriptor();
    if (!descriptor) return false;
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor.get();
    return ::CreateDirectoryA(path, &attributes) != FALSE;
}

bool Win32Platform::GetVolumeInformation(const char* path, VolumeInfo* volume) {
    char root[MAX_PATH + 1] = {};
    if (!::GetVolumePathNameA(path, root, MAX_PATH)) return false;
    char fileSystem[MAX_PATH + 1] = {};
    ::DWORD flags = 0;
    if (!::GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, fileSystem, MAX_PATH))
        return false;
    if (volume != nullptr) *volume = {fileSystem, flags};
    return true;
}

bool Win32Platform::GetProcessUserSid(std::string* sid) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const win32::unique_handle held(token);
    ::DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    std::string buffer(size, '\0');
    if (!::GetTokenInformation(token, TokenUser, &buffer[0], size, &size)) return false;
    TOKEN_USER user;
    std::memcpy(&user, buffer.data(), sizeof user);
    std::string text;
    if (!SidText(user.User.Sid, &text)) return false;
    if (sid != nullptr) *sid = text;
    return true;
}

}  // namespace vk
