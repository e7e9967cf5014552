// Errors a host service or a control operation raises: a number and the description
// text that reaches the container (and, through it, whoever asked).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace host {

// Numbers follow the classic automation run-time errors, so texts stay familiar.
enum class ErrorNumber : int32_t {
    DivisionByZero = 11,
    TypeMismatch = 13,
    Overflow = 6,
    InvalidProcedureCall = 5,
    ObjectRequired = 424,
    NotSupported = 438,  // "Object doesn't support this property or method"
    Platform = 50000,    // a platform call failed; the text carries its message
};

class Error : public std::runtime_error {
public:
    Error(ErrorNumber number, std::wstring description);
    ErrorNumber Number() const noexcept { return number_; }
    const std::wstring& Description() const noexcept { return description_; }

private:
    ErrorNumber number_;
    std::wstring description_;
};

[[noreturn]] void RaiseNotSupported(const std::wstring& member);
[[noreturn]] void RaiseTypeMismatch(const std::wstring& what);

// UTF-8 <-> UTF-16 for what() texts and the design format; platform-neutral.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

// The system's lower case, in every script (not only A-Z): what access keys and
// property-bag keys compare by. On Windows it is CharLowerBuffW; elsewhere the C
// library's Unicode mapping of the C.UTF-8 locale, whatever the process's own locale.
wchar_t LowerCase(wchar_t c);
std::wstring LowerCase(std::wstring_view text);

}  // namespace host
