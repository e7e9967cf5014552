#include "host/error.h"

namespace host {

void RaiseNotSupported(const std::wstring& member) {
    throw Error(ErrorNumber::NotSupported, L"Object doesn't support this property or method: " + member);
}

void RaiseTypeMismatch(const std::wstring& what) { throw Error(ErrorNumber::TypeMismatch, L"Type mismatch: " + what); }

}  // namespace host
