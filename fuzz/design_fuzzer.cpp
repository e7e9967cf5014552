// The reader of a form's stored design. Properties:
//  - any text either gives a tree or raises host::Error (nothing else escapes);
//  - a tree that was read, written with WriteDesign, reads back to a tree that writes
//    the same text again (the writer's quoting and the reader agree).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "host/design_format.h"
#include "host/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    host::DesignNode tree;
    try {
        tree = host::ParseDesign(fuzz::Chars(data, size));
    } catch (const host::Error& e) {
        fuzz::Check(!e.Description().empty(), "a design refused without a description");
        return 0;
    }
    const std::string written = host::WriteDesign(tree);
    try {
        const host::DesignNode again = host::ParseDesign(written);
        fuzz::Check(host::WriteDesign(again) == written, "a written design reads back differently");
    } catch (const host::Error&) {
        fuzz::Fail("WriteDesign wrote a design that ParseDesign refuses");
    }
    return 0;
}
