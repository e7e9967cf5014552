// The root of every error an operator may read: the description text, shown as it
// stands, and its UTF-8 form as what(). host::Error and db::Error derive from it, so one
// handler catches a failure of any layer.
#pragma once

#include <stdexcept>
#include <string>

namespace base {

class Error : public std::runtime_error {
public:
    explicit Error(std::wstring description);
    const std::wstring& Description() const noexcept { return description_; }

private:
    std::wstring description_;
};

// The text an operator reads for any exception: an Error's description, or the UTF-8
// what() of anything else (std::bad_alloc, say).
std::wstring Describe(const std::exception& e);

}  // namespace base
