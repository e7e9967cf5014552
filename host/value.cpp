#include "host/value.h"

#include <cmath>
#include <cwchar>
#include <cwctype>
#include <limits>

#include "base/text.h"
#include "host/error.h"

namespace host {

namespace {

// Numeric text as the classic coercion reads it: optional sign, digits, a decimal part
// and exponent, or &H hex. Anything else is a type mismatch.
double ParseNumber(const std::wstring& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::iswspace(text[b])) ++b;
    while (e > b && std::iswspace(text[e - 1])) --e;
    std::wstring t = text.substr(b, e - b);
    if (t.empty()) RaiseTypeMismatch(L"empty text is not a number");
    if (t.size() > 2 && t[0] == L'&' && (t[1] == L'H' || t[1] == L'h')) {
        uint64_t n = 0;
        size_t i = 2;
        for (; i < t.size(); ++i) {
            wchar_t c = t[i];
            int d = (c >= L'0' && c <= L'9')   ? c - L'0'
                    : (c >= L'a' && c <= L'f') ? c - L'a' + 10
                    : (c >= L'A' && c <= L'F') ? c - L'A' + 10
                                               : -1;
            if (d < 0) break;
            n = n * 16 + static_cast<uint64_t>(d);
            if (n > 0xFFFFFFFFull) throw Error(ErrorNumber::Overflow, L"Overflow");
        }
        if (i < t.size() && t[i] == L'&' && i + 1 == t.size()) ++i;
        if (i != t.size()) RaiseTypeMismatch(L"'" + text + L"' is not a number");
        return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(n)));
    }
    size_t i = 0;
    if (t[i] == L'+' || t[i] == L'-') ++i;
    bool digits = false;
    while (i < t.size() && std::iswdigit(t[i])) {
        ++i;
        digits = true;
    }
    if (i < t.size() && t[i] == L'.') {
        ++i;
        while (i < t.size() && std::iswdigit(t[i])) {
            ++i;
            digits = true;
        }
    }
    if (digits && i < t.size() && (t[i] == L'e' || t[i] == L'E')) {
        size_t j = i + 1;
        if (j < t.size() && (t[j] == L'+' || t[j] == L'-')) ++j;
        bool expDigits = false;
        while (j < t.size() && std::iswdigit(t[j])) {
            ++j;
            expDigits = true;
        }
        if (expDigits) i = j;
    }
    if (!digits || i != t.size()) RaiseTypeMismatch(L"'" + text + L"' is not a number");
    const double d = std::wcstod(t.c_str(), nullptr);
    if (!std::isfinite(d)) throw Error(ErrorNumber::Overflow, L"Overflow");  // "1e999"
    return d;
}

double RoundHalfEven(double x) { return std::nearbyint(x); }  // default rounding mode: to even

template <typename Int>
Int ToInteger(const Value& v) {
    double d = ToDouble(v);
    if (!std::isfinite(d)) throw Error(ErrorNumber::Overflow, L"Overflow");
    d = RoundHalfEven(d);
    if (d < static_cast<double>(std::numeric_limits<Int>::min()) ||
        d > static_cast<double>(std::numeric_limits<Int>::max()))
        throw Error(ErrorNumber::Overflow, L"Overflow");
    return static_cast<Int>(d);
}

}  // namespace

bool IsNumeric(const Value& v) {
    return std::holds_alternative<bool>(v) || std::holds_alternative<int16_t>(v) ||
           std::holds_alternative<int32_t>(v) || std::holds_alternative<double>(v);
}

bool ValuesEqual(const Value& a, const Value& b) {
    if (IsNumeric(a) && IsNumeric(b)) return ToDouble(a) == ToDouble(b);
    if (std::holds_alternative<std::wstring>(a) && std::holds_alternative<std::wstring>(b))
        return std::get<std::wstring>(a) == std::get<std::wstring>(b);
    if (std::holds_alternative<Empty>(a) && std::holds_alternative<Empty>(b)) return true;
    // A font never equals a text default (the control passes "Verdana" as the font's
    // default), so a font is always stored.
    if (std::holds_alternative<FontRef>(a) && std::holds_alternative<FontRef>(b))
        return std::get<FontRef>(a) == std::get<FontRef>(b);
    return false;
}

double ToDouble(const Value& v) {
    if (auto p = std::get_if<bool>(&v)) return *p ? -1.0 : 0.0;
    if (auto p = std::get_if<int16_t>(&v)) return *p;
    if (auto p = std::get_if<int32_t>(&v)) return *p;
    if (auto p = std::get_if<double>(&v)) return *p;
    if (auto p = std::get_if<std::wstring>(&v)) return ParseNumber(*p);
    if (std::holds_alternative<Empty>(v)) return 0.0;
    RaiseTypeMismatch(L"a " + TypeName(v) + L" is not a number");
}

int32_t ToInt32(const Value& v) { return ToInteger<int32_t>(v); }
int16_t ToInt16(const Value& v) { return ToInteger<int16_t>(v); }

bool ToBool(const Value& v) {
    if (auto p = std::get_if<bool>(&v)) return *p;
    if (auto p = std::get_if<std::wstring>(&v)) {
        // "True" and "False" in any case, with spaces around them but not inside.
        const std::wstring_view t = base::Trim(*p);
        if (base::EqualsIgnoringCase(t, L"true")) return true;
        if (base::EqualsIgnoringCase(t, L"false")) return false;
    }
    return ToDouble(v) != 0.0;
}

std::wstring ToText(const Value& v) {
    if (auto p = std::get_if<std::wstring>(&v)) return *p;
    if (auto p = std::get_if<bool>(&v)) return *p ? L"True" : L"False";
    if (auto p = std::get_if<int16_t>(&v)) return std::to_wstring(*p);
    if (auto p = std::get_if<int32_t>(&v)) return std::to_wstring(*p);
    if (auto p = std::get_if<double>(&v)) {
        wchar_t buf[64];
        std::swprintf(buf, 64, L"%.15g", *p);
        return buf;
    }
    if (std::holds_alternative<Empty>(v)) return L"";
    if (auto p = std::get_if<FontRef>(&v)) {
        if (*p) return (*p)->Name();  // a font's default property is its name
    }
    RaiseTypeMismatch(L"a " + TypeName(v) + L" is not text");
}

FontRef ToFont(const Value& v) {
    if (auto p = std::get_if<FontRef>(&v); p && *p) return *p;
    RaiseTypeMismatch(L"a " + TypeName(v) + L" is not a font");
}

std::wstring TypeName(const Value& v) {
    switch (v.index()) {
        case 0:
            return L"Empty";
        case 1:
            return L"Boolean";
        case 2:
            return L"Integer";
        case 3:
            return L"Long";
        case 4:
            return L"Double";
        case 5:
            return L"String";
        default:
            return L"Font";
    }
}

}  // namespace host
