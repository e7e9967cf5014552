// The hook records and their message tables: reuse of records and table slots, duplicates,
// several windows, the same window twice, and the handles that must change nothing.
#include "tests/win/hooks/hook_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace dorvane::test {
namespace {

using namespace hooktest;
using subclass::HOOK_AFTER;
using subclass::HOOK_BEFORE;

TEST(HookRecords, DuplicateRegistrationLeavesTableAndStubUnchanged) {
    TestWindow window;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_AFTER);
    owner.hooks.HookMessage(window.get(), MSG_B, HOOK_AFTER);
    const auto& record = owner.hooks.Records()[0];
    const UINT* table = record.pStub->AfterTable();
    ASSERT_EQ(record.pStub->AfterCount(), 2);
    EXPECT_EQ(table, record.aAfterMsgs.data());

    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_AFTER);
    owner.hooks.HookMessage(window.get(), MSG_B, HOOK_AFTER | HOOK_BEFORE);
    EXPECT_EQ(record.nAfterCount, 2);
    EXPECT_EQ(record.aAfterMsgs, (std::vector<UINT>{MSG_A, MSG_B}));
    EXPECT_EQ(record.pStub->AfterTable(), table);
    EXPECT_EQ(record.pStub->AfterCount(), 2);
    EXPECT_EQ(record.nBeforeCount, 1);  // the before-table is a table of its own
    EXPECT_EQ(record.aBeforeMsgs, (std::vector<UINT>{MSG_B}));

    SendMessageW(window.get(), MSG_A, 0, 0);
    EXPECT_EQ(owner.calls.size(), 1u);  // delivered once, not once per registration
    owner.hooks.UnhookWindow(window.get());
}

TEST(HookRecords, FreeTableSlotIsReusedBeforeTheTableGrows) {
    TestWindow window;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE);
    owner.hooks.HookMessage(window.get(), WM_NULL, HOOK_BEFORE);  // an entry of 0: a free slot
    const auto& record = owner.hooks.Records()[0];
    ASSERT_EQ(record.aBeforeMsgs, (std::vector<UINT>{MSG_A, 0}));
    ASSERT_EQ(record.nBeforeCount, 2);

    owner.hooks.HookMessage(window.get(), MSG_C, HOOK_BEFORE);
    EXPECT_EQ(record.aBeforeMsgs, (std::vector<UINT>{MSG_A, MSG_C}));
    EXPECT_EQ(record.nBeforeCount, 2);
    EXPECT_EQ(record.pStub->BeforeCount(), 2);
    EXPECT_EQ(record.pStub->BeforeTable(), record.aBeforeMsgs.data());

    SendMessageW(window.get(), MSG_C, 0, 0);
    ASSERT_EQ(owner.calls.size(), 1u);
    EXPECT_EQ(owner.calls[0].uMsg, MSG_C);
    EXPECT_TRUE(owner.calls[0].bBefore);

    // The next new message grows the table again.
    owner.hooks.HookMessage(window.get(), MSG_B, HOOK_BEFORE);
    EXPECT_EQ(record.aBeforeMsgs, (std::vector<UINT>{MSG_A, MSG_C, MSG_B}));
    EXPECT_EQ(record.pStub->BeforeCount(), 3);
    EXPECT_EQ(record.pStub->BeforeTable(), record.aBeforeMsgs.data());
    owner.hooks.UnhookWindow(window.get());
}

TEST(HookRecords, HookUnhookHookReusesTheRecord) {
    TestWindow window;
    RecordingOwner owner;
    EXPECT_FALSE(owner.hooks.TemplateBuilt());
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_AFTER | HOOK_BEFORE);
    owner.hooks.UnhookWindow(window.get());

    const auto& records = owner.hooks.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].hWndHooked, nullptr);
    EXPECT_EQ(records[0].pStub, nullptr);
    EXPECT_EQ(records[0].nAfterCount, 0);
    EXPECT_EQ(records[0].nBeforeCount, 0);
    EXPECT_TRUE(records[0].aAfterMsgs.empty());
    EXPECT_TRUE(records[0].aBeforeMsgs.empty());
    SendMessageW(window.get(), MSG_A, 0, 0);
    EXPECT_TRUE(owner.calls.empty());

    EXPECT_EQ(owner.hooks.HookWindow(window.get()), 0);
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].nAfterCount, 0);  // a fresh hook forwards only
    SendMessageW(window.get(), MSG_A, 0, 0);
    EXPECT_TRUE(owner.calls.empty());
    owner.hooks.UnhookWindow(window.get());
}

TEST(HookRecords, SecondWindowAppendsRecordOneAndBothWork) {
    TestWindow first, second;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(first.get()), 0);
    EXPECT_TRUE(owner.hooks.TemplateBuilt());
    ASSERT_EQ(owner.hooks.HookWindow(second.get()), 1);
    ASSERT_EQ(owner.hooks.Records().size(), 2u);
    EXPECT_EQ(owner.hooks.Records()[0].hWndHooked, first.get());
    EXPECT_EQ(owner.hooks.Records()[1].hWndHooked, second.get());
    EXPECT_EQ(owner.hooks.FindHook(first.get(), false), 0);
    EXPECT_EQ(owner.hooks.FindHook(second.get(), false), 1);
    EXPECT_EQ(owner.hooks.FindHook(nullptr, true), -1);

    owner.hooks.HookMessage(first.get(), MSG_A, HOOK_AFTER);
    owner.hooks.HookMessage(second.get(), MSG_B, HOOK_AFTER);
    SendMessageW(first.get(), MSG_A, 0, 0);
    SendMessageW(first.get(), MSG_B, 0, 0);
    SendMessageW(second.get(), MSG_A, 0, 0);
    SendMessageW(second.get(), MSG_B, 0, 0);
    ASSERT_EQ(owner.calls.size(), 2u);
    EXPECT_EQ(owner.calls[0].uMsg, MSG_A);
    EXPECT_EQ(owner.calls[1].uMsg, MSG_B);

    // The highest free record is taken first.
    owner.hooks.UnhookWindow(first.get());
    owner.hooks.UnhookWindow(second.get());
    EXPECT_EQ(owner.hooks.FindHook(nullptr, true), 1);
    EXPECT_EQ(owner.hooks.HookWindow(first.get()), 1);
    EXPECT_EQ(owner.hooks.HookWindow(second.get()), 0);
    EXPECT_EQ(owner.hooks.Records().size(), 2u);
}

TEST(HookRecords, SameWindowTwiceNewestActsFirstAndUnhooksFirst) {
    TestWindow window;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE);
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 1);
    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_BEFORE);
    owner.hooks.HookMessage(window.get(), MSG_B, HOOK_BEFORE);
    const auto& records = owner.hooks.Records();
    EXPECT_EQ(records[0].aBeforeMsgs, (std::vector<UINT>{MSG_A}));
    EXPECT_EQ(records[1].aBeforeMsgs, (std::vector<UINT>{MSG_A, MSG_B}));

    // Whichever stub runs first turns MSG_A into MSG_B. Newest first: only the newest
    // knows MSG_A's successor, the older one never sees MSG_A. Oldest first would give two.
    owner.action = [](bool, bool&, LRESULT&, HWND&, UINT& uMsg, WPARAM&, LPARAM&) {
        if (uMsg == MSG_A) uMsg = MSG_B;
    };
    EXPECT_EQ(SendMessageW(window.get(), MSG_A, 1, 1), ProbeResult(MSG_B, 1, 1));
    EXPECT_EQ(owner.calls.size(), 1u);

    // The first unhook removes the newer hook; the older keeps working.
    owner.hooks.UnhookWindow(window.get());
    EXPECT_EQ(records[1].hWndHooked, nullptr);
    EXPECT_EQ(records[0].hWndHooked, window.get());
    owner.calls.clear();
    SendMessageW(window.get(), MSG_A, 1, 1);
    EXPECT_EQ(owner.calls.size(), 1u);
    owner.hooks.UnhookWindow(window.get());
    EXPECT_EQ(records[0].hWndHooked, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(window.get(), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(TestWindow::ClassProc()));
}

TEST(HookRecords, NewerHookInAReusedLowerRecordIsTheOneActedOn) {
    TestWindow window, other;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(other.get()), 0);
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 1);
    owner.hooks.UnhookWindow(other.get());
    ASSERT_EQ(owner.hooks.HookWindow(window.get()), 0);  // newer, below the older record

    owner.hooks.HookMessage(window.get(), MSG_A, HOOK_AFTER);
    EXPECT_EQ(owner.hooks.Records()[0].nAfterCount, 1);
    EXPECT_EQ(owner.hooks.Records()[1].nAfterCount, 0);
    owner.hooks.UnhookWindow(window.get());
    EXPECT_EQ(owner.hooks.Records()[0].hWndHooked, nullptr);
    EXPECT_EQ(owner.hooks.Records()[1].hWndHooked, window.get());
    owner.hooks.UnhookWindow(window.get());
    EXPECT_EQ(owner.hooks.Records()[1].hWndHooked, nullptr);
}

TEST(HookRecords, HandleZeroChangesNothing) {
    RecordingOwner fresh;
    fresh.hooks.HookMessage(nullptr, MSG_A, HOOK_AFTER);
    fresh.hooks.UnhookWindow(nullptr);
    EXPECT_TRUE(fresh.hooks.Records().empty());

    TestWindow first, second;
    RecordingOwner owner;
    ASSERT_EQ(owner.hooks.HookWindow(first.get()), 0);
    ASSERT_EQ(owner.hooks.HookWindow(second.get()), 1);
    owner.hooks.UnhookWindow(first.get());  // record 0 is free: its handle is 0
    const long stubs = subclass::HookStub::LiveCount();

    owner.hooks.HookMessage(nullptr, MSG_A, HOOK_AFTER | HOOK_BEFORE);
    owner.hooks.UnhookWindow(nullptr);
    const auto& records = owner.hooks.Records();
    EXPECT_EQ(records[0].nAfterCount, 0);
    EXPECT_EQ(records[0].nBeforeCount, 0);
    EXPECT_TRUE(records[0].aAfterMsgs.empty());
    EXPECT_EQ(records[1].hWndHooked, second.get());
    EXPECT_NE(records[1].pStub, nullptr);
    EXPECT_EQ(subclass::HookStub::LiveCount(), stubs);
    owner.hooks.UnhookWindow(second.get());
}

TEST(HookRecords, FailedInstallationLeavesWindowUntouchedAndRecordFree) {
    RecordingOwner owner;
    const long stubs = subclass::HookStub::LiveCount();
    EXPECT_EQ(owner.hooks.HookWindow(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7654320))), -1);
    EXPECT_EQ(owner.hooks.HookWindow(nullptr), -1);
    HWND destroyed = nullptr;
    {
        TestWindow gone;
        destroyed = gone.get();
    }
    EXPECT_EQ(owner.hooks.HookWindow(destroyed), -1);

    // A window of another thread: the subclassing service is for the caller's own windows.
    std::promise<HWND> created;
    std::promise<void> finished;
    std::thread other([&created, done = finished.get_future()]() mutable {
        TestWindow window;
        created.set_value(window.get());
        done.wait_for(std::chrono::seconds(10));
    });
    auto createdFuture = created.get_future();
    HWND foreign = createdFuture.get();
    const LONG_PTR procBefore = GetWindowLongPtrW(foreign, GWLP_WNDPROC);
    EXPECT_EQ(owner.hooks.HookWindow(foreign), -1);
    EXPECT_EQ(GetWindowLongPtrW(foreign, GWLP_WNDPROC), procBefore);
    finished.set_value();
    other.join();

    for (const auto& record : owner.hooks.Records()) {
        EXPECT_EQ(record.hWndHooked, nullptr);
        EXPECT_EQ(record.pStub, nullptr);
    }
    EXPECT_EQ(owner.hooks.Records().size(), 1u);  // one free record, reused by each attempt
    EXPECT_EQ(subclass::HookStub::LiveCount(), stubs);
}

}  // namespace
}  // namespace dorvane::test
