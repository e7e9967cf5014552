// The two messages that open a stand-in session: PRELOGIN's option table and the LOGIN7
// record. Properties:
//  - both parsers take any bytes and either give a result or a reason;
//  - a LOGIN7 record that parses, rebuilt with BuildLogin7, parses to the same fields
//    (the offset/length checks and the password scrambling agree with each other).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/standin/src/login7.h"

namespace {

bool SameLogin(const standin::Login7& a, const standin::Login7& b) {
    return a.tds_version == b.tds_version && a.packet_size == b.packet_size && a.host_name == b.host_name &&
           a.user_name == b.user_name && a.password == b.password && a.app_name == b.app_name &&
           a.server_name == b.server_name && a.library_name == b.library_name && a.language == b.language &&
           a.database == b.database && a.integrated_security == b.integrated_security;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const standin::ByteSpan bytes(data, size);
    std::string error;
    if (!standin::ParsePrelogin(bytes, &error)) fuzz::Check(!error.empty(), "PRELOGIN refused without a reason");

    error.clear();
    const auto login = standin::ParseLogin7(bytes, &error);
    if (!login) {
        fuzz::Check(!error.empty(), "LOGIN7 refused without a reason");
        return 0;
    }
    for (unsigned b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        fuzz::Check(standin::UnscramblePasswordByte(standin::ScramblePasswordByte(byte)) == byte,
                    "password scrambling does not undo");
    }
    const standin::Bytes rebuilt = standin::BuildLogin7(*login);
    error.clear();
    const auto again = standin::ParseLogin7(rebuilt, &error);
    fuzz::Check(again.has_value(), "BuildLogin7 wrote a record that ParseLogin7 refuses");
    fuzz::Check(SameLogin(*login, *again), "a LOGIN7 record rebuilt from its fields reads differently");
    return 0;
}
