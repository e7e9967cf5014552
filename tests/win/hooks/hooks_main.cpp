// Entry point of the hook tests: the Windows test programs link with -municode, which makes
// wmain the program's entry, so GoogleTest is started from here rather than from its main.
#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
