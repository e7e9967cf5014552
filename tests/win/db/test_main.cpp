// The tests' entry point: the Windows tests link with -municode, so the C runtime calls
// wmain (GoogleTest's own main is then never linked in).
#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
