#pragma once
// One move-only owner per OS handle. Traits give the handle type, its "no handle"
// value and how to close it, so each kind of handle states its own failure value:
//
//   struct KeyTraits { using Type = HKEY; static Type Invalid() { return nullptr; }
//                      static void Close(Type k) { RegCloseKey(k); } };
//   using UniqueKey = UniqueHandle<KeyTraits>;
//
// For the usual case, a handle whose "none" is a null pointer, NullIsNone says it
// in one line: using UniqueKey = UniqueHandle<NullIsNone<HKEY, RegCloseKey>>;
#include <utility>

template <typename T, auto CloseFunction>
struct NullIsNone {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { CloseFunction(handle); }
};

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept : handle_(Traits::Invalid()) {}
    explicit UniqueHandle(Type handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Type get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    /// Gives up ownership without closing.
    Type release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

    /// Closes the handle held (if any) and takes the new one.
    void reset(Type handle = Traits::Invalid()) noexcept {
        Type old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

    /// Closes what is held first, then gives the address to an API that writes a new handle.
    Type* put() noexcept {
        reset();
        return &handle_;
    }

private:
    Type handle_;
};
