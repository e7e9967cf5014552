// The container's property bag: stored entries of one control instance, keyed without
// regard to case (kept in lower case), a value equal to its default left out, fonts
// stored whole (a snapshot of their attributes) and read back as a new font object.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/value.h"

namespace host {

class PropertyBag {
public:
    using Entry = std::pair<std::wstring, Value>;

    Value ReadProperty(std::wstring_view key, const Value& defaultValue) const;
    void WriteProperty(std::wstring_view key, const Value& value, const Value& defaultValue);

    // Host side: entries as stored, in the order they were first written.
    void Set(std::wstring_view key, const Value& value);
    bool Contains(std::wstring_view key) const;
    const std::vector<Entry>& Entries() const { return entries_; }
    void Clear() { entries_.clear(); }

    static std::wstring NormalizeKey(std::wstring_view key);

private:
    static Value Stored(const Value& value);
    std::vector<Entry>::iterator Find(std::wstring_view key);
    std::vector<Entry>::const_iterator Find(std::wstring_view key) const;

    std::vector<Entry> entries_;
};

}  // namespace host
