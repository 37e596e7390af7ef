#include "platform/heap_block.h"

#include <cstring>
#include <utility>

namespace vk {

HeapBlock::HeapBlock(IHeap& heap, std::size_t size) : m_heap(&heap), m_data(heap.HeapAlloc(size)) {
    m_size = m_data ? size : 0;
}

HeapBlock::~HeapBlock() { reset(); }

HeapBlock::HeapBlock(HeapBlock&& other) noexcept
    : m_heap(other.m_heap), m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

HeapBlock& HeapBlock::operator=(HeapBlock&& other) noexcept {
    if (this != &other) {
        reset();
        m_heap = other.m_heap;
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

HeapBlock HeapBlock::CopyText(IHeap& heap, const char* text, std::size_t length, std::size_t blockSize) {
    // Never read past the reported data, and keep room for the terminator
    // even when the reported size is 0.
    std::size_t copied = 0;
    while (copied < length && text[copied] != '\0') ++copied;
    if (blockSize < copied + 1) blockSize = copied + 1;
    HeapBlock block(heap, blockSize);
    if (block.present()) std::memcpy(block.m_data, text, copied);
    return block;
}

HeapBlock HeapBlock::EmptyString(IHeap& heap) { return HeapBlock(heap, 1); }

bool HeapBlock::Resize(std::size_t size) {
    if (!m_heap) return false;
    if (!m_data) {
        m_data = m_heap->HeapAlloc(size);
        m_size = m_data ? size : 0;
        return m_data != nullptr;
    }
    void* grown = m_heap->HeapReAlloc(m_data, size);
    if (!grown) return false;
    m_data = grown;
    m_size = size;
    return true;
}

void HeapBlock::reset() {
    if (m_data && m_heap) m_heap->HeapFree(m_data);
    m_data = nullptr;
    m_size = 0;
}

}  // namespace vk
