// What a backup's journal relies on in the simulated workstation: flushing
// files to the disk, SHA-256 (OpenSSL's libcrypto standing in for CNG), and
// a process that dies part-way, with or without the power going too.
#include <openssl/evp.h>

#include <cstdlib>

#include "platform/simulated/state.h"

namespace vk::sim {

namespace {

EVP_MD_CTX* Context(const std::shared_ptr<void>& hash) {
    return static_cast<EVP_MD_CTX*>(hash.get());
}

}  // namespace

bool SimulatedWorkstation::FlushFileBuffers(FileHandle fileHandle) {
    if (m_state->Injected("FlushFileBuffers", m_state->PathOf(fileHandle))) return false;
    auto it = m_state->openFiles.find(static_cast<std::uintptr_t>(fileHandle));
    if (it == m_state->openFiles.end()) return m_state->Error(ERROR_INVALID_HANDLE, false);
    // The handle must be one that may write (GENERIC_WRITE, or appending).
    if (!(it->second.access & (GENERIC_WRITE | kGenericAll | kFileWriteData | kFileAppendData)))
        return m_state->Error(ERROR_ACCESS_DENIED, false);
    File* file = it->second.file;
    file->durable = file->content;
    m_state->calls.push_back("FlushFileBuffers " + file->path);
    return true;
}

HashHandle SimulatedWorkstation::CreateSha256() {
    if (m_state->Injected("CreateSha256", "")) return kNullHashHandle;
    std::shared_ptr<void> context(EVP_MD_CTX_new(),
                                  [](void* c) { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(c)); });
    if (!context || EVP_DigestInit_ex(Context(context), EVP_sha256(), nullptr) != 1)
        return m_state->Error(ERROR_NOT_ENOUGH_MEMORY, kNullHashHandle);
    const std::uintptr_t handle = m_state->NewHandle();
    m_state->hashes[handle] = std::move(context);
    return static_cast<HashHandle>(handle);
}

bool SimulatedWorkstation::HashData(HashHandle hash, const void* data, DWORD size) {
    if (m_state->Injected("HashData", std::to_string(size))) return false;
    auto it = m_state->hashes.find(static_cast<std::uintptr_t>(hash));
    if (it == m_state->hashes.end() || !it->second) return m_state->Error(ERROR_INVALID_HANDLE, false);
    if (!data && size > 0) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    if (size > 0 && EVP_DigestUpdate(Context(it->second), data, size) != 1)
        return m_state->Error(ERROR_INVALID_PARAMETER, false);
    return true;
}

bool SimulatedWorkstation::FinishHash(HashHandle hash, std::uint8_t* digest) {
    if (m_state->Injected("FinishHash", "")) return false;
    auto it = m_state->hashes.find(static_cast<std::uintptr_t>(hash));
    // A finished hash takes nothing more, as CNG's (STATUS_INVALID_HANDLE).
    if (it == m_state->hashes.end() || !it->second) return m_state->Error(ERROR_INVALID_HANDLE, false);
    if (!digest) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(Context(it->second), digest, &length) != 1 || length != kSha256Size)
        return m_state->Error(ERROR_INVALID_PARAMETER, false);
    it->second.reset();
    return true;
}

bool SimulatedWorkstation::DestroyHash(HashHandle hash) {
    if (m_state->Injected("DestroyHash", "")) return false;
    if (m_state->hashes.erase(static_cast<std::uintptr_t>(hash)) == 0)
        return m_state->Error(ERROR_INVALID_HANDLE, false);
    return true;
}

void SimulatedWorkstation::KillAfterCall(std::size_t calls, bool powerCut) {
    m_state->callsBeforeKill = calls;
    m_state->killed = false;
    m_state->powerCut = powerCut;
}

bool SimulatedWorkstation::Killed() const {
    return m_state->killed;
}

void SimulatedWorkstation::StartNewProcess() {
    State& state = *m_state;
    if (state.powerCut) {
        for (auto& file : state.files) {
            if (file->content == file->durable) continue;
            std::string onDisk = file->durable;
            onDisk.resize(file->content.size(), '\0');
            file->content = onDisk;
            file->durable = onDisk;
        }
        for (auto move = state.volatileMoves.rbegin(); move != state.volatileMoves.rend(); ++move) {
            File* file = move->first;
            bool live = false;
            for (auto& f : state.files) live = live || f.get() == file;
            if (!live || state.FindFileEntry(move->second)) continue;
            state.fileIndex.erase(Upper(file->path));
            file->path = move->second;
            state.fileIndex[Upper(file->path)] = file;
        }
    }
    state.volatileMoves.clear();
    // Every handle of the dead process is closed: a service's last one lets
    // a service marked for deletion go.
    std::vector<Service*> held;
    for (const auto& open : state.scHandles) {
        if (open.second.service) held.push_back(open.second.service);
    }
    state.scHandles.clear();
    for (Service* service : held) state.ReleaseService(service);
    state.sets.clear();
    state.setMembers.clear();
    state.openKeys.clear();
    state.searches.clear();
    state.openFiles.clear();
    state.hashes.clear();
    for (auto& block : state.heap) std::free(block.first);
    state.heap.clear();
    state.heapBytes = 0;
    state.lastError = 0;
    state.callsBeforeKill = SIZE_MAX;
    state.killed = false;
    state.powerCut = false;
}

}  // namespace vk::sim
