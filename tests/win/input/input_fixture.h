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
        form_ = std::make_unique<testing_support::TestForm>();
        ok_ = AddProbe(*form_, L"XPButton21", L"&OK");
        // Both hooks must be in place: the control's own window and the form's.
        ASSERT_NE(ok_.Button().Hooks().FindHook(ok_.Hwnd(), false), -1);
        ASSERT_NE(ok_.Button().Hooks().FindHook(form_->Hwnd(), false), -1);
        ASSERT_TRUE(ActivateAgain(*form_, other_, {&ok_}));
        ok_.Log->Clear();
    }
    void TearDown() override { ParkCursor(); }

    OtherWindow other_;
    std::unique_ptr<testing_support::TestForm> form_;
    Probe ok_;
};

}  // namespace input_testing
