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
    return a.TdsVersion == b.TdsVersion && a.PacketSize == b.PacketSize && a.HostName == b.HostName &&
           a.UserName == b.UserName && a.Password == b.Password && a.AppName == b.AppName &&
           a.ServerName == b.ServerName && a.LibraryName == b.LibraryName && a.Language == b.Language &&
           a.Database == b.Database && a.IntegratedSecurity == b.IntegratedSecurity;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const standin::ByteSpan bytes(data, size);
    std::string error;
    if (!standin::ParsePrelogin(bytes, error)) fuzz::Check(!error.empty(), "PRELOGIN refused without a reason");

    error.clear();
    const auto login = standin::ParseLogin7(bytes, error);
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
    const auto again = standin::ParseLogin7(rebuilt, error);
    fuzz::Check(again.has_value(), "BuildLogin7 wrote a record that ParseLogin7 refuses");
    fuzz::Check(SameLogin(*login, *again), "a LOGIN7 record rebuilt from its fields reads differently");
    return 0;
}
