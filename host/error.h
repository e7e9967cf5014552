// Errors a host service or a control operation raises: a number and the description
// text that reaches the container (and, through it, whoever asked).
#pragma once

#include <cstdint>
#include <string>

#include "base/error.h"

namespace host {

// Numbers follow the classic automation run-time errors, so texts stay familiar.
enum class ErrorNumber : int32_t {
    TypeMismatch = 13,
    Overflow = 6,
    InvalidProcedureCall = 5,
    ObjectRequired = 424,
    NotSupported = 438,  // "Object doesn't support this property or method"
    Platform = 50000,    // a platform call failed; the text carries its message
};

class Error : public base::Error {
public:
    Error(ErrorNumber number, std::wstring description) : base::Error(std::move(description)), number_(number) {}
    ErrorNumber Number() const noexcept { return number_; }

private:
    ErrorNumber number_;
};

[[noreturn]] void RaiseNotSupported(const std::wstring& member);
[[noreturn]] void RaiseTypeMismatch(const std::wstring& what);

}  // namespace host
