#include "host/property_bag.h"

#include <algorithm>

#include "base/text.h"
#include "host/error.h"

namespace host {

std::wstring PropertyBag::NormalizeKey(std::wstring_view key) {
    return base::LowerCase(key);  // the mapping access keys use, in every script
}

Value PropertyBag::Stored(const Value& value) {
    // Keep a snapshot of a font, so later changes to the control's font object do not
    // alter what was saved.
    if (auto f = std::get_if<FontRef>(&value); f && *f) return (*f)->Clone();
    return value;
}

std::vector<PropertyBag::Entry>::iterator PropertyBag::Find(std::wstring_view key) {
    const std::wstring k = NormalizeKey(key);
    return std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.first == k; });
}

std::vector<PropertyBag::Entry>::const_iterator PropertyBag::Find(std::wstring_view key) const {
    const std::wstring k = NormalizeKey(key);
    return std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.first == k; });
}

Value PropertyBag::ReadProperty(std::wstring_view key, const Value& defaultValue) const {
    auto it = Find(key);
    if (it == entries_.end()) return defaultValue;
    return Stored(it->second);  // a font comes back as a new object with the same attributes
}

void PropertyBag::WriteProperty(std::wstring_view key, const Value& value, const Value& defaultValue) {
    if (!ValuesEqual(value, defaultValue)) {
        Set(key, value);
        return;
    }
    auto it = Find(key);
    if (it != entries_.end()) entries_.erase(it);
}

void PropertyBag::Set(std::wstring_view key, const Value& value) {
    auto it = Find(key);
    if (it != entries_.end())
        it->second = Stored(value);
    else
        entries_.emplace_back(NormalizeKey(key), Stored(value));
}

bool PropertyBag::Contains(std::wstring_view key) const { return Find(key) != entries_.end(); }

}  // namespace host
