// Many hook and unhook cycles leave nothing behind: no USER or GDI objects, no stubs, no
// window properties, no records beyond the two in use. (Wine's GetGuiResources reports 0
// objects; there the stub count, the window's property list and its procedure slot are what
// would show a leak. On Windows the object counts are real as well.)
#include "tests/win/hooks/hook_test_support.h"

#include <gtest/gtest.h>

namespace dorvane::test {
namespace {

using namespace hooktest;
using subclass::HOOK_AFTER;
using subclass::HOOK_BEFORE;
using subclass::HookStub;

struct Counts {
    DWORD userObjects;
    DWORD gdiObjects;
    long stubs;
    int windowProps;
    LONG_PTR windowProc;
    bool operator==(const Counts&) const = default;
};

BOOL CALLBACK CountProp(HWND, LPWSTR, HANDLE, ULONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

Counts Measure(HWND hWnd) {
    int props = 0;
    EnumPropsExW(hWnd, &CountProp, reinterpret_cast<LPARAM>(&props));
    return {GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
            HookStub::LiveCount(), props, GetWindowLongPtrW(hWnd, GWLP_WNDPROC)};
}

std::string Describe(const Counts& c) {
    return "user " + std::to_string(c.userObjects) + ", gdi " + std::to_string(c.gdiObjects) + ", stubs " +
           std::to_string(c.stubs) + ", props " + std::to_string(c.windowProps);
}

TEST(HookCycles, TenThousandHookUnhookCyclesLeaveCountsFlat) {
    TestWindow window, form;
    RecordingOwner owner, neighbour("neighbour");
    // A neighbour stays hooked on the form throughout, so every cycle also joins and
    // leaves an existing chain.
    ASSERT_EQ(neighbour.hooks.HookWindow(form.get()), 0);
    neighbour.hooks.HookMessage(form.get(), MSG_B, HOOK_AFTER);

    // Warm up once, so one-time allocations of the system do not count as growth.
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.UnhookWindow(window.get());
    const Counts windowBefore = Measure(window.get());
    const Counts formBefore = Measure(form.get());
    ASSERT_EQ(windowBefore.windowProc, reinterpret_cast<LONG_PTR>(TestWindow::ClassProc()));

    constexpr int kCycles = 10000;
    int failedHooks = 0;
    for (int i = 0; i < kCycles; ++i) {
        // Records 0 and 1, in whichever order the highest-free-first rule hands them out.
        const int32_t a = owner.hooks.HookWindow(window.get());
        const int32_t b = owner.hooks.HookWindow(form.get());
        failedHooks += (a == 0 || a == 1) && b == 1 - a ? 0 : 1;
        owner.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE | HOOK_AFTER);
        owner.hooks.HookMessage(form.get(), MSG_B, HOOK_AFTER);
        SendMessageW(window.get(), MSG_A, 0, 0);
        SendMessageW(form.get(), MSG_B, 0, 0);
        // Unhook in the order of hooking on one, the reverse on the other, alternately.
        if (i % 2 == 0) {
            owner.hooks.UnhookWindow(window.get());
            owner.hooks.UnhookWindow(form.get());
        } else {
            owner.hooks.UnhookWindow(form.get());
            owner.hooks.UnhookWindow(window.get());
        }
    }
    EXPECT_EQ(failedHooks, 0);
    EXPECT_EQ(owner.CallsFor(MSG_A), 2u * kCycles);
    EXPECT_EQ(owner.CallsFor(MSG_B), 1u * kCycles);
    EXPECT_EQ(neighbour.CallsFor(MSG_B), 1u * kCycles);
    EXPECT_EQ(owner.hooks.Records().size(), 2u);

    const Counts windowAfter = Measure(window.get());
    const Counts formAfter = Measure(form.get());
    EXPECT_EQ(windowAfter, windowBefore) << Describe(windowBefore) << " -> " << Describe(windowAfter);
    EXPECT_EQ(formAfter, formBefore) << Describe(formBefore) << " -> " << Describe(formAfter);
    neighbour.hooks.UnhookWindow(form.get());
}

}  // namespace
}  // namespace dorvane::test
