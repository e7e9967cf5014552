// Runs parsed statements against the catalog for one session and writes their answer
// tokens: result sets from the catalog, procedure calls, USE, SET, attach.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/standin/src/catalog.h"
#include "tools/standin/src/sql_parser.h"
#include "tools/standin/src/tds_tokens.h"

namespace standin {

inline constexpr const char* kServerName = "DORVANE-STANDIN";
inline constexpr const char* kVersionText =
    "Dorvane stand-in SQL Server 1.0 (speaks TDS 7.1-7.4 for tests; it is not Microsoft SQL Server "
    "and keeps no data: it attaches and detaches database files only)";

// What a session knows about itself while its statements run.
struct SessionState {
    std::string Database;  // current database, catalog spelling; counted in the catalog
    std::string Login;     // the login's name as the server spells it
    std::uint16_t Spid = 0;
    std::string Language = "us_english";
    std::map<std::string, std::string> Options;  // SET options as given
};

class Executor {
public:
    Executor(Catalog& catalog, SessionState& state, TokenWriter& out) : catalog_(catalog), state_(state), out_(out) {}

    // A whole SQL batch. `inProc` writes DONEINPROC tokens (a batch inside sp_executesql).
    void RunBatch(const ParsedBatch& batch, bool inProc);
    // A procedure call (EXEC, or an RPC request naming it): runs it, reporting its
    // messages, and writes its RETURNSTATUS and DONEPROC.
    void RunProcedure(const std::string& procedure, const std::vector<ProcArgument>& args, bool last);
    // Writes a server message (error or info) token.
    void Report(const ServerMessage& m);

private:
    // How a statement ended, for its DONE token.
    struct Outcome {
        bool Error = false;
        std::uint64_t Rows = 0;
        bool Counted = false;
        std::uint16_t Cmd = kCmdNone;
        bool Proc = false;  // ended by RETURNSTATUS/DONEPROC already
    };
    struct ProcedureResult {
        std::int32_t ReturnStatus = 0;
        bool Error = false;
    };
    using Procedure = ProcedureResult (Executor::*)(std::string_view name, const std::vector<ProcArgument>& args);

    Outcome Run(const Statement& s, bool lastInBatch);
    Outcome RunSet(const SetStatement& s);
    Outcome RunUse(const UseStatement& s);
    Outcome RunSelect(const SelectStatement& s);
    Outcome RunAttach(const AttachStatement& s);
    ProcedureResult DetachDb(std::string_view name, const std::vector<ProcArgument>& args);
    ProcedureResult AttachDb(std::string_view name, const std::vector<ProcArgument>& args);
    // Reports a procedure's error as raised inside it; the procedure returns 1.
    ProcedureResult Refuse(std::string_view procedure, ServerMessage m);

    Catalog& catalog_;
    SessionState& state_;
    TokenWriter& out_;
};

}  // namespace standin
