// The bag's values and their classic coercions: numbers round half to even, out-of-range
// values overflow, &H hex, True is -1, text converts only when it reads as its type.
#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "host/error.h"
#include "host/value.h"

namespace dorvane::test {
namespace {

using host::ErrorNumber;
using host::Value;

ErrorNumber ErrorOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const host::Error& e) {
        return e.Number();
    }
    return ErrorNumber{0};
}

TEST(HostValue, IntegersRoundHalfToEven) {
    const struct {
        double In;
        int32_t Out;
    } cases[] = {{0.5, 0},   {1.5, 2},    {2.5, 2},    {3.5, 4},      {-0.5, 0},       {-1.5, -2},
                 {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {-2.5001, -3}, {32766.5, 32766}};
    for (const auto& c : cases) {
        EXPECT_EQ(host::ToInt32(Value(c.In)), c.Out) << c.In;
        EXPECT_EQ(host::ToInt16(Value(c.In)), static_cast<int16_t>(c.Out)) << c.In;
    }
    EXPECT_EQ(host::ToInt32(Value(1000000000.5)), 1000000000);
    EXPECT_EQ(host::ToInt32(Value(std::wstring(L"2.5"))), 2);
    EXPECT_EQ(host::ToInt32(Value(std::wstring(L" 3.5 "))), 4);
    EXPECT_EQ(host::ToInt32(Value(std::wstring(L"-7"))), -7);
    EXPECT_EQ(host::ToInt32(Value(std::wstring(L"1e3"))), 1000);
}

TEST(HostValue, OutOfRangeOverflows) {
    EXPECT_EQ(host::ToInt16(Value(32767.4)), 32767);
    EXPECT_EQ(ErrorOf([] { host::ToInt16(Value(32767.5)); }), ErrorNumber::Overflow);  // rounds to 32768
    EXPECT_EQ(host::ToInt16(Value(-32768.5)), -32768);                                 // rounds to even
    EXPECT_EQ(ErrorOf([] { host::ToInt16(Value(-32769.0)); }), ErrorNumber::Overflow);
    EXPECT_EQ(ErrorOf([] { host::ToInt16(Value(int32_t{40000})); }), ErrorNumber::Overflow);
    EXPECT_EQ(host::ToInt32(Value(2147483647.0)), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ErrorOf([] { host::ToInt32(Value(2147483647.5)); }), ErrorNumber::Overflow);
    EXPECT_EQ(host::ToInt32(Value(-2147483648.0)), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ErrorOf([] { host::ToInt32(Value(1e10)); }), ErrorNumber::Overflow);
    EXPECT_EQ(ErrorOf([] { host::ToInt32(Value(std::numeric_limits<double>::infinity())); }), ErrorNumber::Overflow);
    EXPECT_EQ(ErrorOf([] { host::ToInt32(Value(std::numeric_limits<double>::quiet_NaN())); }), ErrorNumber::Overflow);
    EXPECT_EQ(ErrorOf([] { host::ToInt32(Value(std::wstring(L"99999999999"))); }), ErrorNumber::Overflow);
    // Text beyond the range of a Double overflows rather than reading as infinity.
    EXPECT_EQ(ErrorOf([] { host::ToDouble(Value(std::wstring(L"1e999"))); }), ErrorNumber::Overflow);
    EXPECT_EQ(ErrorOf([] { host::ToDouble(Value(std::wstring(L"-1e400"))); }), ErrorNumber::Overflow);
    EXPECT_DOUBLE_EQ(host::ToDouble(Value(std::wstring(L"1e308"))), 1e308);
}

TEST(HostValue, HexText) {
    EXPECT_EQ(host::ToInt32(Value(std::wstring(L"&HFF"))), 255);
    EXPECT_EQ(host::ToInt32(Value(std::wstring(L"&hff"))), 255);
    EXPECT_EQ(host::ToInt32(Value(std::wstring(L"&H0000FF&"))), 255);
    EXPECT_EQ(host::ToInt32(Value(std::wstring(L"&H80000000"))), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(host::ToInt32(Value(std::wstring(L"&HFFFFFFFF"))), -1);
    EXPECT_EQ(ErrorOf([] { host::ToInt32(Value(std::wstring(L"&H100000000"))); }), ErrorNumber::Overflow);
    EXPECT_EQ(ErrorOf([] { host::ToInt32(Value(std::wstring(L"&HFG"))); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(ErrorOf([] { host::ToInt32(Value(std::wstring(L"&H"))); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(ErrorOf([] { host::ToInt32(Value(std::wstring(L"&HFF&&"))); }), ErrorNumber::TypeMismatch);
}

TEST(HostValue, NonNumbersAreTypeMismatches) {
    for (const wchar_t* text : {L"red", L"", L"  ", L"1,5", L"12abc", L"-", L".", L"e5", L"1e", L"0x10"}) {
        EXPECT_EQ(ErrorOf([&] { host::ToInt32(Value(std::wstring(text))); }), ErrorNumber::TypeMismatch)
            << testing::PrintToString(std::wstring(text));
    }
    EXPECT_EQ(ErrorOf([] { host::ToDouble(Value(host::FontObject::Create())); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(host::ToDouble(Value(host::Empty{})), 0.0);
}

TEST(HostValue, Booleans) {
    EXPECT_EQ(host::ToInt16(Value(true)), -1);
    EXPECT_EQ(host::ToInt32(Value(false)), 0);
    EXPECT_DOUBLE_EQ(host::ToDouble(Value(true)), -1.0);
    EXPECT_TRUE(host::ToBool(Value(std::wstring(L"True"))));
    EXPECT_TRUE(host::ToBool(Value(std::wstring(L" TRUE "))));
    EXPECT_FALSE(host::ToBool(Value(std::wstring(L"false"))));
    EXPECT_TRUE(host::ToBool(Value(std::wstring(L"-1"))));
    EXPECT_TRUE(host::ToBool(Value(std::wstring(L"2"))));
    EXPECT_FALSE(host::ToBool(Value(std::wstring(L"0"))));
    EXPECT_TRUE(host::ToBool(Value(0.1)));
    EXPECT_FALSE(host::ToBool(Value(int16_t{0})));
    EXPECT_FALSE(host::ToBool(Value(host::Empty{})));
    EXPECT_EQ(ErrorOf([] { host::ToBool(Value(std::wstring(L"yes"))); }), ErrorNumber::TypeMismatch);
    // Only the ends are trimmed: a word broken by a space is no Boolean.
    EXPECT_EQ(ErrorOf([] { host::ToBool(Value(std::wstring(L"Tr ue"))); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(ErrorOf([] { host::ToBool(Value(std::wstring(L"fal\tse"))); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(host::ToText(Value(true)), L"True");
    EXPECT_EQ(host::ToText(Value(false)), L"False");
}

TEST(HostValue, TextAndFonts) {
    EXPECT_EQ(host::ToText(Value(int32_t{-42})), L"-42");
    EXPECT_EQ(host::ToText(Value(int16_t{7})), L"7");
    EXPECT_EQ(host::ToText(Value(8.25)), L"8.25");
    EXPECT_EQ(host::ToText(Value(host::Empty{})), L"");
    auto font = host::FontObject::Create(host::FontDesc{L"Tahoma"});
    EXPECT_EQ(host::ToText(Value(font)), L"Tahoma");  // a font reads as its name
    EXPECT_EQ(host::ToFont(Value(font)), font);
    EXPECT_EQ(ErrorOf([] { host::ToFont(Value(std::wstring(L"Verdana"))); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(ErrorOf([] { host::ToFont(Value(host::FontRef{})); }), ErrorNumber::TypeMismatch);
}

TEST(HostValue, EqualityAsTheBagJudgesDefaults) {
    EXPECT_TRUE(host::ValuesEqual(Value(int32_t{0}), Value(int16_t{0})));
    EXPECT_TRUE(host::ValuesEqual(Value(true), Value(int16_t{-1})));
    EXPECT_TRUE(host::ValuesEqual(Value(std::wstring(L"&OK")), Value(std::wstring(L"&OK"))));
    EXPECT_FALSE(host::ValuesEqual(Value(std::wstring(L"&ok")), Value(std::wstring(L"&OK"))));  // case counts
    EXPECT_FALSE(host::ValuesEqual(Value(std::wstring(L"0")), Value(int32_t{0})));
    auto font = host::FontObject::Create();
    EXPECT_FALSE(host::ValuesEqual(Value(font), Value(std::wstring(L"Verdana"))));
    EXPECT_TRUE(host::ValuesEqual(Value(font), Value(font)));
    EXPECT_FALSE(host::ValuesEqual(Value(font), Value(font->Clone())));
}

}  // namespace
}  // namespace dorvane::test
