// The cost of a repaint as counts: strokes, pixels, pens and brushes per repaint, and
// the process's GDI and USER objects across many repaints.
#include "tests/win/render/gdi_call_counter.h"
#include "tests/win/render/render_support.h"

namespace dorvane::test {
namespace {

using RepaintCounts = ButtonTest;

// One pen per line, created, selected, put back and deleted within the stroke.
void ExpectPensBalanced(const GdiCalls& c, int lines) {
    EXPECT_EQ(c.CreatePen, lines);
    EXPECT_EQ(c.PensSelected, lines);
    EXPECT_EQ(c.PensSelectedBack, lines);
    EXPECT_EQ(c.PensDeleted, lines);
    EXPECT_EQ(c.MoveToEx, lines);
    EXPECT_EQ(c.CreateSolidBrush, c.BrushesDeleted);
    EXPECT_EQ(c.CreateRoundRectRgn, 1);
    EXPECT_EQ(c.SetWindowRgn, 1);
}

TEST_F(RepaintCounts, GradientLooksDrawTwiceTheHeightLessOneLinesAndTwentyPixels) {
    GdiCallCounter counter;
    ASSERT_TRUE(counter.Ready());
    for (const int H : {25, 33, 7, 12}) {
        Place(105, H);
        for (int state = 1; state <= 3; ++state) {
            counter.Reset();
            Button().DrawButton(state);
            const GdiCalls c = counter.Calls();
            // H-4 band rows, H-5 face rows, 4 border lines, 4 highlight and shade lines.
            EXPECT_EQ(c.LineTo, 2 * H - 1) << "height " << H << " state " << state;
            EXPECT_EQ(c.SetPixel, 20);
            EXPECT_EQ(c.FillRect, 1) << "only the clearing of the surface";
            ExpectPensBalanced(c, 2 * H - 1);
        }
    }
}

TEST_F(RepaintCounts, FlatLooksDrawFourLinesOneFillAndTwentyPixels) {
    GdiCallCounter counter;
    ASSERT_TRUE(counter.Ready());
    Place(105, 25);
    for (int state : {0, 4}) {
        counter.Reset();
        Button().DrawButton(state);
        const GdiCalls c = counter.Calls();
        EXPECT_EQ(c.LineTo, 4);
        EXPECT_EQ(c.SetPixel, 20);
        EXPECT_EQ(c.FillRect, 2) << "the clearing and the face";
        EXPECT_EQ(c.CreateSolidBrush, 2);
        ExpectPensBalanced(c, 4);
    }
}

// At height 6 the one-row face gradient is left out (its band has no height), at 5 the
// side bands too: 4 border lines, 2 band rows at 6, and the 4 highlight and shade lines.
TEST_F(RepaintCounts, SmallHeightsLeaveOutTheEmptyGradients) {
    GdiCallCounter counter;
    ASSERT_TRUE(counter.Ready());
    for (const auto& [H, lines] : {std::pair{6, 10}, std::pair{5, 8}}) {
        Place(40, H);
        for (int state = 1; state <= 3; ++state) {
            counter.Reset();
            Button().DrawButton(state);
            EXPECT_EQ(counter.Calls().LineTo, lines) << "height " << H;
            EXPECT_EQ(counter.Calls().SetPixel, 20);
            ExpectPensBalanced(counter.Calls(), lines);
            EXPECT_FALSE(Button().GetFlags().NoRedraw);
        }
    }
}

// GetGuiResources answers 0 under Wine 8, so the objects are also followed one by one:
// of every pen, brush and region made during the repaints, at most the region the
// window holds now may still exist.
TEST_F(RepaintCounts, ObjectCountsStayFlatOverTenThousandRepaints) {
    Place(105, 25, L"&OK");
    Form().Activate();
    ::SetFocus(Site().Hwnd());
    testing_support::Pump(std::chrono::milliseconds(20));
    GdiCallCounter counter;
    ASSERT_TRUE(counter.Ready());
    for (int state = 0; state < xpbutton::kLookCount; ++state) {
        Button().DrawButton(state);
        testing_support::Pump(std::chrono::milliseconds(20));
        const testing_support::GuiCounts before = testing_support::CurrentGuiCounts();
        counter.Reset();
        for (int i = 0; i < 10000; ++i) {
            Button().DrawButton(state);
            if (i % 1000 == 999) testing_support::Pump(std::chrono::milliseconds(2));
        }
        testing_support::Pump(std::chrono::milliseconds(20));
        const testing_support::GuiCounts after = testing_support::CurrentGuiCounts();
        EXPECT_EQ(after.Gdi, before.Gdi) << "state " << state;
        EXPECT_EQ(after.User, before.User) << "state " << state;

        const GdiCalls& c = counter.Calls();
        EXPECT_EQ(c.CreateRoundRectRgn, 10000);
        EXPECT_EQ(c.PensDeleted, c.CreatePen) << "state " << state;
        EXPECT_EQ(c.BrushesDeleted, c.CreateSolidBrush) << "state " << state;
        const std::vector<HGDIOBJ> live = counter.LiveObjectsCreated();
        // Windows keeps the region the window holds; Wine copies it and frees the handle.
        ASSERT_LE(live.size(), 1u) << "state " << state << ": objects made by the repaints still exist";
        for (HGDIOBJ h : live) EXPECT_EQ(::GetObjectType(h), static_cast<DWORD>(OBJ_REGION)) << "state " << state;
    }
}

}  // namespace
}  // namespace dorvane::test
