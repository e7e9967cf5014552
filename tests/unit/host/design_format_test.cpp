// The stored-design text: parse and write round trips, every kind of value, and
// malformed input refused with the line it is on. Also UTF-8 <-> UTF-16 conversion.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "base/text.h"
#include "host/design_format.h"
#include "host/error.h"

namespace dorvane::test {
namespace {

using host::DesignNode;
using host::FontDesc;
using host::Value;

std::wstring ErrorText(std::string_view design) {
    try {
        host::ParseDesign(design);
    } catch (const host::Error& e) {
        EXPECT_EQ(e.Number(), host::ErrorNumber::TypeMismatch);
        return e.Description();
    }
    return L"(parsed)";
}

constexpr char kForm[] =
    "\xEF\xBB\xBF' Form1 as stored\r\n"
    "Begin Form Form1\r\n"
    "  caption = \"Dorvane \"\"1\"\"\"\r\n"
    "  # a comment\r\n"
    "\r\n"
    "  Begin XPButton2 Command2\r\n"
    "    Caption = \"打开数据库文件\"\r\n"
    "    font = Font(\"Verdana\", 8.25, 400, False, False, False, False, 0)\r\n"
    "  End\r\n"
    "  Begin XPButton2 Command3\r\n"
    "    caption = \"分离\"\r\n"
    "    forecolor = &H0000FF&\r\n"
    "    tabindex = 3%\r\n"
    "    left = 1.5e2\r\n"
    "    top = 12#\r\n"
    "    enabled = false\r\n"
    "  End\r\n"
    "End";

TEST(HostDesignFormat, ParsesObjectsPropertiesAndValues) {
    const DesignNode root = host::ParseDesign(kForm);
    EXPECT_EQ(root.Kind, L"Form");
    EXPECT_EQ(root.Name, L"Form1");
    EXPECT_EQ(host::ToText(root.Properties.ReadProperty(L"Caption", Value())), L"Dorvane \"1\"");
    ASSERT_EQ(root.Children.size(), 2u);

    const DesignNode* open = root.FindChild(L"command2");
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->Kind, L"XPButton2");
    EXPECT_EQ(host::ToText(open->Properties.ReadProperty(L"caption", Value())), L"打开数据库文件");
    EXPECT_EQ(host::ToFont(open->Properties.ReadProperty(L"Font", Value()))->Desc(), FontDesc{});

    const DesignNode* detach = root.FindChild(L"Command3");
    ASSERT_NE(detach, nullptr);
    const auto& p = detach->Properties;
    EXPECT_EQ(std::get<int32_t>(p.ReadProperty(L"ForeColor", Value())), 0xFF);
    EXPECT_EQ(std::get<int16_t>(p.ReadProperty(L"TabIndex", Value())), 3);
    EXPECT_DOUBLE_EQ(std::get<double>(p.ReadProperty(L"Left", Value())), 150.0);
    EXPECT_DOUBLE_EQ(std::get<double>(p.ReadProperty(L"Top", Value())), 12.0);
    EXPECT_EQ(std::get<bool>(p.ReadProperty(L"Enabled", Value())), false);
    EXPECT_EQ(root.FindChild(L"Command9"), nullptr);
}

TEST(HostDesignFormat, WriteThenParseGivesTheSameTree) {
    DesignNode root{L"Form", L"Form1", {}, {}};
    root.Properties.Set(L"Caption", std::wstring(L"say \"hi\" — 分离 \U00020000"));
    root.Properties.Set(L"Int", int16_t{-32768});
    root.Properties.Set(L"Long", int32_t{-2147483647 - 1});
    root.Properties.Set(L"Dbl", 0.1);
    root.Properties.Set(L"Big", 1e300);
    root.Properties.Set(L"Neg", -2.5e-7);
    root.Properties.Set(L"Yes", true);
    root.Properties.Set(L"Empty", std::wstring());
    DesignNode child{L"XPButton2", L"按钮1", {}, {}};
    child.Properties.Set(
        L"Font", host::FontObject::Create(FontDesc{L"Microsoft YaHei", 10.5, 700, true, true, false, true, 134}));
    DesignNode grandchild{L"Frame", L"Frame1", {}, {}};
    grandchild.Properties.Set(L"x", int32_t{1});
    child.Children.push_back(grandchild);
    root.Children.push_back(child);
    root.Children.push_back(DesignNode{L"Label", L"Label1", {}, {}});

    const std::string text = host::WriteDesign(root);
    const DesignNode back = host::ParseDesign(text);
    EXPECT_EQ(host::WriteDesign(back), text);  // the written form is stable
    EXPECT_EQ(back.Kind, L"Form");
    ASSERT_EQ(back.Properties.Entries().size(), root.Properties.Entries().size());
    for (size_t i = 0; i < root.Properties.Entries().size(); ++i) {
        const auto& [k1, v1] = root.Properties.Entries()[i];
        const auto& [k2, v2] = back.Properties.Entries()[i];
        EXPECT_EQ(k1, k2);
        EXPECT_EQ(v1.index(), v2.index()) << testing::PrintToString(k1);
        EXPECT_TRUE(host::ValuesEqual(v1, v2)) << testing::PrintToString(k1);
    }
    ASSERT_EQ(back.Children.size(), 2u);
    const DesignNode* b = back.FindChild(L"按钮1");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(host::ToFont(b->Properties.ReadProperty(L"font", Value()))->Desc(),
              (FontDesc{L"Microsoft YaHei", 10.5, 700, true, true, false, true, 134}));
    ASSERT_EQ(b->Children.size(), 1u);
    EXPECT_EQ(b->Children[0].Name, L"Frame1");
}

TEST(HostDesignFormat, PropertiesNamedLikeTheKeywordsRoundTrip) {
    DesignNode root{L"Form", L"Form1", {}, {}};
    root.Properties.Set(L"Begin", int32_t{1});
    root.Properties.Set(L"End", std::wstring(L"Begin X Y"));
    root.Children.push_back(DesignNode{L"Begin", L"End", {}, {}});
    const DesignNode back = host::ParseDesign(host::WriteDesign(root));
    EXPECT_EQ(host::ToInt32(back.Properties.ReadProperty(L"begin", Value())), 1);
    EXPECT_EQ(host::ToText(back.Properties.ReadProperty(L"end", Value())), L"Begin X Y");
    ASSERT_EQ(back.Children.size(), 1u);
    EXPECT_EQ(back.Children[0].Kind, L"Begin");
    EXPECT_EQ(back.Children[0].Name, L"End");
}

TEST(HostDesignFormat, SingleValues) {
    EXPECT_EQ(std::get<std::wstring>(host::ParseDesignValue(L"\"\"\"\"")), L"\"");
    EXPECT_EQ(std::get<bool>(host::ParseDesignValue(L" TRUE ")), true);
    EXPECT_EQ(std::get<int32_t>(host::ParseDesignValue(L"12&")), 12);
    EXPECT_EQ(std::get<int32_t>(host::ParseDesignValue(L"&HFFFFFFFF")), -1);
    EXPECT_EQ(std::get<int16_t>(host::ParseDesignValue(L"-5%")), -5);
    EXPECT_EQ(host::FormatDesignValue(Value(int16_t{-5})), L"-5%");
    EXPECT_EQ(host::FormatDesignValue(Value(std::wstring(L"a\"b"))), L"\"a\"\"b\"");
    EXPECT_EQ(host::FormatDesignValue(Value(false)), L"False");
    EXPECT_THROW(host::ParseDesignValue(L"70000%"), host::Error);
    EXPECT_THROW(host::ParseDesignValue(L"1e999"), host::Error);  // no infinity to write back
    EXPECT_THROW(host::ParseDesignValue(L"1e999#"), host::Error);
    // A carriage return inside a text is no line break: it is written and read back as is.
    EXPECT_EQ(std::get<std::wstring>(host::ParseDesignValue(host::FormatDesignValue(Value(std::wstring(L"a\rb"))))),
              L"a\rb");
    EXPECT_THROW(host::ParseDesignValue(L"\"open"), host::Error);
    EXPECT_THROW(host::ParseDesignValue(L"\"a\" \"b\""), host::Error);
    EXPECT_THROW(host::ParseDesignValue(L"Truex"), host::Error);
    EXPECT_THROW(host::ParseDesignValue(L""), host::Error);
    EXPECT_THROW(host::ParseDesignValue(L"Font(\"V\", 8)"), host::Error);
    EXPECT_THROW(host::ParseDesignValue(L"Font(\"V\", 0, 400, False, False, False, False, 0)"), host::Error);
    EXPECT_THROW(host::ParseDesignValue(L"Font(\"V\", 8, 400, False, False, False, False, 0, 1)"), host::Error);
    EXPECT_THROW(host::ParseDesignValue(L"Font(\"V\", 8, 400, False, False, False, False, 0"), host::Error);
    EXPECT_THROW(host::ParseDesignValue(L"Font \"V\""), host::Error);
}

TEST(HostDesignFormat, MalformedInputNamesItsLine) {
    const struct {
        const char* Text;
        const wchar_t* Expected;
    } cases[] = {
        {"", L"Form design, line 1: no object"},
        {"' only a comment\n", L"Form design, line 2: no object"},
        {"Begin Form\nEnd\n", L"Form design, line 1: Begin needs a kind and a name"},
        {"Begin Form Form1\n  caption \"x\"\nEnd\n", L"Form design, line 2: a property needs '='"},
        {"Begin Form Form1\n  cap-tion = 1\nEnd\n", L"Form design, line 2: bad property name"},
        {"Begin Form Form1\nEnd\nEnd\n", L"Form design, line 3: End without Begin"},
        {"Begin Form Form1\nEnd\nBegin Form Form2\nEnd\n",
         L"Form design, line 3: only one top-level object is allowed"},
        {"caption = 1\n", L"Form design, line 1: a property outside any object"},
        {"Begin Form Form1\n  Begin Label L1\n  End\n", L"Form design, line 4: Begin without End"},
        {"Begin Form Fo-rm1\nEnd\n", L"Form design, line 1: bad kind or name"},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorText(c.Text), c.Expected) << c.Text;

    // A bad value is reported on its line with what was wrong with it.
    const std::wstring bad = ErrorText("Begin Form Form1\n\n  top = 12x\nEnd\n");
    EXPECT_EQ(bad.rfind(L"Form design, line 3: ", 0), 0u) << testing::PrintToString(bad);
    const std::wstring open = ErrorText("Begin Form Form1\n  caption = \"open\nEnd\n");
    EXPECT_EQ(open, L"Form design, line 2: Type mismatch: a text value has no closing quote");
}

TEST(HostDesignFormat, WriterRefusesWhatItsReaderCouldNotReadBack) {
    // A line break would split the text over two lines, a non-finite number has no
    // notation, and a kind, name or key must be one word: each is refused when written
    // rather than stored as a design that no longer loads.
    const auto refused = [](const DesignNode& node) {
        try {
            host::WriteDesign(node);
        } catch (const host::Error& e) {
            return e.Description();
        }
        return std::wstring(L"(written)");
    };
    DesignNode form{L"Form", L"Form1", {}, {}};
    form.Properties.Set(L"Caption", std::wstring(L"two\r\nlines"));
    EXPECT_EQ(refused(form), L"Form design: the text of caption holds a line break");
    form.Properties.Clear();
    form.Properties.Set(L"Left", std::numeric_limits<double>::infinity());
    EXPECT_EQ(refused(form), L"Form design: left is not a finite number");
    form.Properties.Clear();
    form.Properties.Set(L"Left", std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(refused(form), L"Form design: left is not a finite number");
    form.Properties.Clear();
    form.Properties.Set(L"bad key", int32_t{1});
    EXPECT_EQ(refused(form), L"Form design: 'bad key' is not a property name");
    form.Properties.Clear();
    form.Children.push_back(DesignNode{L"XPButton2", L"Two words", {}, {}});
    EXPECT_EQ(refused(form), L"Form design: 'XPButton2 Two words' is not a kind and a name");

    // A font name is text like any other.
    DesignNode font{L"Form", L"Form1", {}, {}};
    font.Properties.Set(L"Font", host::FontObject::Create(FontDesc{L"a\nb"}));
    EXPECT_EQ(refused(font), L"Form design: the text of font holds a line break");
}

TEST(HostDesignFormat, NestingIsBounded) {
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += "Begin Frame F" + std::to_string(i) + "\n";
    for (int i = 0; i < 40; ++i) deep += "End\n";
    EXPECT_EQ(ErrorText(deep), L"Form design, line 33: objects nested too deeply");
}

TEST(HostUtf8, RoundTripsEveryPlane) {
    std::wstring withNul = L"Dorvane 分离成功！ é \U0001F600 \U00020000 \U0010FFFF ";
    withNul += L'\0';  // an embedded NUL is carried, not an end
    withNul += L'x';
    EXPECT_EQ(base::FromUtf8(base::ToUtf8(withNul)), withNul);
    EXPECT_EQ(base::ToUtf8(L"分"), "\xE5\x88\x86");
    EXPECT_EQ(base::ToUtf8(L"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(base::FromUtf8("\xC3\xA9"), L"é");
    EXPECT_EQ(base::ToUtf8(L""), "");
    EXPECT_EQ(base::FromUtf8(""), L"");
}

TEST(HostUtf8, InvalidSequencesBecomeReplacementCharacters) {
    const struct {
        std::string In;
        std::wstring Out;
    } cases[] = {
        {"a\x80"
         "b",
         L"a\uFFFDb"},                                      // stray continuation byte
        {"\xC3", L"\uFFFD"},                                // truncated at the end
        {"\xE5\x88", L"\uFFFD\uFFFD"},                      // truncated three-byte sequence
        {"\xC3(", L"\uFFFD("},                              // continuation missing
        {"\xC0\xAF", L"\uFFFD\uFFFD"},                      // overlong "/"
        {"\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"},            // overlong, three bytes
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
        {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"\xFF\xFE", L"\uFFFD\uFFFD"},                      // bytes that never occur
    };
    for (const auto& c : cases) EXPECT_EQ(base::FromUtf8(c.In), c.Out) << testing::PrintToString(c.In);
}

TEST(HostUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
    std::wstring lone;
    lone += static_cast<wchar_t>(0xD800);
    lone += L'x';
    lone += static_cast<wchar_t>(0xDC00);
    EXPECT_EQ(base::ToUtf8(lone), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(HostUtf8, ErrorTextReachesWhatAsUtf8) {
    const host::Error e(host::ErrorNumber::Platform, L"分离失败");
    EXPECT_STREQ(e.what(), "分离失败");
    EXPECT_EQ(e.Description(), L"分离失败");
}

}  // namespace
}  // namespace dorvane::test
