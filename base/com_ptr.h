// The one owner of a COM interface pointer: it holds one reference and releases it once.
// Move-only; put() hands its slot to a function that returns a new reference.
#pragma once

#include <utility>

namespace base {

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over one reference the caller already holds.
    explicit ComPtr(Interface* p) noexcept : p_(p) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) reset(std::exchange(o.p_, nullptr));
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    Interface* get() const noexcept { return p_; }
    Interface* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // Releases what it holds and lends its slot for an out-parameter.
    Interface** put() noexcept {
        reset();
        return &p_;
    }
    [[nodiscard]] Interface* release() noexcept { return std::exchange(p_, nullptr); }
    void reset(Interface* p = nullptr) noexcept {
        if (p_) p_->Release();
        p_ = p;
    }

private:
    Interface* p_ = nullptr;
};

}  // namespace base
