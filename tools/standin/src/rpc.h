// RPC request messages: a procedure named or given by its well-known id, with typed
// parameters. The stand-in reads the parameter types clients use for plain values
// (integers, bits, character and Unicode strings).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/standin/src/sql_parser.h"
#include "tools/standin/src/wire.h"

namespace standin {

// Well-known procedure ids of RPC requests.
inline constexpr std::uint16_t kProcIdExecuteSql = 10;  // sp_executesql @stmt, @params, values...
inline constexpr std::uint16_t kProcIdPrepare = 11;     // sp_prepare @handle OUTPUT, @params, @stmt
inline constexpr std::uint16_t kProcIdExecute = 12;     // sp_execute @handle, values...
inline constexpr std::uint16_t kProcIdPrepExec = 13;    // sp_prepexec @handle OUTPUT, @params, @stmt, values...
inline constexpr std::uint16_t kProcIdUnprepare = 15;   // sp_unprepare @handle

struct RpcCall {
    std::string Procedure;  // empty when given by id
    std::uint16_t ProcId = 0;
    std::vector<ProcArgument> Arguments;
};

struct RpcRequest {
    std::vector<RpcCall> Calls;
};

// Skips the ALL_HEADERS block that TDS 7.2+ puts in front of SQL batches and RPCs.
// nullopt when the block does not fit the message.
std::optional<ByteSpan> SkipAllHeaders(ByteSpan payload);

// Parses the body of an RPC message (after ALL_HEADERS). A parameter of a type the
// server does not read sets `unsupported` (a client error, not a broken message);
// nullopt with the reason in `error` when the message is malformed.
std::optional<RpcRequest> ParseRpc(ByteSpan body, std::string& error, std::string& unsupported);

// Text of a procedure's parameters for RPC requests, used by tests to build them.
Bytes BuildRpcNVarCharCall(const std::string& procedure,
                           const std::vector<std::pair<std::string, std::string>>& params);

}  // namespace standin
