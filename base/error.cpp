#include "base/error.h"

#include "base/text.h"

namespace base {

Error::Error(std::wstring description)
    : std::runtime_error(ToUtf8(description)), description_(std::move(description)) {}

std::wstring Describe(const std::exception& e) {
    if (const auto* error = dynamic_cast<const Error*>(&e)) return error->Description();
    return FromUtf8(e.what());
}

}  // namespace base
