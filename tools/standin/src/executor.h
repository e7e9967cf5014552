// Runs parsed statements against the catalog for one session and writes their answer
// tokens: result sets from the catalog, procedure calls, USE, SET, attach.
#pragma once

#include <map>
#include <string>
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
    std::string database;  // current database, catalog spelling; counted in the catalog
    std::string login;     // the login's name as the server spells it
    std::uint16_t spid = 0;
    std::string language = "us_english";
    std::map<std::string, std::string> options;  // SET options as given
};

class Executor {
public:
    Executor(Catalog& catalog, SessionState& state, TokenWriter& out) : catalog_(catalog), state_(state), out_(out) {}

    // A whole SQL batch. `in_proc` writes DONEINPROC tokens (a batch inside sp_executesql).
    void RunBatch(const ParsedBatch& batch, bool in_proc);
    // A procedure call from an RPC request: ends with RETURNSTATUS and DONEPROC.
    void RunRpcProcedure(const std::string& procedure, const std::vector<ProcArgument>& args, bool last);
    // Writes a server message (error or info) token.
    void Report(const ServerMessage& m);

private:
    struct Outcome {
        bool error = false;
        std::uint64_t rows = 0;
        bool counted = false;
        std::uint16_t cmd = 0;
        bool proc = false;  // ended by RETURNSTATUS/DONEPROC already
    };
    Outcome Run(const Statement& s, bool last_in_batch);
    Outcome RunSet(const SetStatement& s);
    Outcome RunUse(const UseStatement& s);
    Outcome RunSelect(const SelectStatement& s);
    Outcome RunAttach(const AttachStatement& s);
    // Runs a procedure; returns its return status and reports its messages.
    int CallProcedure(const std::string& procedure, const std::vector<ProcArgument>& args, bool* error);
    int DetachDb(const std::vector<ProcArgument>& args, bool* error);
    int AttachDb(const std::vector<ProcArgument>& args, bool* error);
    void ProcError(const char* proc, int number, std::string text);

    Catalog& catalog_;
    SessionState& state_;
    TokenWriter& out_;
};

}  // namespace standin
