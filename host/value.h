// The values a property bag holds and the conversions the control applies to them,
// with the classic automation coercion rules (numbers round half to even, True is -1).
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "host/font_object.h"

namespace host {

struct Empty {
    bool operator==(const Empty&) const = default;
};

using Value = std::variant<Empty, bool, int16_t, int32_t, double, std::wstring, FontRef>;

bool IsNumeric(const Value& v);                    // bool, int16, int32, double
bool ValuesEqual(const Value& a, const Value& b);  // the bag's "equals its default" test

int32_t ToInt32(const Value& v);  // raises TypeMismatch or Overflow
int16_t ToInt16(const Value& v);
bool ToBool(const Value& v);
double ToDouble(const Value& v);
std::wstring ToText(const Value& v);
FontRef ToFont(const Value& v);  // raises TypeMismatch unless the value is a font

std::wstring TypeName(const Value& v);

}  // namespace host
