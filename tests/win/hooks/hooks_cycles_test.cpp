// Many hook and unhook cycles leave nothing behind: no USER or GDI objects, no stubs, no
// window properties, no records beyond the two in use. (Wine's GetGuiResources reports 0
// objects; there the stub count, the window's property list and its procedure slot are what
// would show a leak. On Windows the object counts are real as well.)
#include "tests/win/hooks/hook_test_support.h"

#include <gtest/gtest.h>

namespace dorvane::test {
namespace {

using namespace hooktest;

struct Counts {
    DWORD UserObjects;
    DWORD GdiObjects;
    long Stubs;
    int WindowProps;
    LONG_PTR WindowProc;
    bool operator==(const Counts&) const = default;
};

BOOL CALLBACK CountProp(HWND, LPWSTR, HANDLE, ULONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

Counts Measure(HWND hwnd) {
    int props = 0;
    EnumPropsExW(hwnd, &CountProp, reinterpret_cast<LPARAM>(&props));
    return {GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
            HookStub::LiveCount(), props, ProcOf(hwnd)};
}

std::string Describe(const Counts& c) {
    return "user " + std::to_string(c.UserObjects) + ", gdi " + std::to_string(c.GdiObjects) + ", stubs " +
           std::to_string(c.Stubs) + ", props " + std::to_string(c.WindowProps);
}

TEST(HookCycles, TenThousandHookUnhookCyclesLeaveCountsFlat) {
    TestWindow window, form;
    RecordingOwner owner, neighbour("neighbour");
    // A neighbour stays hooked on the form throughout, so every cycle also joins and
    // leaves an existing chain.
    ASSERT_EQ(neighbour.Hooks.HookWindow(form.get()), 0);
    neighbour.Hooks.HookMessage(form.get(), kMsgB, HOOK_AFTER);

    // Warm up once, so one-time allocations of the system do not count as growth.
    ASSERT_EQ(owner.Hooks.HookWindow(window.get()), 0);
    owner.Hooks.UnhookWindow(window.get());
    const Counts windowBefore = Measure(window.get());
    const Counts formBefore = Measure(form.get());
    ASSERT_EQ(windowBefore.WindowProc, ClassProcValue());

    constexpr int kCycles = 10000;
    int failedHooks = 0;
    for (int i = 0; i < kCycles; ++i) {
        // Records 0 and 1, in whichever order the highest-free-first rule hands them out.
        const int32_t a = owner.Hooks.HookWindow(window.get());
        const int32_t b = owner.Hooks.HookWindow(form.get());
        failedHooks += (a == 0 || a == 1) && b == 1 - a ? 0 : 1;
        owner.Hooks.HookMessage(window.get(), kMsgA, HOOK_BEFORE | HOOK_AFTER);
        owner.Hooks.HookMessage(form.get(), kMsgB, HOOK_AFTER);
        SendMessageW(window.get(), kMsgA, 0, 0);
        SendMessageW(form.get(), kMsgB, 0, 0);
        // Unhook in the order of hooking on one, the reverse on the other, alternately.
        if (i % 2 == 0) {
            owner.Hooks.UnhookWindow(window.get());
            owner.Hooks.UnhookWindow(form.get());
        } else {
            owner.Hooks.UnhookWindow(form.get());
            owner.Hooks.UnhookWindow(window.get());
        }
    }
    EXPECT_EQ(failedHooks, 0);
    EXPECT_EQ(owner.CallsFor(kMsgA), 2u * kCycles);
    EXPECT_EQ(owner.CallsFor(kMsgB), 1u * kCycles);
    EXPECT_EQ(neighbour.CallsFor(kMsgB), 1u * kCycles);
    EXPECT_EQ(owner.Hooks.Records().size(), 2u);

    const Counts windowAfter = Measure(window.get());
    const Counts formAfter = Measure(form.get());
    EXPECT_EQ(windowAfter, windowBefore) << Describe(windowBefore) << " -> " << Describe(windowAfter);
    EXPECT_EQ(formAfter, formBefore) << Describe(formBefore) << " -> " << Describe(formAfter);
    neighbour.Hooks.UnhookWindow(form.get());
}

}  // namespace
}  // namespace dorvane::test
