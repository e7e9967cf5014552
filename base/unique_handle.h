// The one owner of a handle of any kind (a window, a GDI object, an ODBC handle, a file
// descriptor): move-only, it closes its handle exactly once. Traits name the handle's
// empty value and how it is closed:
//   struct FdTraits { static int Invalid() noexcept { return -1; }
//                     static void Close(int fd) noexcept { ::close(fd); } };
//   using UniqueFd = base::UniqueHandle<int, FdTraits>;
// Accessors as std::unique_ptr spells them: get, reset, release, and a test for "owns one".
#pragma once

#include <utility>

namespace base {

template <typename Handle, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) noexcept : h_(h) {}
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, Traits::Invalid()));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Traits::Invalid(); }
    [[nodiscard]] Handle release() noexcept { return std::exchange(h_, Traits::Invalid()); }
    void reset(Handle h = Traits::Invalid()) noexcept {
        if (h_ != Traits::Invalid()) Traits::Close(h_);
        h_ = h;
    }

private:
    Handle h_ = Traits::Invalid();
};

}  // namespace base
