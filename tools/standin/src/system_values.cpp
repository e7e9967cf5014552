#include "tools/standin/src/system_values.h"

#include <unistd.h>

#include <cstdlib>

#include "base/text.h"
#include "tools/standin/src/executor.h"
#include "tools/standin/src/wire.h"

namespace standin {
namespace {

constexpr const char* kProductVersion = "16.0.1000.6";  // as LOGINACK's 16.0.1000

SystemValue Text(std::string text, std::uint16_t maxChars = 128) {
    return {Column{"", ColumnType::NVarChar, maxChars}, Value{std::move(text), 0, ColumnType::NVarChar}};
}
SystemValue Number(ColumnType type, std::int32_t n) { return {Column{"", type, 0}, Value{std::nullopt, n, type}}; }

// SET options as @@OPTIONS reports them (SQL Server's user options bits).
std::int32_t OptionBits(const SessionState& state) {
    static const std::pair<const char*, std::int32_t> kBits[] = {{"IMPLICIT_TRANSACTIONS", 2},
                                                                 {"CURSOR_CLOSE_ON_COMMIT", 4},
                                                                 {"ANSI_WARNINGS", 8},
                                                                 {"ANSI_PADDING", 16},
                                                                 {"ANSI_NULLS", 32},
                                                                 {"ARITHABORT", 64},
                                                                 {"ARITHIGNORE", 128},
                                                                 {"QUOTED_IDENTIFIER", 256},
                                                                 {"NOCOUNT", 512},
                                                                 {"ANSI_NULL_DFLT_ON", 1024},
                                                                 {"ANSI_NULL_DFLT_OFF", 2048},
                                                                 {"CONCAT_NULL_YIELDS_NULL", 4096},
                                                                 {"NUMERIC_ROUNDABORT", 8192},
                                                                 {"XACT_ABORT", 16384}};
    std::int32_t bits = 0;
    for (const auto& [name, bit] : kBits) {
        auto it = state.Options.find(name);
        if (it != state.Options.end() && it->second == "ON") bits |= bit;
    }
    return bits;
}

std::int32_t OptionNumber(const SessionState& state, const char* name, std::int32_t fallback) {
    auto it = state.Options.find(name);
    return it == state.Options.end() ? fallback : std::atoi(it->second.c_str());
}

std::optional<SystemValue> Variable(const std::string& name, const SessionState& state) {
    if (name == "@@VERSION") return Text(kVersionText, 300);
    if (name == "@@SERVERNAME" || name == "@@SERVICENAME")
        return Text(name == "@@SERVERNAME" ? kServerName : "MSSQLSERVER");
    if (name == "@@LANGUAGE") return Text(state.Language);
    if (name == "@@SPID") return Number(ColumnType::SmallInt, state.Spid);
    if (name == "@@LANGID") return Number(ColumnType::SmallInt, 0);  // us_english
    if (name == "@@MAX_PRECISION") return Number(ColumnType::TinyInt, 38);
    if (name == "@@DATEFIRST") return Number(ColumnType::TinyInt, OptionNumber(state, "DATEFIRST", 7));
    if (name == "@@TRANCOUNT" || name == "@@NESTLEVEL") return Number(ColumnType::Int, 0);  // no transactions here
    if (name == "@@TEXTSIZE") return Number(ColumnType::Int, OptionNumber(state, "TEXTSIZE", 4096));
    if (name == "@@LOCK_TIMEOUT") return Number(ColumnType::Int, OptionNumber(state, "LOCK_TIMEOUT", -1));
    if (name == "@@MAX_CONNECTIONS") return Number(ColumnType::Int, 32767);
    if (name == "@@MICROSOFTVERSION") return Number(ColumnType::Int, 0x100003E8);
    if (name == "@@OPTIONS") return Number(ColumnType::Int, OptionBits(state));
    return std::nullopt;
}

std::optional<Value> Property(const std::string& name, const Collation& collation) {
    auto text = [](std::string s) { return Value{std::move(s), 0, ColumnType::NVarChar}; };
    auto number = [](std::int32_t n, ColumnType t = ColumnType::Int) { return Value{std::nullopt, n, t}; };
    const std::string key = base::AsciiLowerCase(name);
    if (key == "productversion") return text(kProductVersion);
    if (key == "productmajorversion") return text("16");
    if (key == "productminorversion") return text("0");
    if (key == "productbuild") return text("1000");
    if (key == "productlevel") return text("RTM");
    if (key == "edition") return text("Developer Edition (64-bit)");
    if (key == "engineedition") return number(3);  // Enterprise and Developer
    if (key == "servername" || key == "machinename") return text(kServerName);
    if (key == "instancename") return Value{};  // the default instance: NULL
    if (key == "collation") return text(collation.Name());
    if (key == "lcid") return number(static_cast<std::int32_t>(collation.Lcid()));
    if (key == "sqlsortorder") return number(collation.SortId(), ColumnType::TinyInt);
    if (key == "sqlcharsetname")
        return text(collation.CodePage() == 1252 ? "iso_1" : "cp" + std::to_string(collation.CodePage()));
    // Windows comparison flags: ignore case 1, ignore kana 65536, ignore width 131072.
    if (key == "comparisonstyle") return number((collation.CaseSensitive() ? 0 : 1) | 65536 | 131072);
    if (key == "processid") return number(static_cast<std::int32_t>(::getpid()));
    if (key == "isclustered" || key == "isfulltextinstalled" || key == "isintegratedsecurityonly" ||
        key == "issingleuser" || key == "ishadrenabled") {
        return number(0);
    }
    return std::nullopt;
}

}  // namespace

std::optional<SystemValue> LookUpSystemValue(const SelectItem& item, const SessionState& state,
                                             const Collation& collation) {
    if (item.Text.rfind("@@", 0) == 0) return Variable(item.Text, state);
    if (item.Text == "DB_NAME()") return Text(state.Database);
    // Every login the stand-in accepts may detach databases: a sysadmin, which SQL Server
    // maps to dbo in every database.
    if (item.Text == "USER_NAME()") return Text("dbo");
    if (item.Text == "SUSER_SNAME()" || item.Text == "SUSER_NAME()") return Text(state.Login);
    if (item.Text == "SERVERPROPERTY()") {
        auto v = Property(item.Argument, collation);
        if (!v) return std::nullopt;
        return SystemValue{Column{"", ColumnType::Variant, 0}, *v};
    }
    return std::nullopt;
}

}  // namespace standin
