// Entry point of the XPButton2 model tests: the Windows test programs link with -municode,
// which makes wmain the program's entry, so GoogleTest is started from here.
#include <gtest/gtest.h>

#include "model_support.h"

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    model_testing::ParkCursor();
    return RUN_ALL_TESTS();
}
