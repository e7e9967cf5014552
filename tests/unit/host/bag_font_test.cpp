// The property bag (keys without regard to case, defaults left out, fonts stored whole)
// and the font object (notifications to every subscriber, subscriptions that end).
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/property_bag.h"

namespace dorvane::test {
namespace {

using host::FontDesc;
using host::FontObject;
using host::PropertyBag;
using host::Value;

TEST(HostPropertyBag, KeysAreStoredLowerCaseAndFoundInAnyCase) {
    PropertyBag bag;
    bag.WriteProperty(L"Caption", std::wstring(L"分离"), std::wstring(L"&OK"));
    ASSERT_EQ(bag.Entries().size(), 1u);
    EXPECT_EQ(bag.Entries()[0].first, L"caption");
    EXPECT_EQ(host::ToText(bag.ReadProperty(L"CAPTION", std::wstring())), L"分离");
    EXPECT_EQ(host::ToText(bag.ReadProperty(L"caption", std::wstring())), L"分离");
    EXPECT_TRUE(bag.Contains(L"CaPtIoN"));
    // Writing under another spelling replaces the entry, it does not add one.
    bag.WriteProperty(L"CAPTION", std::wstring(L"x"), std::wstring(L"&OK"));
    ASSERT_EQ(bag.Entries().size(), 1u);
    EXPECT_EQ(host::ToText(bag.ReadProperty(L"Caption", std::wstring())), L"x");
}

TEST(HostPropertyBag, KeysCompareWithoutCaseInEveryScript) {
    PropertyBag bag;
    bag.Set(L"ÄÖ_ЖЯ_ΣΩ", int32_t{1});
    EXPECT_EQ(bag.Entries()[0].first, L"äö_жя_σω");
    EXPECT_TRUE(bag.Contains(L"Äö_Жя_Σω"));
    bag.WriteProperty(L"äÖ_жЯ_σΩ", int32_t{2}, int32_t{0});
    ASSERT_EQ(bag.Entries().size(), 1u);
    EXPECT_EQ(host::ToInt32(bag.ReadProperty(L"ÄÖ_ЖЯ_ΣΩ", int32_t{0})), 2);
}

TEST(HostPropertyBag, AbsentKeyGivesTheDefault) {
    PropertyBag bag;
    EXPECT_EQ(host::ToInt32(bag.ReadProperty(L"ForeColor", int16_t{0})), 0);
    EXPECT_TRUE(host::ToBool(bag.ReadProperty(L"Enabled", true)));
    auto font = FontObject::Create();
    EXPECT_EQ(host::ToFont(bag.ReadProperty(L"Font", font)), font);  // the default itself, not a copy
}

TEST(HostPropertyBag, ValueEqualToItsDefaultIsLeftOut) {
    PropertyBag bag;
    bag.WriteProperty(L"Caption", std::wstring(L"&OK"), std::wstring(L"&OK"));
    bag.WriteProperty(L"Enabled", true, true);
    bag.WriteProperty(L"ForeColor", int32_t{0}, int16_t{0});  // equal across integer widths
    bag.WriteProperty(L"FocusRect", true, true);
    EXPECT_TRUE(bag.Entries().empty());

    bag.WriteProperty(L"Caption", std::wstring(L"&ok"), std::wstring(L"&OK"));  // case counts in values
    bag.WriteProperty(L"Enabled", false, true);
    EXPECT_EQ(bag.Entries().size(), 2u);
    // Writing the default later removes what was stored.
    bag.WriteProperty(L"Enabled", true, true);
    EXPECT_FALSE(bag.Contains(L"Enabled"));
    EXPECT_EQ(bag.Entries().size(), 1u);
}

TEST(HostPropertyBag, FontIsStoredWholeAndReadBackAsANewObject) {
    PropertyBag bag;
    FontDesc desc{L"宋体", 10.5, 700, true, true, true, true, 134};
    auto font = FontObject::Create(desc);
    bag.WriteProperty(L"Font", font, std::wstring(L"Verdana"));  // a font never equals a text default
    ASSERT_TRUE(bag.Contains(L"font"));
    font->SetSize(30);  // later changes do not reach the bag
    font->SetName(L"Tahoma");

    auto read = host::ToFont(bag.ReadProperty(L"Font", std::wstring(L"Verdana")));
    EXPECT_EQ(read->Desc(), desc);
    EXPECT_NE(read, font);
    auto again = host::ToFont(bag.ReadProperty(L"Font", std::wstring(L"Verdana")));
    EXPECT_NE(again, read);  // each read is its own object
    read->SetItalic(false);
    EXPECT_TRUE(again->Italic());
    EXPECT_EQ(host::ToFont(bag.ReadProperty(L"Font", std::wstring()))->Desc(), desc);

    // A font equal in every attribute to the default font is still stored.
    PropertyBag plain;
    plain.WriteProperty(L"Font", FontObject::Create(), std::wstring(L"Verdana"));
    EXPECT_TRUE(plain.Contains(L"Font"));
}

TEST(HostPropertyBag, OrderOfFirstWriteIsKept) {
    PropertyBag bag;
    bag.Set(L"B", int32_t{1});
    bag.Set(L"a", int32_t{2});
    bag.Set(L"b", int32_t{3});
    ASSERT_EQ(bag.Entries().size(), 2u);
    EXPECT_EQ(bag.Entries()[0].first, L"b");
    EXPECT_EQ(host::ToInt32(bag.Entries()[0].second), 3);
    EXPECT_EQ(bag.Entries()[1].first, L"a");
    bag.Clear();
    EXPECT_TRUE(bag.Entries().empty());
}

TEST(HostFontObject, EveryAssignmentNotifiesWithTheAttributeName) {
    auto font = FontObject::Create();
    std::vector<std::wstring> seen;
    auto sub = font->Subscribe([&](const std::wstring& name) { seen.push_back(name); });
    font->SetName(L"Tahoma");
    font->SetSize(12);
    font->SetSize(12);  // the same value notifies as well
    font->SetWeight(650);
    font->SetBold(false);
    font->SetItalic(true);
    font->SetUnderline(true);
    font->SetStrikethrough(true);
    font->SetCharset(134);
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"Name", L"Size", L"Size", L"Weight", L"Bold", L"Italic", L"Underline",
                                               L"Strikethrough", L"Charset"}));
    EXPECT_EQ(font->Name(), L"Tahoma");
    EXPECT_EQ(font->Charset(), 134);
}

TEST(HostFontObject, BoldAndWeightFollowEachOther) {
    auto font = FontObject::Create();
    EXPECT_EQ(font->Weight(), 400);
    EXPECT_FALSE(font->Bold());
    font->SetBold(true);
    EXPECT_EQ(font->Weight(), 700);
    font->SetWeight(599);
    EXPECT_FALSE(font->Bold());
    font->SetWeight(600);
    EXPECT_TRUE(font->Bold());
    font->SetBold(false);
    EXPECT_EQ(font->Weight(), 400);
    // A stored font whose flag and weight disagree is read as the flag says, also
    // through the bag.
    EXPECT_EQ(FontObject::Create(FontDesc{L"Verdana", 8.25, 400, true})->Weight(), 700);
    EXPECT_EQ(FontObject::Create(FontDesc{L"Verdana", 8.25, 700, false})->Weight(), 400);
    EXPECT_EQ(FontObject::Create(FontDesc{L"Verdana", 8.25, 900, true})->Weight(), 900);
    PropertyBag bag;
    bag.Set(L"Font", FontObject::Create(FontDesc{L"Verdana", 8.25, 400, true}));
    auto read = host::ToFont(bag.ReadProperty(L"Font", std::wstring()));
    EXPECT_TRUE(read->Bold());
    EXPECT_EQ(read->Weight(), 700);
}

TEST(HostFontObject, InvalidSizeIsRefusedAndLeavesTheFont) {
    auto font = FontObject::Create();
    int calls = 0;
    auto sub = font->Subscribe([&](const std::wstring&) { ++calls; });
    for (double bad :
         {0.0, -1.0, 2160.5, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        EXPECT_THROW(font->SetSize(bad), host::Error) << bad;
    }
    EXPECT_DOUBLE_EQ(font->Size(), 8.25);
    EXPECT_EQ(calls, 0);
    font->SetSize(2160);
    EXPECT_EQ(calls, 1);
}

TEST(HostFontObject, SubscriptionEndsWithItsObject) {
    auto font = FontObject::Create();
    int a = 0, b = 0;
    {
        auto subA = font->Subscribe([&](const std::wstring&) { ++a; });
        auto subB = font->Subscribe([&](const std::wstring&) { ++b; });
        EXPECT_EQ(font->SubscriberCount(), 2u);
        font->SetItalic(true);
        subA.reset();
        EXPECT_FALSE(subA.Active());
        EXPECT_TRUE(subB.Active());
        font->SetItalic(false);
    }
    EXPECT_EQ(font->SubscriberCount(), 0u);
    font->SetItalic(true);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
}

TEST(HostFontObject, MovedSubscriptionKeepsListeningOnce) {
    auto font = FontObject::Create();
    int calls = 0;
    host::FontSubscription outer;
    {
        auto inner = font->Subscribe([&](const std::wstring&) { ++calls; });
        outer = std::move(inner);
        EXPECT_FALSE(inner.Active());
    }  // the moved-from one ends nothing
    font->SetBold(true);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(font->SubscriberCount(), 1u);
    // Assigning over a live subscription ends the old one.
    auto other = FontObject::Create();
    outer = other->Subscribe([&](const std::wstring&) { calls += 10; });
    EXPECT_EQ(font->SubscriberCount(), 0u);
    font->SetBold(false);
    other->SetBold(false);
    EXPECT_EQ(calls, 11);
}

TEST(HostFontObject, SubscriptionOutlivingItsFontIsHarmless) {
    host::FontSubscription sub;
    {
        auto font = FontObject::Create();
        sub = font->Subscribe([](const std::wstring&) {});
        EXPECT_TRUE(sub.Active());
    }
    EXPECT_FALSE(sub.Active());
    sub.reset();  // nothing left to unsubscribe from
}

TEST(HostFontObject, HandlersMayUnsubscribeDuringANotification) {
    auto font = FontObject::Create();
    std::vector<std::string> order;
    host::FontSubscription second;
    auto first = font->Subscribe([&](const std::wstring&) {
        order.push_back("first");
        second.reset();  // ends the next handler before it is called
    });
    second = font->Subscribe([&](const std::wstring&) { order.push_back("second"); });
    host::FontSubscription third;
    auto fourth = font->Subscribe([&](const std::wstring&) {
        order.push_back("fourth");
        // A subscription added meanwhile hears only later changes.
        if (!third.Active()) third = font->Subscribe([&](const std::wstring&) { order.push_back("third"); });
    });
    font->SetSize(9);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "fourth"}));
    order.clear();
    font->SetSize(10);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "fourth", "third"}));
}

TEST(HostFontObject, FontDroppedByItsOwnHandlerStaysAliveForTheNotification) {
    auto font = FontObject::Create();
    std::weak_ptr<FontObject> weak = font;
    int calls = 0;
    host::FontSubscription a, b;
    a = font->Subscribe([&](const std::wstring&) {
        ++calls;
        font.reset();  // the last owner lets go from inside the notification
    });
    b = font->Subscribe([&](const std::wstring&) { ++calls; });
    font->SetBold(true);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(weak.expired());
}

TEST(HostFontObject, CloneCopiesAttributesButNoSubscribers) {
    auto font = FontObject::Create(FontDesc{L"Tahoma", 11});
    int calls = 0;
    auto sub = font->Subscribe([&](const std::wstring&) { ++calls; });
    auto copy = font->Clone();
    EXPECT_EQ(copy->Desc(), font->Desc());
    EXPECT_EQ(copy->SubscriberCount(), 0u);
    copy->SetSize(20);
    EXPECT_EQ(calls, 0);
    EXPECT_DOUBLE_EQ(font->Size(), 11);
}

}  // namespace
}  // namespace dorvane::test
