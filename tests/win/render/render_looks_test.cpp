// The five looks, pixel by pixel: every cell of the finished picture at several sizes,
// the gradients row by row, the small heights, and the rounded window shape.
#include <sstream>

#include "tests/win/render/render_support.h"

namespace dorvane::test {
namespace {

struct Size {
    int W, H;
};

std::string Describe(const Size& s) { return std::to_string(s.W) + "x" + std::to_string(s.H); }

// Compares a whole picture with the expected look; lists the first few differences.
::testing::AssertionResult MatchesLook(const Snapshot& pic, int state) {
    const uint32_t bg = Background();
    int bad = 0;
    std::ostringstream out;
    for (int y = 0; y < pic.H; ++y)
        for (int x = 0; x < pic.W; ++x) {
            const uint32_t want = ExpectedPixel(pic.W, pic.H, state, x, y, bg);
            if (pic.At(x, y) != want && ++bad <= 8)
                out << " (" << x << "," << y << ") is " << Hex(pic.At(x, y)) << " want " << Hex(want) << ";";
        }
    if (bad == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << bad << " pixels differ in state " << state << ":" << out.str();
}

class LooksBySize : public ButtonTest, public ::testing::WithParamInterface<Size> {};

TEST_P(LooksBySize, EveryPixelOfEveryStateIsTheTablesColour) {
    const Size sz = GetParam();
    Place(sz.W, sz.H);
    ASSERT_FALSE(Button().GetFlags().Focused);
    for (int state = 0; state < xpbutton::kLookCount; ++state) {
        Button().DrawButton(state);
        const auto flags = Button().GetFlags();
        EXPECT_EQ(flags.State, state);
        EXPECT_FALSE(flags.NoRedraw);
        EXPECT_TRUE(MatchesLook(TakePicture(Site()), state)) << Describe(sz);
    }
}

TEST_P(LooksBySize, WindowIsTheRoundRectRegionOneWiderAndTaller) {
    const Size sz = GetParam();
    Place(sz.W, sz.H);
    for (int state : {1, 4}) {
        Button().DrawButton(state);
        win32::UniqueRegion actual(::CreateRectRgn(0, 0, 0, 0));
        ASSERT_NE(::GetWindowRgn(Site().Hwnd(), actual.get()), ERROR) << "no window region";
        win32::UniqueRegion expected(::CreateRoundRectRgn(0, 0, sz.W + 1, sz.H + 1, 3, 3));
        EXPECT_TRUE(::EqualRgn(actual.get(), expected.get())) << Describe(sz);
        RECT got{}, want{};
        ::GetRgnBox(actual.get(), &got);
        ::GetRgnBox(expected.get(), &want);
        EXPECT_TRUE(::EqualRect(&got, &want))
            << "box " << got.left << "," << got.top << "," << got.right << "," << got.bottom;
        // What the platform makes of that rectangle: the region covers the client area
        // exactly, less the four extreme corner pixels the drawing leaves unpainted.
        EXPECT_EQ(got.left, 0);
        EXPECT_EQ(got.top, 0);
        EXPECT_EQ(got.right, sz.W);
        EXPECT_EQ(got.bottom, sz.H);
        for (const POINT corner : {POINT{0, 0}, POINT{sz.W - 1, 0}, POINT{0, sz.H - 1}, POINT{sz.W - 1, sz.H - 1}})
            EXPECT_FALSE(::PtInRegion(actual.get(), corner.x, corner.y)) << corner.x << "," << corner.y;
        for (const POINT inside : {POINT{1, 0}, POINT{0, 1}, POINT{sz.W - 2, sz.H - 1}, POINT{sz.W - 1, sz.H - 2},
                                   POINT{sz.W / 2, sz.H / 2}})
            EXPECT_TRUE(::PtInRegion(actual.get(), inside.x, inside.y)) << inside.x << "," << inside.y;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, LooksBySize,
                         ::testing::Values(Size{7, 7}, Size{105, 25}, Size{97, 33}, Size{89, 25}, Size{8, 7},
                                           Size{40, 12}, Size{105, 6}, Size{105, 5}, Size{7, 6}, Size{7, 5}),
                         [](const ::testing::TestParamInfo<Size>& info) {
                             return "W" + std::to_string(info.param.W) + "H" + std::to_string(info.param.H);
                         });

using Gradients = ButtonTest;

// Each row of the side bands and of the face, against the gradient rule.
TEST_F(Gradients, SideBandsAndFaceFollowTheRoundingRuleRowByRow) {
    for (const Size sz : {Size{105, 25}, Size{97, 33}, Size{7, 7}}) {
        Place(sz.W, sz.H);
        for (int state = 1; state <= 3; ++state) {
            Button().DrawButton(state);
            const Look k = LookOf(state);
            for (int y = 3; y <= sz.H - 4; ++y) {
                const uint32_t band = GradientRow(k.GlowTop, k.GlowBottom, 3, sz.H - 2, y);
                const uint32_t face = GradientRow(kFaceTop, kFaceBottom, 3, sz.H - 3, y);
                for (int x : {1, 2, sz.W - 3, sz.W - 2})
                    EXPECT_EQ(PicturePixel(x, y), band)
                        << Describe(sz) << " state " << state << " band x " << x << " y " << y;
                for (int x = 3; x <= sz.W - 4; ++x)
                    ASSERT_EQ(PicturePixel(x, y), face)
                        << Describe(sz) << " state " << state << " face x " << x << " y " << y;
            }
        }
    }
}

// Values worked out by hand with 32-bit float arithmetic, mostly rows that land on a
// half, where rounding to even decides.
TEST_F(Gradients, HandComputedRows) {
    Place(105, 25);
    Button().DrawButton(1);
    EXPECT_EQ(PicturePixel(1, 13), 0xF0F4F4u);  // green 243.5 -> 244, blue 240.5 -> 240
    EXPECT_EQ(PicturePixel(1, 3), 0xFBFCFCu);   // top row: the top colour
    EXPECT_EQ(PicturePixel(50, 12), 0xF1F4F4u);
    EXPECT_EQ(PicturePixel(50, 4), 0xFAFBFBu);
    EXPECT_EQ(PicturePixel(50, 21), 0xE7ECEDu);
    Button().DrawButton(2);
    EXPECT_EQ(PicturePixel(2, 13), 0xEFC0A4u);  // red 164.5 -> 164, green 192.5 -> 192
    Button().DrawButton(3);
    EXPECT_EQ(PicturePixel(103, 12), 0x6BCDEEu);  // red 238.5 -> 238
    EXPECT_EQ(PicturePixel(103, 14), 0x61C8F2u);  // red 241.5 -> 242
    EXPECT_EQ(PicturePixel(1, 8), 0x81D5E8u);     // red 232.5 -> 232
    EXPECT_EQ(PicturePixel(50, 12), 0xF1F4F4u);   // the face is the same in every state

    Place(97, 33);
    Button().DrawButton(2);
    EXPECT_EQ(PicturePixel(1, 25), 0xEAB696u);  // red 150.5 -> 150
    EXPECT_EQ(PicturePixel(95, 5), 0xF6D0BAu);  // red 185.5 -> 186
    EXPECT_EQ(PicturePixel(48, 16), 0xF1F4F4u);

    Place(7, 7);
    Button().DrawButton(2);
    EXPECT_EQ(PicturePixel(1, 3), 0xF7D3BDu);  // band top row; row 4 lies under the shade line
    EXPECT_EQ(PicturePixel(3, 3), 0xFBFCFCu);  // the one face pixel
}

using SmallHeights = ButtonTest;

// Height 6: the face gradient (one row) is an arithmetic error and is left out; the
// side bands still come and are covered by the shade lines. Height 5: no bands either.
TEST_F(SmallHeights, HeightSixAndFiveAreAllLinesAndCorners) {
    for (int H : {6, 5}) {
        Place(30, H);
        const uint32_t bg = Background();
        for (int state = 1; state <= 3; ++state) {
            Button().DrawButton(state);
            const Look k = LookOf(state);
            EXPECT_FALSE(Button().GetFlags().NoRedraw);
            EXPECT_EQ(Button().GetFlags().State, state);
            EXPECT_EQ(PicturePixel(0, 0), bg);
            EXPECT_EQ(PicturePixel(15, 1), k.Light1);
            EXPECT_EQ(PicturePixel(15, H - 3), k.Shade1);  // row 3 at height 6; row 2 at 5
            EXPECT_EQ(PicturePixel(1, H - 3), k.Shade1);
            EXPECT_EQ(PicturePixel(15, H - 2), k.Shade2);
            EXPECT_EQ(PicturePixel(1, H - 2), k.CornerInner);
            EXPECT_EQ(PicturePixel(0, H - 2), k.CornerOuter);  // over the border's one pixel at height 5
            EXPECT_EQ(PicturePixel(29, H - 3), k.CornerEdge);
            EXPECT_EQ(PicturePixel(15, H - 1), k.Border);
            if (H == 6) {
                EXPECT_EQ(PicturePixel(15, 2), k.Light2);
            }
        }
    }
}

}  // namespace
}  // namespace dorvane::test
