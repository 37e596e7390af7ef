// Owner of one zero-filled block of the platform's process heap.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace vk {

class HeapBlock {
public:
    HeapBlock() = default;
    // Allocates `size` zero-filled bytes; present() is false if the heap refused.
    HeapBlock(IHeap& heap, std::size_t size);
    ~HeapBlock();
    HeapBlock(HeapBlock&& other) noexcept;
    HeapBlock& operator=(HeapBlock&& other) noexcept;
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    // A block holding `text` up to its first zero byte but never past `length`
    // bytes, plus a terminator; at least one byte.
    static HeapBlock CopyText(IHeap& heap, const char* text, std::size_t length, std::size_t blockSize);
    // A new empty string (a one-byte block).
    static HeapBlock EmptyString(IHeap& heap);

    bool present() const { return m_data != nullptr; }
    void* get() const { return m_data; }
    char* chars() const { return static_cast<char*>(m_data); }
    // The block's text; an absent block reads as the empty string.
    const char* text() const { return m_data ? static_cast<const char*>(m_data) : ""; }
    std::size_t size() const { return m_size; }
    // Grows or shrinks the block (new bytes zero). False, block unchanged, if refused.
    bool Resize(std::size_t size);
    void reset();

private:
    IHeap* m_heap = nullptr;
    void* m_data = nullptr;
    std::size_t m_size = 0;
};

}  // namespace vk
