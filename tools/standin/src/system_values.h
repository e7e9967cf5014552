// What a session may ask about itself and the server right after login: @@variables,
// DB_NAME(), USER_NAME(), SUSER_SNAME(), SERVERPROPERTY('x'), each with the type SQL
// Server gives it (SERVERPROPERTY is sql_variant).
#pragma once

#include <optional>
#include <string>

#include "tools/standin/src/collation.h"
#include "tools/standin/src/sql_parser.h"
#include "tools/standin/src/tds_tokens.h"

namespace standin {

struct SessionState;

struct SystemValue {
    Column Shape;  // its type and size; the name comes from the select list
    Value Data;
};

// The column and value of a System select item; nullopt for one the stand-in does not
// answer (the caller reports it as not supported).
std::optional<SystemValue> LookUpSystemValue(const SelectItem& item, const SessionState& state,
                                             const Collation& collation);

}  // namespace standin
