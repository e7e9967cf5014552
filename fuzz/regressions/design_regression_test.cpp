// A stored design the design fuzzer found: a property whose key is "Begin" (any case).
// The reader took "Begin=1" as a property, the writer wrote it back as "begin = 1", and
// the reader then took that line for the start of a child object and refused the text.
// A tree that was read must write a text that reads back to the same tree.
#include <gtest/gtest.h>

#include <string>

#include "host/design_format.h"
#include "host/error.h"

namespace {

TEST(DesignRegression, PropertiesNamedLikeKeywordsReadBackAfterWriting) {
    for (const char* text : {"Begin F F\nBegin=1\nEnd\n", "Begin F F\n  End = \"x\"\nEnd\n",
                             "Begin F F\n  BEGIN = True\n  Begin Label L\n  End\nEnd\n"}) {
        host::DesignNode tree;
        ASSERT_NO_THROW(tree = host::ParseDesign(text)) << text;
        const std::string written = host::WriteDesign(tree);
        try {
            const host::DesignNode again = host::ParseDesign(written);
            EXPECT_EQ(host::WriteDesign(again), written);
            EXPECT_EQ(again.Children.size(), tree.Children.size()) << written;
        } catch (const host::Error& e) {
            ADD_FAILURE() << "the written design does not read back: " << e.what() << "\n" << written;
        }
    }
}

}  // namespace
