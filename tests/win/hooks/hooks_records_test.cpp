// The hook records and their stubs' message tables: reuse of records and table slots,
// duplicates, several windows, the same window twice, and the handles that must change
// nothing.
#include "tests/win/hooks/hook_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace dorvane::test {
namespace {

using namespace hooktest;

class HookTables : public OneOwnerTest {};

TEST_F(HookTables, DuplicateRegistrationLeavesTheTablesUnchanged) {
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_AFTER);
    owner_.Hooks.HookMessage(window_.get(), kMsgB, HOOK_AFTER);
    const HookStub& stub = *owner_.Hooks.Records()[0].PStub;
    const UINT* table = stub.After().Messages().data();
    ASSERT_EQ(stub.After().Count(), 2);
    EXPECT_EQ(stub.After().Messages(), (std::vector<UINT>{kMsgA, kMsgB}));

    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_AFTER);
    owner_.Hooks.HookMessage(window_.get(), kMsgB, HOOK_AFTER | HOOK_BEFORE);
    EXPECT_EQ(stub.After().Messages(), (std::vector<UINT>{kMsgA, kMsgB}));
    EXPECT_EQ(stub.After().Messages().data(), table);  // not even moved
    EXPECT_EQ(stub.After().Count(), 2);
    EXPECT_EQ(stub.Before().Count(), 1);  // the before-table is a table of its own
    EXPECT_EQ(stub.Before().Messages(), (std::vector<UINT>{kMsgB}));

    SendMessageW(window_.get(), kMsgA, 0, 0);
    EXPECT_EQ(owner_.Calls.size(), 1u);  // delivered once, not once per registration
    SendMessageW(window_.get(), kMsgB, 0, 0);
    EXPECT_EQ(owner_.CallsFor(kMsgB), 2u);  // once from each table
}

TEST_F(HookTables, FreeTableSlotIsReusedBeforeTheTableGrows) {
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE);
    owner_.Hooks.HookMessage(window_.get(), WM_NULL, HOOK_BEFORE);  // an entry of 0: a free slot
    const MessageTable& before = owner_.Hooks.Records()[0].PStub->Before();
    ASSERT_EQ(before.Messages(), (std::vector<UINT>{kMsgA, 0}));
    ASSERT_EQ(before.Count(), 2);

    owner_.Hooks.HookMessage(window_.get(), kMsgC, HOOK_BEFORE);
    EXPECT_EQ(before.Messages(), (std::vector<UINT>{kMsgA, kMsgC}));
    EXPECT_EQ(before.Count(), 2);

    SendMessageW(window_.get(), kMsgC, 0, 0);
    ASSERT_EQ(owner_.Calls.size(), 1u);
    EXPECT_EQ(owner_.Calls[0].Msg, kMsgC);
    EXPECT_TRUE(owner_.Calls[0].Before);
    // The dispatch goes by the table as it now stands: the first entry still delivers, and
    // the slot that took kMsgC no longer stands for WM_NULL.
    SendMessageW(window_.get(), kMsgA, 0, 0);
    EXPECT_EQ(owner_.CallsFor(kMsgA), 1u);
    SendMessageW(window_.get(), WM_NULL, 0, 0);
    EXPECT_EQ(owner_.CallsFor(WM_NULL), 0u);

    // The next new message grows the table again, and is delivered at once.
    owner_.Hooks.HookMessage(window_.get(), kMsgB, HOOK_BEFORE);
    EXPECT_EQ(before.Messages(), (std::vector<UINT>{kMsgA, kMsgC, kMsgB}));
    EXPECT_EQ(before.Count(), 3);
    SendMessageW(window_.get(), kMsgB, 0, 0);
    EXPECT_EQ(owner_.CallsFor(kMsgB), 1u);
}

TEST_F(HookTables, SameWindowTwiceNewestActsFirstAndUnhooksFirst) {
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE);
    ASSERT_EQ(owner_.Hooks.HookWindow(window_.get()), 1);
    owner_.Hooks.HookMessage(window_.get(), kMsgA, HOOK_BEFORE);
    owner_.Hooks.HookMessage(window_.get(), kMsgB, HOOK_BEFORE);
    const auto& records = owner_.Hooks.Records();
    EXPECT_EQ(records[0].PStub->Before().Messages(), (std::vector<UINT>{kMsgA}));
    EXPECT_EQ(records[1].PStub->Before().Messages(), (std::vector<UINT>{kMsgA, kMsgB}));

    // Whichever stub runs first turns kMsgA into kMsgB. Newest first: only the newest
    // knows kMsgA's successor, the older one never sees kMsgA. Oldest first would give two.
    owner_.Action = [](bool, bool&, LRESULT&, HWND&, UINT& uMsg, WPARAM&, LPARAM&) {
        if (uMsg == kMsgA) uMsg = kMsgB;
    };
    EXPECT_EQ(SendMessageW(window_.get(), kMsgA, 1, 1), ProbeResult(kMsgB, 1, 1));
    EXPECT_EQ(owner_.Calls.size(), 1u);

    // The first unhook removes the newer hook; the older keeps working.
    owner_.Hooks.UnhookWindow(window_.get());
    EXPECT_EQ(records[1].HWndHooked, nullptr);
    EXPECT_EQ(records[0].HWndHooked, window_.get());
    owner_.Calls.clear();
    SendMessageW(window_.get(), kMsgA, 1, 1);
    EXPECT_EQ(owner_.Calls.size(), 1u);
    owner_.Hooks.UnhookWindow(window_.get());
    EXPECT_EQ(records[0].HWndHooked, nullptr);
    EXPECT_EQ(ProcOf(window_.get()), ClassProcValue());
}

TEST(HookRecords, HookUnhookHookReusesTheRecord) {
    const long stubs = HookStub::LiveCount();
    TestWindow window;
    RecordingOwner owner;
    EXPECT_TRUE(owner.Hooks.Records().empty());  // the first hook makes the records
    ASSERT_EQ(owner.Hooks.HookWindow(window.get()), 0);
    owner.Hooks.HookMessage(window.get(), kMsgA, HOOK_AFTER | HOOK_BEFORE);
    owner.Hooks.UnhookWindow(window.get());

    // The record is free: its stub, with the stub's tables, is gone from the window and freed.
    const auto& records = owner.Hooks.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].HWndHooked, nullptr);
    EXPECT_EQ(records[0].PStub, nullptr);
    EXPECT_EQ(HookStub::LiveCount(), stubs);
    EXPECT_EQ(ProcOf(window.get()), ClassProcValue());
    // Registering on, or unhooking, a window no longer hooked does nothing.
    owner.Hooks.HookMessage(window.get(), kMsgA, HOOK_AFTER);
    owner.Hooks.UnhookWindow(window.get());
    EXPECT_EQ(records[0].PStub, nullptr);
    SendMessageW(window.get(), kMsgA, 0, 0);
    EXPECT_TRUE(owner.Calls.empty());

    EXPECT_EQ(owner.Hooks.HookWindow(window.get()), 0);
    EXPECT_EQ(records.size(), 1u);
    // A fresh hook forwards only: nothing of the old tables comes back.
    const HookStub& stub = *records[0].PStub;
    EXPECT_EQ(stub.After().Count(), 0);
    EXPECT_EQ(stub.Before().Count(), 0);
    EXPECT_TRUE(stub.After().Messages().empty());
    EXPECT_TRUE(stub.Before().Messages().empty());
    SendMessageW(window.get(), kMsgA, 0, 0);
    EXPECT_TRUE(owner.Calls.empty());
    owner.Hooks.UnhookWindow(window.get());
}

TEST(HookRecords, SecondWindowAppendsRecordOneAndBothWork) {
    TestWindow first, second;
    RecordingOwner owner;
    ASSERT_EQ(owner.Hooks.HookWindow(first.get()), 0);
    EXPECT_EQ(owner.Hooks.Records().size(), 1u);  // the first hook makes record 0 alone
    ASSERT_EQ(owner.Hooks.HookWindow(second.get()), 1);
    ASSERT_EQ(owner.Hooks.Records().size(), 2u);
    EXPECT_EQ(owner.Hooks.Records()[0].HWndHooked, first.get());
    EXPECT_EQ(owner.Hooks.Records()[1].HWndHooked, second.get());
    EXPECT_EQ(owner.Hooks.FindHook(first.get(), false), 0);
    EXPECT_EQ(owner.Hooks.FindHook(second.get(), false), 1);
    EXPECT_EQ(owner.Hooks.FindHook(nullptr, true), -1);

    owner.Hooks.HookMessage(first.get(), kMsgA, HOOK_AFTER);
    owner.Hooks.HookMessage(second.get(), kMsgB, HOOK_AFTER);
    SendMessageW(first.get(), kMsgA, 0, 0);
    SendMessageW(first.get(), kMsgB, 0, 0);
    SendMessageW(second.get(), kMsgA, 0, 0);
    SendMessageW(second.get(), kMsgB, 0, 0);
    ASSERT_EQ(owner.Calls.size(), 2u);
    EXPECT_EQ(owner.Calls[0].Msg, kMsgA);
    EXPECT_EQ(owner.Calls[1].Msg, kMsgB);

    // The highest free record is taken first.
    owner.Hooks.UnhookWindow(first.get());
    owner.Hooks.UnhookWindow(second.get());
    EXPECT_EQ(owner.Hooks.FindHook(nullptr, true), 1);
    EXPECT_EQ(owner.Hooks.HookWindow(first.get()), 1);
    EXPECT_EQ(owner.Hooks.HookWindow(second.get()), 0);
    EXPECT_EQ(owner.Hooks.Records().size(), 2u);
}

TEST(HookRecords, NewerHookInAReusedLowerRecordIsTheOneActedOn) {
    TestWindow window, other;
    RecordingOwner owner;
    ASSERT_EQ(owner.Hooks.HookWindow(other.get()), 0);
    ASSERT_EQ(owner.Hooks.HookWindow(window.get()), 1);
    owner.Hooks.UnhookWindow(other.get());
    ASSERT_EQ(owner.Hooks.HookWindow(window.get()), 0);  // newer, below the older record

    owner.Hooks.HookMessage(window.get(), kMsgA, HOOK_AFTER);
    EXPECT_EQ(owner.Hooks.Records()[0].PStub->After().Count(), 1);
    EXPECT_EQ(owner.Hooks.Records()[1].PStub->After().Count(), 0);
    owner.Hooks.UnhookWindow(window.get());
    EXPECT_EQ(owner.Hooks.Records()[0].HWndHooked, nullptr);
    EXPECT_EQ(owner.Hooks.Records()[1].HWndHooked, window.get());
    owner.Hooks.UnhookWindow(window.get());
    EXPECT_EQ(owner.Hooks.Records()[1].HWndHooked, nullptr);
}

TEST(HookRecords, HandleZeroChangesNothing) {
    RecordingOwner fresh;
    fresh.Hooks.HookMessage(nullptr, kMsgA, HOOK_AFTER);
    fresh.Hooks.UnhookWindow(nullptr);
    EXPECT_TRUE(fresh.Hooks.Records().empty());

    TestWindow first, second;
    RecordingOwner owner;
    ASSERT_EQ(owner.Hooks.HookWindow(first.get()), 0);
    ASSERT_EQ(owner.Hooks.HookWindow(second.get()), 1);
    owner.Hooks.UnhookWindow(first.get());  // record 0 is free: its handle is 0
    const long stubs = HookStub::LiveCount();

    owner.Hooks.HookMessage(nullptr, kMsgA, HOOK_AFTER | HOOK_BEFORE);
    owner.Hooks.UnhookWindow(nullptr);
    // Neither the free record nor the hook beside it took anything.
    const auto& records = owner.Hooks.Records();
    EXPECT_EQ(records[0].HWndHooked, nullptr);
    EXPECT_EQ(records[0].PStub, nullptr);
    EXPECT_EQ(records[1].HWndHooked, second.get());
    ASSERT_NE(records[1].PStub, nullptr);
    EXPECT_EQ(records[1].PStub->After().Count(), 0);
    EXPECT_EQ(records[1].PStub->Before().Count(), 0);
    EXPECT_EQ(HookStub::LiveCount(), stubs);
    owner.Hooks.UnhookWindow(second.get());
}

TEST(HookRecords, FailedInstallationLeavesWindowUntouchedAndRecordFree) {
    RecordingOwner owner;
    const long stubs = HookStub::LiveCount();
    EXPECT_EQ(owner.Hooks.HookWindow(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7654320))), -1);
    EXPECT_EQ(owner.Hooks.HookWindow(nullptr), -1);
    HWND destroyed = nullptr;
    {
        TestWindow gone;
        destroyed = gone.get();
    }
    EXPECT_EQ(owner.Hooks.HookWindow(destroyed), -1);

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
    const LONG_PTR procBefore = ProcOf(foreign);
    EXPECT_EQ(owner.Hooks.HookWindow(foreign), -1);
    EXPECT_EQ(ProcOf(foreign), procBefore);
    finished.set_value();
    other.join();

    for (const auto& record : owner.Hooks.Records()) {
        EXPECT_EQ(record.HWndHooked, nullptr);
        EXPECT_EQ(record.PStub, nullptr);
    }
    EXPECT_EQ(owner.Hooks.Records().size(), 1u);  // one free record, reused by each attempt
    EXPECT_EQ(HookStub::LiveCount(), stubs);
}

}  // namespace
}  // namespace dorvane::test
