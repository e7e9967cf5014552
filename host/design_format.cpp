#include "host/design_format.h"

#include <cmath>
#include <cwchar>
#include <cwctype>

#include "base/text.h"
#include "host/error.h"

namespace host {

namespace {

constexpr size_t kMaxDepth = 32;

[[noreturn]] void Malformed(size_t line, const std::wstring& what) {
    throw Error(ErrorNumber::TypeMismatch, L"Form design, line " + std::to_wstring(line) + L": " + what);
}

using base::Trim;

// Reads values left to right; used for a whole value and for Font(...) arguments.
class ValueReader {
public:
    explicit ValueReader(std::wstring_view text) : s_(text) {}

    Value ReadValue() {
        SkipSpace();
        if (AtEnd()) Fail(L"a value is missing");
        if (s_[pos_] == L'"') return ReadText();
        if (MatchWord(L"Font")) return ReadFont();
        if (MatchWord(L"True")) return true;
        if (MatchWord(L"False")) return false;
        return ReadNumber();
    }

    void ExpectEnd() {
        SkipSpace();
        if (!AtEnd()) Fail(L"unexpected text after the value");
    }

private:
    bool AtEnd() const { return pos_ >= s_.size(); }
    void SkipSpace() {
        while (!AtEnd() && std::iswspace(s_[pos_])) ++pos_;
    }
    [[noreturn]] void Fail(const std::wstring& what) const { RaiseTypeMismatch(what); }

    bool MatchWord(std::wstring_view word) {
        if (s_.size() - pos_ < word.size()) return false;
        if (!base::EqualsIgnoringCase(s_.substr(pos_, word.size()), word)) return false;
        size_t end = pos_ + word.size();
        if (end < s_.size() && (std::iswalnum(s_[end]) || s_[end] == L'_')) return false;
        pos_ = end;
        return true;
    }

    std::wstring ReadText() {
        std::wstring out;
        ++pos_;  // opening quote
        for (;;) {
            if (AtEnd()) Fail(L"a text value has no closing quote");
            wchar_t c = s_[pos_++];
            if (c == L'"') {
                if (!AtEnd() && s_[pos_] == L'"') {
                    out += L'"';
                    ++pos_;
                    continue;
                }
                return out;
            }
            out += c;
        }
    }

    Value ReadNumber() {
        size_t start = pos_;
        while (!AtEnd() && (std::iswalnum(s_[pos_]) || s_[pos_] == L'.' || s_[pos_] == L'-' || s_[pos_] == L'+' ||
                            s_[pos_] == L'&' || s_[pos_] == L'%' || s_[pos_] == L'#'))
            ++pos_;
        std::wstring token(s_.substr(start, pos_ - start));
        if (token.empty()) Fail(L"'" + std::wstring(s_.substr(start, 1)) + L"' does not start a value");
        wchar_t suffix = token.back();
        bool isHex = token.size() > 2 && token[0] == L'&' && (token[1] == L'H' || token[1] == L'h');
        if (suffix == L'%') {
            token.pop_back();
            return ToInt16(Value(token));
        }
        if (suffix == L'#') {
            token.pop_back();
            return ToDouble(Value(token));
        }
        if (isHex) return ToInt32(Value(token));  // &H...& is a Long
        if (suffix == L'&') token.pop_back();
        if (token.find_first_of(L".eE") != std::wstring::npos) return ToDouble(Value(token));
        return ToInt32(Value(token));
    }

    Value ReadFont() {
        SkipSpace();
        if (AtEnd() || s_[pos_] != L'(') Fail(L"Font needs its attributes in brackets");
        ++pos_;
        std::vector<Value> args;
        for (;;) {
            args.push_back(ReadValue());
            SkipSpace();
            if (AtEnd()) Fail(L"Font(...) is not closed");
            if (s_[pos_] == L',') {
                ++pos_;
                if (args.size() >= 8) Fail(L"Font takes eight attributes");
                continue;
            }
            if (s_[pos_] == L')') {
                ++pos_;
                break;
            }
            Fail(L"Font attributes are separated by commas");
        }
        if (args.size() != 8) Fail(L"Font takes eight attributes");
        FontDesc d;
        d.Name = ToText(args[0]);
        d.Size = ToDouble(args[1]);
        if (!(d.Size > 0 && d.Size <= 2160)) Fail(L"font size out of range");
        d.Weight = ToInt16(args[2]);
        d.Bold = ToBool(args[3]);
        d.Italic = ToBool(args[4]);
        d.Underline = ToBool(args[5]);
        d.Strikethrough = ToBool(args[6]);
        d.Charset = ToInt16(args[7]);
        return FontObject::Create(d);
    }

    std::wstring_view s_;
    size_t pos_ = 0;
};

bool IsIdentifier(std::wstring_view s) {
    if (s.empty()) return false;
    for (wchar_t c : s)
        if (!(std::iswalnum(c) || c == L'_' || c > 0x7F)) return false;
    return true;
}

[[noreturn]] void Unwritable(const std::wstring& what) {
    throw Error(ErrorNumber::InvalidProcedureCall, L"Form design: " + what);
}

// The reader splits lines at LF alone; a CR inside a text reads back as it was written.
bool HasLineBreak(const std::wstring& text) { return text.find(L'\n') != std::wstring::npos; }

// The reader takes the design line by line and word by word, so whatever would not come
// back the same is refused here instead of being written as a design that fails to load.
void CheckWritable(const std::wstring& key, const Value& value) {
    if (!IsIdentifier(key)) Unwritable(L"'" + key + L"' is not a property name");
    if (auto p = std::get_if<std::wstring>(&value); p && HasLineBreak(*p))
        Unwritable(L"the text of " + key + L" holds a line break");
    if (auto p = std::get_if<FontRef>(&value); p && *p && HasLineBreak((*p)->Name()))
        Unwritable(L"the text of " + key + L" holds a line break");
    if (auto p = std::get_if<double>(&value); p && !std::isfinite(*p)) Unwritable(key + L" is not a finite number");
}

void WriteNode(const DesignNode& node, int depth, std::wstring& out) {
    if (!IsIdentifier(node.Kind) || !IsIdentifier(node.Name))
        Unwritable(L"'" + node.Kind + L" " + node.Name + L"' is not a kind and a name");
    const std::wstring indent(static_cast<size_t>(depth) * 2, L' ');
    out += indent + L"Begin " + node.Kind + L" " + node.Name + L"\n";
    for (const auto& [key, value] : node.Properties.Entries()) {
        CheckWritable(key, value);
        out += indent + L"  " + key + L" = " + FormatDesignValue(value) + L"\n";
    }
    for (const auto& child : node.Children) WriteNode(child, depth + 1, out);
    out += indent + L"End\n";
}

}  // namespace

const DesignNode* DesignNode::FindChild(std::wstring_view name) const {
    for (const auto& c : Children)
        if (base::EqualsIgnoringCase(c.Name, name)) return &c;
    return nullptr;
}

Value ParseDesignValue(std::wstring_view text) {
    ValueReader r(text);
    Value v = r.ReadValue();
    r.ExpectEnd();
    return v;
}

std::wstring FormatDesignValue(const Value& value) {
    if (auto p = std::get_if<std::wstring>(&value)) {
        return L"\"" + base::DoubleQuotes(*p, L'"') + L"\"";
    }
    if (auto p = std::get_if<bool>(&value)) return *p ? L"True" : L"False";
    if (auto p = std::get_if<int16_t>(&value)) return std::to_wstring(*p) + L"%";
    if (auto p = std::get_if<int32_t>(&value)) return std::to_wstring(*p);
    if (auto p = std::get_if<double>(&value)) {
        wchar_t buf[64];
        std::swprintf(buf, 64, L"%.17g", *p);
        return std::wstring(buf) + L"#";
    }
    if (auto p = std::get_if<FontRef>(&value); p && *p) {
        const FontDesc& d = (*p)->Desc();
        return L"Font(" + FormatDesignValue(d.Name) + L", " + FormatDesignValue(d.Size) + L", " +
               FormatDesignValue(d.Weight) + L", " + FormatDesignValue(d.Bold) + L", " + FormatDesignValue(d.Italic) +
               L", " + FormatDesignValue(d.Underline) + L", " + FormatDesignValue(d.Strikethrough) + L", " +
               FormatDesignValue(d.Charset) + L")";
    }
    return L"\"\"";  // Empty is stored as empty text
}

DesignNode ParseDesign(std::string_view utf8) {
    if (utf8.size() >= 3 && utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
    const std::wstring text = base::FromUtf8(utf8);
    std::vector<DesignNode> stack;
    bool haveRoot = false;
    DesignNode root;
    size_t lineNo = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t eol = text.find(L'\n', pos);
        if (eol == std::wstring::npos) eol = text.size();
        std::wstring_view line = Trim(std::wstring_view(text).substr(pos, eol - pos));
        pos = eol + 1;
        ++lineNo;
        if (line.empty() || line[0] == L'\'' || line[0] == L'#') {
            if (eol == text.size()) break;
            continue;
        }
        // "key = value" is a property even when the key reads "Begin" or "End": a Begin
        // line has no "=", since kinds and names are single words.
        const size_t eqPos = line.find(L'=');
        const bool isProperty = eqPos != std::wstring_view::npos && IsIdentifier(Trim(line.substr(0, eqPos)));
        if (!isProperty && line.size() > 6 && base::EqualsIgnoringCase(line.substr(0, 6), L"Begin ")) {
            std::wstring_view rest = Trim(line.substr(6));
            size_t sp = rest.find_first_of(L" \t");
            if (sp == std::wstring_view::npos) Malformed(lineNo, L"Begin needs a kind and a name");
            std::wstring_view kind = rest.substr(0, sp), name = Trim(rest.substr(sp));
            if (!IsIdentifier(kind) || !IsIdentifier(name)) Malformed(lineNo, L"bad kind or name");
            if (haveRoot && stack.empty()) Malformed(lineNo, L"only one top-level object is allowed");
            if (stack.size() >= kMaxDepth) Malformed(lineNo, L"objects nested too deeply");
            DesignNode node;
            node.Kind = kind;
            node.Name = name;
            stack.push_back(std::move(node));
            haveRoot = true;
        } else if (!isProperty && base::EqualsIgnoringCase(line, L"End")) {
            if (stack.empty()) Malformed(lineNo, L"End without Begin");
            DesignNode done = std::move(stack.back());
            stack.pop_back();
            if (stack.empty())
                root = std::move(done);
            else
                stack.back().Children.push_back(std::move(done));
        } else {
            if (stack.empty()) Malformed(lineNo, L"a property outside any object");
            size_t eq = line.find(L'=');
            if (eq == std::wstring_view::npos) Malformed(lineNo, L"a property needs '='");
            std::wstring_view key = Trim(line.substr(0, eq));
            if (!IsIdentifier(key)) Malformed(lineNo, L"bad property name");
            try {
                stack.back().Properties.Set(key, ParseDesignValue(line.substr(eq + 1)));
            } catch (const Error& e) {
                Malformed(lineNo, e.Description());
            }
        }
        if (eol == text.size()) break;
    }
    if (!stack.empty()) Malformed(lineNo, L"Begin without End");
    if (!haveRoot) Malformed(lineNo, L"no object");
    return root;
}

std::string WriteDesign(const DesignNode& root) {
    std::wstring out;
    WriteNode(root, 0, out);
    return base::ToUtf8(out);
}

}  // namespace host
