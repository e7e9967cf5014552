// The steps of Dorvane's start, timed in the benchmark build only (DORVANE_BENCH): each
// Mark(step) gives the time and the working-set growth since the previous mark to that
// step, so a step marked more than once (a button's properties, between its window and the
// next one's) adds up. The launcher (bench/bench_launch.cpp, --steps) names a shared
// section in kVariable, stamps the moment it starts the process in it and reads it once the
// first paint is complete. Outside the benchmark build, and in it without the variable,
// marks do nothing.
#pragma once

#include <cstdint>

namespace app::start_steps {

enum Step : int {
    ProcessStart,   // from CreateProcess to wWinMain: the loader, the image, the runtime
    CommonControls, // comctl32 and its classes
    DesignRead,     // the stored design parsed
    FormWindow,     // Form1's window
    Icons,          // its icons
    Fonts,          // the labels' and fields' font
    ChildWindows,   // the children's windows
    ButtonSetUp,    // the buttons' properties, fonts, hooks and regions
    Layout,         // places and the window's size
    Shown,          // shown, and the form's own paint but for the banner
    Banner,         // the banner decoded and drawn, and the labels' brushes made from it
    FirstPaint,     // the children's paints, until the queue is first empty
    StepCount
};

inline constexpr wchar_t kVariable[] = L"DORVANE_START_STEPS";

// The shared section's layout. Counts are QueryPerformanceCounter values, one clock for
// both processes; OwnCost is what the marks themselves took, left out of every step.
struct Record {
    int64_t Last;                    // the previous mark (the launcher writes the first)
    uint64_t LastWorkingSet;         // its working set, bytes (0 before the process)
    int64_t Counts[StepCount];      // per step, summed
    int64_t WorkingSet[StepCount];  // per step, bytes added (summed)
    int64_t OwnCost;
    int32_t Marks;
};

#ifdef DORVANE_BENCH
void Mark(Step step);
#else
inline void Mark(Step) {}
#endif

}  // namespace app::start_steps
