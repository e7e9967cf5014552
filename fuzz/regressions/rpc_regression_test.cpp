// RPC parameters the sql_batch fuzzer found: an INTN value longer than eight bytes. The
// reader shifts every byte into a 64-bit integer before it looks at the length, so the
// ninth byte is shifted by 64 bits, which is undefined behaviour (UBSan stops the
// process). Such a parameter must be refused as a malformed message.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tools/standin/src/rpc.h"

namespace {

// sp_execute (procedure id 12) with one unnamed INTN parameter whose value has `length`
// bytes.
standin::Bytes ExecuteWithIntN(std::uint8_t length) {
    standin::Bytes body = {0xFF,  0xFF, 12, 0,  // procedure given by id
                           0,     0,            // option flags
                           0,                   // parameter name: none
                           0,                   // status flags
                           0x26,  8,            // INTN, declared size 8
                           length};
    for (std::uint8_t i = 0; i < length; ++i) body.push_back(static_cast<std::uint8_t>(0x11 * (i + 1)));
    return body;
}

TEST(RpcRegression, IntNLongerThanEightBytesIsRefused) {
    for (std::uint8_t length : {9, 16, 255}) {
        std::string error, unsupported;
        const auto rpc = standin::ParseRpc(ExecuteWithIntN(length), error, unsupported);
        EXPECT_FALSE(rpc.has_value()) << int(length);
        EXPECT_FALSE(error.empty()) << int(length);
    }
}

TEST(RpcRegression, IntNOfEightBytesStillReads) {
    std::string error, unsupported;
    const auto rpc = standin::ParseRpc(ExecuteWithIntN(8), error, unsupported);
    ASSERT_TRUE(rpc.has_value()) << error;
    ASSERT_EQ(rpc->Calls.size(), 1u);
    EXPECT_EQ(rpc->Calls[0].ProcId, 12);
    ASSERT_EQ(rpc->Calls[0].Arguments.size(), 1u);
    EXPECT_EQ(rpc->Calls[0].Arguments[0].Value.Kind, standin::ValueKind::Number);
}

}  // namespace
