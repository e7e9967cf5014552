// DrawButton per repaint at the three sizes Form1's buttons have, in every look, and the
// process's USER and GDI object counts before and after 10,000 repaints at each size.
//   bench_drawbutton [REPAINTS]
// Prints "draw_us_<W>x<H> <microseconds per repaint>" and "user_objects_<W>x<H>_before",
// "..._after", "gdi_objects_<W>x<H>_before", "..._after".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_timer.h"
#include "tests/win/common/test_form.h"

int wmain(int argc, wchar_t** argv) {
    const int repaints = argc > 1 ? _wtoi(argv[1]) : 10000;
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{105, 25}, {97, 33}, {89, 25}};
    testing_support::TestForm form(400, 300);
    form.Activate();
    int n = 0;
    for (const Size& s : sizes) {
        const std::wstring name = L"XPButton2" + std::to_wstring(++n);
        const host::PropertyBag bag = testing_support::ButtonBag(L"分离");
        host::ControlSite& site = form.AddButton(name, RECT{10, 10, 10 + s.w, 10 + s.h}, &bag);
        xpbutton::XPButton2& button = testing_support::TestForm::ButtonOf(site);
        testing_support::Pump();
        for (int state = 0; state < xpbutton::kLookCount; ++state) button.DrawButton(state);  // warm the caches
        const testing_support::GuiCounts before = testing_support::CurrentGuiCounts();
        const double start = bench::NowMs();
        for (int i = 0; i < repaints; ++i) button.DrawButton(i % xpbutton::kLookCount);
        const double elapsed = bench::NowMs() - start;
        const testing_support::GuiCounts after = testing_support::CurrentGuiCounts();
        const std::string size = std::to_string(s.w) + "x" + std::to_string(s.h);
        bench::Report(("draw_us_" + size).c_str(), 1000.0 * elapsed / repaints);
        bench::Report(("user_objects_" + size + "_before").c_str(), before.User);
        bench::Report(("user_objects_" + size + "_after").c_str(), after.User);
        bench::Report(("gdi_objects_" + size + "_before").c_str(), before.Gdi);
        bench::Report(("gdi_objects_" + size + "_after").c_str(), after.Gdi);
        testing_support::Pump();
    }
    return 0;
}
