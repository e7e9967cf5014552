// The fixture of the input tests: a real form with one run-mode button "&OK" whose form
// has been activated since the button hooked it, the pointer parked outside.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tests/win/input/input_support.h"

namespace input_testing {

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ParkCursor();
        form = std::make_unique<testing_support::TestForm>();
        ok = AddProbe(*form, L"XPButton21", L"&OK");
        // Both hooks must be in place: the control's own window and the form's.
        ASSERT_NE(ok.Button().Hooks().FindHook(ok.Hwnd(), false), -1);
        ASSERT_NE(ok.Button().Hooks().FindHook(form->Hwnd(), false), -1);
        ASSERT_TRUE(ActivateAgain(*form, other, {&ok}));
        ok.Log->Clear();
    }
    void TearDown() override { ParkCursor(); }

    OtherWindow other;
    std::unique_ptr<testing_support::TestForm> form;
    Probe ok;
};

}  // namespace input_testing
