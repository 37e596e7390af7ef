// What a backup's journal needs: flushing a file to the disk, and SHA-256
// through CNG. bcrypt.dll is not a KnownDLL and Windows XP has none, so it is
// loaded at run time from System32 only, never by a bare name and never as a
// static import.
#include <memory>
#include <new>
#include <vector>

#include "platform/win32/system_library.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"

#include <bcrypt.h>

namespace vk {

namespace {

using OpenProviderFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseProviderFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using GetPropertyFn = NTSTATUS(WINAPI*)(BCRYPT_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG*, ULONG);
using CreateHashFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG,
                                       ULONG);
using HashDataFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);
using StatusToErrorFn = ULONG(WINAPI*)(NTSTATUS);

template <typename Function>
Function Procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// The SHA-256 provider, opened once for the process; `error` says why it is
// not there.
class Cng {
public:
    Cng() {
        m_module = win32::LoadSystemLibrary("bcrypt.dll");
        if (m_module == nullptr) {
            m_error = ::GetLastError();
            return;
        }
        const auto open = Procedure<OpenProviderFn>(m_module, "BCryptOpenAlgorithmProvider");
        m_close = Procedure<CloseProviderFn>(m_module, "BCryptCloseAlgorithmProvider");
        const auto property = Procedure<GetPropertyFn>(m_module, "BCryptGetProperty");
        createHash = Procedure<CreateHashFn>(m_module, "BCryptCreateHash");
        hashData = Procedure<HashDataFn>(m_module, "BCryptHashData");
        finishHash = Procedure<FinishHashFn>(m_module, "BCryptFinishHash");
        destroyHash = Procedure<DestroyHashFn>(m_module, "BCryptDestroyHash");
        if (!open || !m_close || !property || !createHash || !hashData || !finishHash || !destroyHash) {
            m_error = ERROR_PROC_NOT_FOUND;
            return;
        }
        NTSTATUS status = open(&m_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
        if (status != 0) {
            m_algorithm = nullptr;
            m_error = ErrorOf(status);
            return;
        }
        // Windows 7 and earlier want the hash object's memory from the caller.
        ULONG written = 0;
        status = property(m_algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                          sizeof objectLength, &written, 0);
        if (status != 0) m_error = ErrorOf(status);
    }
    ~Cng() {
        if (m_algorithm != nullptr) m_close(m_algorithm, 0);
        if (m_module != nullptr) ::FreeLibrary(m_module);
    }
    Cng(const Cng&) = delete;
    Cng& operator=(const Cng&) = delete;

    bool Available() const { return m_error == 0; }
    DWORD Error() const { return m_error; }
    BCRYPT_ALG_HANDLE Algorithm() const { return m_algorithm; }

    // The Win32 code for a CNG status, as ntdll translates it.
    static DWORD ErrorOf(NTSTATUS status) {
        static const StatusToErrorFn translate =
            Procedure<StatusToErrorFn>(::GetModuleHandleA("ntdll.dll"), "RtlNtStatusToDosError");
        const DWORD code = translate != nullptr ? translate(status) : ERROR_INVALID_FUNCTION;
        return code != 0 ? code : ERROR_INVALID_FUNCTION;
    }

    CreateHashFn createHash = nullptr;
    HashDataFn hashData = nullptr;
    FinishHashFn finishHash = nullptr;
    DestroyHashFn destroyHash = nullptr;
    ULONG objectLength = 0;

private:
    HMODULE m_module = nullptr;
    CloseProviderFn m_close = nullptr;
    BCRYPT_ALG_HANDLE m_algorithm = nullptr;
    DWORD m_error = 0;
};

const Cng& TheCng() {
    static const Cng cng;
    return cng;
}

// What a HashHandle points at: the CNG hash and the memory it lives in.
struct Sha256 {
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<UCHAR> object;
};

Sha256* Native(HashHandle hash) {
    return win32::to_native<Sha256*>(hash);
}

// A CNG status as the BOOL convention: false with the Win32 code as last error.
bool Succeeded(NTSTATUS status) {
    if (status == 0) return true;
    ::SetLastError(Cng::ErrorOf(status));
    return false;
}

}  // namespace

bool Win32Platform::FlushFileBuffers(FileHandle file) {
    return ::FlushFileBuffers(win32::to_native<HANDLE>(file)) != FALSE;
}

HashHandle Win32Platform::CreateSha256() {
    const Cng& cng = TheCng();
    if (!cng.Available()) {
        ::SetLastError(cng.Error());
        return kNullHashHandle;
    }
    std::unique_ptr<Sha256> hash(new (std::nothrow) Sha256);
    if (!hash) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return kNullHashHandle;
    }
    hash->object.resize(cng.objectLength);
    if (!Succeeded(cng.createHash(cng.Algorithm(), &hash->hash, hash->object.data(),
                                  static_cast<ULONG>(hash->object.size()), nullptr, 0, 0)))
        return kNullHashHandle;
    return win32::to_opaque<HashHandle>(hash.release());
}

bool Win32Platform::HashData(HashHandle hash, const void* data, DWORD size) {
    Sha256* native = Native(hash);
    if (native == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // CNG takes the bytes as non-const but only reads them.
    return Succeeded(TheCng().hashData(native->hash, static_cast<PUCHAR>(const_cast<void*>(data)), size, 0));
}

bool Win32Platform::FinishHash(HashHandle hash, std::uint8_t* digest) {
    Sha256* native = Native(hash);
    if (native == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return Succeeded(TheCng().finishHash(native->hash, digest, kSha256Size, 0));
}

bool Win32Platform::DestroyHash(HashHandle hash) {
    Sha256* native = Native(hash);
    if (native == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const NTSTATUS status = TheCng().destroyHash(native->hash);
    delete native;
    return Succeeded(status);
}

}  // namespace vk
