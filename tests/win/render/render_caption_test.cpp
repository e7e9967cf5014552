// The caption and the focus rectangle: their colours, when the focus rectangle shows,
// empty captions, the access-key underline and system-colour references.
#include <algorithm>
#include <set>

#include "base/text.h"
#include "tests/win/render/render_support.h"

namespace dorvane::test {
namespace {

bool HasColour(const Snapshot& pic, const std::vector<POINT>& points, uint32_t colour) {
    return std::any_of(points.begin(), points.end(), [&](const POINT& p) { return pic.At(p.x, p.y) == colour; });
}

class Caption : public ButtonTest {
protected:
    // Ink of the caption in `state`, with the picture it came from.
    std::vector<POINT> InkIn(int state, Snapshot* picture = nullptr) {
        Button().DrawButton(state);
        Snapshot pic = TakePicture(Site());
        std::vector<POINT> ink = CaptionInk(pic, state, Background());
        if (picture) *picture = std::move(pic);
        return ink;
    }
};

// The caption colour follows Enabled, never the state: ForeColor while enabled (the
// disabled look included), the fixed grey while disabled (every look).
TEST_F(Caption, ColourFollowsEnabledNotTheState) {
    Place(105, 25, L"HHWW");
    constexpr uint32_t kRed = 0x1010C8;
    Button().SetForeColor(static_cast<int32_t>(kRed));
    for (int state = 0; state < xpbutton::kLookCount; ++state) {
        Snapshot pic;
        const auto ink = InkIn(state, &pic);
        ASSERT_GT(ink.size(), 20u) << "no caption drawn in state " << state;
        EXPECT_TRUE(HasColour(pic, ink, kRed)) << "state " << state;
        EXPECT_FALSE(HasColour(pic, ink, kDisabledCaption)) << "state " << state;
    }
    Button().SetEnabled(false);
    EXPECT_EQ(Button().GetFlags().State, 0);
    for (int state = 0; state < xpbutton::kLookCount; ++state) {
        Snapshot pic;
        const auto ink = InkIn(state, &pic);
        ASSERT_GT(ink.size(), 20u) << "no caption drawn in state " << state;
        EXPECT_TRUE(HasColour(pic, ink, kDisabledCaption)) << "state " << state;
        EXPECT_FALSE(HasColour(pic, ink, kRed)) << "state " << state;
    }
}

// A caption whose characters the button's face lacks (Wine's Tahoma, like Verdana on an
// English Windows, has no Chinese) is drawn from a font that has them all; a caption the
// face covers keeps the face.
TEST_F(Caption, ComesFromAFontThatHasItsCharacters) {
    auto glyphsMissing = [&] {
        const std::wstring text = L"分离";
        WORD glyphs[2] = {};
        ::GetGlyphIndicesW(Site().PictureDc(), text.c_str(), 2, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
        return glyphs[0] == 0xFFFF || glyphs[1] == 0xFFFF;
    };
    auto face = [&] {
        wchar_t name[LF_FACESIZE] = {};
        ::GetTextFaceW(Site().PictureDc(), LF_FACESIZE, name);
        return std::wstring(name);
    };
    Place(97, 33, L"OK");
    auto tahoma = host::FontObject::Create();
    tahoma->SetName(L"Tahoma");
    Button().SetFont(tahoma);
    ASSERT_EQ(face(), L"Tahoma");
    ASSERT_TRUE(glyphsMissing()) << "this Tahoma has Chinese glyphs: the check below proves nothing";
    Button().SetCaption(L"分离");
    EXPECT_FALSE(glyphsMissing()) << "the caption's font is " << base::ToUtf8(face());
    EXPECT_EQ(Button().Font()->Name(), L"Tahoma") << "the button's own font changed";
    EXPECT_GT(InkIn(1).size(), 20u);
    Button().SetCaption(L"OK");
    EXPECT_EQ(face(), L"Tahoma");
}

TEST_F(Caption, EmptyCaptionDrawsNoText) {
    Place(105, 25, L"OK");
    EXPECT_FALSE(InkIn(1).empty()) << "a caption should leave ink";
    Button().SetCaption(L"");
    for (int state = 0; state < xpbutton::kLookCount; ++state) EXPECT_TRUE(InkIn(state).empty()) << "state " << state;
}

// "&OK" shows O and K with the O underlined: the same letters as "OK" plus a stroke
// below them, under the first letter.
TEST_F(Caption, AccessKeyIsUnderlined) {
    Place(105, 25, L"OK");
    const auto plain = InkIn(1);
    ASSERT_FALSE(plain.empty());
    Button().SetCaption(L"&OK");
    const auto marked = InkIn(1);
    const auto bottom = [](const std::vector<POINT>& ink) {
        return std::max_element(ink.begin(), ink.end(), [](POINT a, POINT b) { return a.y < b.y; })->y;
    };
    const int lettersBottom = bottom(plain);
    std::set<int> underlineColumns;
    for (const POINT& p : marked)
        if (p.y > lettersBottom) underlineColumns.insert(p.x);
    ASSERT_GE(underlineColumns.size(), 3u) << "no underline below the letters";
    // The underline sits under the left letter: left of the middle of the caption.
    int left = 1000, right = -1;
    for (const POINT& p : plain) left = std::min<int>(left, p.x), right = std::max<int>(right, p.x);
    EXPECT_LT(*underlineColumns.rbegin(), (left + right) / 2 + 1);
    // No "&" is drawn: the letters take the same columns as without it.
    int mLeft = 1000, mRight = -1;
    for (const POINT& p : marked) mLeft = std::min<int>(mLeft, p.x), mRight = std::max<int>(mRight, p.x);
    EXPECT_EQ(mLeft, left);
    EXPECT_EQ(mRight, right);
}

// ForeColor may name a system colour (high bit set); the caption then takes that
// system colour's present value.
TEST_F(Caption, SystemColourReferenceUsesTheSystemColour) {
    Place(105, 25, L"HHWW");
    const COLORREF saved = ::GetSysColor(COLOR_BTNTEXT);
    const int element = COLOR_BTNTEXT;
    const COLORREF distinct = 0x00A000;  // so it cannot pass as black by accident
    ASSERT_TRUE(::SetSysColors(1, &element, &distinct));
    Button().SetForeColor(static_cast<int32_t>(0x80000012u));
    Snapshot pic;
    const auto ink = InkIn(1, &pic);
    const bool found = HasColour(pic, ink, ::GetSysColor(COLOR_BTNTEXT));
    ::SetSysColors(1, &element, &saved);
    EXPECT_EQ(Button().ForeColor(), static_cast<int32_t>(0x80000012u));
    ASSERT_FALSE(ink.empty());
    EXPECT_TRUE(found) << "no caption pixel in the button-text colour " << Hex(distinct);
}

class FocusRectangle : public ButtonTest {
protected:
    void Focus(bool on) {
        Form().Activate();
        ::SetFocus(on ? Site().Hwnd() : Form().Hwnd());
        testing_support::Pump(std::chrono::milliseconds(20));
        ASSERT_EQ(Button().GetFlags().Focused, on);
    }
    // Pixels on the caption rectangle's edge that differ from the plain look; none may
    // differ anywhere else.
    int DottedEdgePixels(int state) {
        Button().DrawButton(state);
        const Snapshot pic = TakePicture(Site());
        const auto ink = CaptionInk(pic, state, Background());
        int edge = 0;
        for (const POINT& p : ink) {
            const bool onEdge = p.x == 3 || p.x == pic.W - 4 || p.y == 3 || p.y == pic.H - 4;
            if (onEdge)
                ++edge;
            else
                ADD_FAILURE() << "pixel inside the caption rectangle changed: " << p.x << "," << p.y;
        }
        return edge;
    }
};

TEST_F(FocusRectangle, ShownExactlyWhenFocusedWithFocusRectAboveNormal) {
    Place(105, 25);
    const int edgeLength = 2 * (105 - 6) + 2 * (25 - 6) - 4;
    for (bool focused : {true, false}) {
        Focus(focused);
        for (bool focusRect : {true, false}) {
            Button().SetFocusRect(focusRect);
            for (int state = 0; state < xpbutton::kLookCount; ++state) {
                const int dotted = DottedEdgePixels(state);
                if (focused && focusRect && state > 1)
                    EXPECT_GE(dotted, edgeLength / 3) << "state " << state << ": no dotted rectangle";
                else
                    EXPECT_EQ(dotted, 0) << "state " << state << " focused " << focused << " FocusRect " << focusRect;
            }
        }
    }
}

}  // namespace
}  // namespace dorvane::test
