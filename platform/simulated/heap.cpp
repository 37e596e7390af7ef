// The simulated process heap: zero-filled blocks, counted for leak and
// peak checks.
#include <cstdlib>
#include <cstring>

#include "platform/simulated/state.h"

namespace vk::sim {

void* SimulatedWorkstation::HeapAlloc(std::size_t size) {
    if (m_state->Injected("HeapAlloc", std::to_string(size))) return nullptr;
    void* block = std::calloc(size == 0 ? 1 : size, 1);
    if (!block) return m_state->Error(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    m_state->heap[block] = size;
    m_state->HeapGrew(size);
    return block;
}

void* SimulatedWorkstation::HeapReAlloc(void* block, std::size_t size) {
    if (m_state->Injected("HeapReAlloc", std::to_string(size))) return nullptr;
    auto it = m_state->heap.find(block);
    if (it == m_state->heap.end()) return m_state->Error(ERROR_INVALID_PARAMETER, nullptr);
    std::size_t old = it->second;
    void* grown = std::realloc(block, size == 0 ? 1 : size);
    if (!grown) return m_state->Error(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    m_state->heap.erase(it);
    if (size > old) std::memset(static_cast<char*>(grown) + old, 0, size - old);
    m_state->heap[grown] = size;
    m_state->heapBytes -= old;
    m_state->HeapGrew(size);
    return grown;
}

bool SimulatedWorkstation::HeapFree(void* block) {
    if (m_state->Injected("HeapFree", "")) return false;
    auto it = m_state->heap.find(block);
    if (it == m_state->heap.end()) {
        // A double free or a foreign pointer: caught here rather than crashing.
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    std::free(block);
    m_state->heapBytes -= it->second;
    m_state->heap.erase(it);
    return true;
}

}  // namespace vk::sim
