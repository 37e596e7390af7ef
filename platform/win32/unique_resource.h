// A move-only owner of one Windows handle, after WIL's unique_any: each handle
// kind is declared in one line from its type, its close function and its
// empty value. Free of <windows.h> so that it can hold any handle-like type.
#pragma once

namespace vk::win32 {

template <typename Pointer>
constexpr Pointer null_value() noexcept {
    return Pointer();
}

// How one kind of handle is emptied and closed; empty_fn gives the value that
// needs no closing (null for most kinds, INVALID_HANDLE_VALUE for files,
// searches and device-information sets).
template <typename Pointer, typename CloseFn, CloseFn close_fn, Pointer (*empty_fn)() = &null_value<Pointer>>
struct close_policy {
    using pointer = Pointer;
    static pointer invalid() noexcept { return empty_fn(); }
    // The close result is dropped: there is nothing a destructor could do with it.
    static void close(pointer value) noexcept { static_cast<void>(close_fn(value)); }
};

template <typename Policy>
class unique_resource {
public:
    using pointer = typename Policy::pointer;

    unique_resource() noexcept : m_value(Policy::invalid()) {}
    explicit unique_resource(pointer value) noexcept : m_value(value) {}
    unique_resource(unique_resource&& other) noexcept : m_value(other.release()) {}
    unique_resource& operator=(unique_resource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    ~unique_resource() { reset(); }

    pointer get() const noexcept { return m_value; }
    bool is_valid() const noexcept { return m_value != Policy::invalid(); }
    explicit operator bool() const noexcept { return is_valid(); }

    // Closes the held handle (if any) and takes `value` instead.
    void reset(pointer value = Policy::invalid()) noexcept {
        const pointer old = m_value;
        m_value = value;
        if (old != Policy::invalid()) {
            Policy::close(old);
        }
    }

    // Gives up ownership without closing.
    pointer release() noexcept {
        const pointer value = m_value;
        m_value = Policy::invalid();
        return value;
    }

    // For an API that writes a new handle through a pointer: closes the held
    // one first so that nothing leaks.
    pointer* put() noexcept {
        reset();
        return &m_value;
    }

private:
    pointer m_value;
};

template <typename Pointer, typename CloseFn, CloseFn close_fn, Pointer (*empty_fn)() = &null_value<Pointer>>
using unique_any = unique_resource<close_policy<Pointer, CloseFn, close_fn, empty_fn>>;

}  // namespace vk::win32
