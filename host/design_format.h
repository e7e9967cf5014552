// The stored design of a form: a tree of objects, each with its kind, name and a
// property bag. Text format, UTF-8:
//
//   Begin Form Form1
//     caption = "Dorvane"
//     Begin XPButton2 Command2
//       caption = "打开数据库文件"
//       font = Font("Verdana", 8.25, 400, False, False, False, False, 0)
//     End
//   End
//
// Values: "text" (a doubled quote inside stands for one), True / False, whole numbers
// (12 is a Long, 12% an Integer, &H0000FF& a Long in hex), numbers with a decimal point
// or a # suffix (Double), and Font(name, size, weight, bold, italic, underline,
// strikethrough, charset). Lines starting with ' or # are comments. A text value stays on
// its line, so it cannot hold a line break.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/property_bag.h"

namespace host {

struct DesignNode {
    std::wstring Kind;
    std::wstring Name;
    PropertyBag Properties;
    std::vector<DesignNode> Children;

    const DesignNode* FindChild(std::wstring_view name) const;
};

// Raises host::Error (TypeMismatch) naming the line on malformed input.
DesignNode ParseDesign(std::string_view utf8);
// Raises host::Error (InvalidProcedureCall) for what the format cannot hold: a text with a
// line break, a number that is not finite, a kind, name or key that is not one word.
std::string WriteDesign(const DesignNode& root);

// One value in the design's notation, for tests and diagnostics.
Value ParseDesignValue(std::wstring_view text);
std::wstring FormatDesignValue(const Value& value);

}  // namespace host
