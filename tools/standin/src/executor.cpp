#include "tools/standin/src/executor.h"

#include <algorithm>
#include <cstdlib>

#include "base/text.h"
#include "tools/standin/src/messages.h"
#include "tools/standin/src/system_values.h"
#include "tools/standin/src/wire.h"

namespace standin {
namespace {

ServerMessage Msg(int number, int severity, std::string text, std::string proc = {}, int state = 1) {
    ServerMessage m;
    m.number = number;
    m.severity = static_cast<std::uint8_t>(severity);
    m.state = static_cast<std::uint8_t>(state);
    m.text = std::move(text);
    m.procedure = std::move(proc);
    return m;
}

// A catalog view as columns and rows, before the select list picks from it.
struct Table {
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
    int IndexOf(const std::string& name) const {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (base::EqualsIgnoringAsciiCase(columns[i].name, name)) return static_cast<int>(i);
        return -1;
    }
};

Value Text(std::string s) { return Value{std::move(s), 0}; }
Value Int(int n) { return Value{std::string{}, n}; }

Table DatabasesView(const Catalog& catalog) {
    Table t;
    t.columns = {{"name", ColumnType::kNVarChar, 128},
                 {"database_id", ColumnType::kInt, 0},
                 {"state_desc", ColumnType::kNVarChar, 60}};
    for (const DatabaseInfo& d : catalog.Databases()) t.rows.push_back({Text(d.name), Int(d.id), Text("ONLINE")});
    return t;
}

Table MasterFilesView(const Catalog& catalog) {
    Table t;
    t.columns = {{"database_id", ColumnType::kInt, 0},
                 {"name", ColumnType::kNVarChar, 128},
                 {"physical_name", ColumnType::kNVarChar, 260},
                 {"type_desc", ColumnType::kNVarChar, 60}};
    for (const FileInfo& f : catalog.Files()) {
        t.rows.push_back(
            {Int(f.database_id), Text(f.logical_name), Text(f.physical_name), Text(f.log ? "LOG" : "ROWS")});
    }
    return t;
}

const SqlValue* FindArg(const std::vector<ProcArgument>& args, std::size_t position, const char* name) {
    for (const ProcArgument& a : args)
        if (!a.name.empty() && base::EqualsIgnoringAsciiCase(a.name, name)) return &a.value;
    if (position < args.size() && args[position].name.empty()) return &args[position].value;
    return nullptr;
}

}  // namespace

void Executor::Report(const ServerMessage& m) { out_.Message(m, kServerName); }

void Executor::ProcError(const char* proc, int number, std::string text) {
    Report(Msg(number, 16, std::move(text), proc));
}

void Executor::RunBatch(const ParsedBatch& batch, bool in_proc) {
    if (batch.error) {
        Report(Msg(batch.error->number, batch.error->severity, batch.error->text, {}, batch.error->state));
        if (in_proc)
            out_.DoneInProc(kDoneError | kDoneMore, 0, 0);
        else
            out_.Done(kDoneError, 0, 0);
        return;
    }
    if (batch.statements.empty() && !in_proc) out_.Done(kDoneFinal, 0, 0);
    for (std::size_t i = 0; i < batch.statements.size(); ++i) {
        const bool last = i + 1 == batch.statements.size() && !in_proc;
        Outcome o = Run(batch.statements[i], last);
        if (o.proc) continue;
        std::uint16_t status =
            (last ? kDoneFinal : kDoneMore) | (o.error ? kDoneError : 0) | (o.counted ? kDoneCount : 0);
        if (in_proc)
            out_.DoneInProc(status | kDoneMore, o.cmd, o.rows);
        else
            out_.Done(status, o.cmd, o.rows);
    }
}

void Executor::RunRpcProcedure(const std::string& procedure, const std::vector<ProcArgument>& args, bool last) {
    bool error = false;
    const int status = CallProcedure(procedure, args, &error);
    out_.ReturnStatus(status);
    out_.DoneProc((last ? kDoneFinal : kDoneMore) | (error ? kDoneError : 0), kCmdExecute, 0);
}

Executor::Outcome Executor::Run(const Statement& s, bool last_in_batch) {
    if (auto* set = std::get_if<SetStatement>(&s)) return RunSet(*set);
    if (auto* use = std::get_if<UseStatement>(&s)) return RunUse(*use);
    if (auto* sel = std::get_if<SelectStatement>(&s)) return RunSelect(*sel);
    if (auto* att = std::get_if<AttachStatement>(&s)) return RunAttach(*att);
    const auto& exec = std::get<ExecStatement>(s);
    Outcome o;
    const int status = CallProcedure(exec.procedure, exec.arguments, &o.error);
    out_.ReturnStatus(status);
    out_.DoneProc((last_in_batch ? kDoneFinal : kDoneMore) | (o.error ? kDoneError : 0), kCmdExecute, 0);
    o.proc = true;
    return o;
}

Executor::Outcome Executor::RunSet(const SetStatement& s) {
    for (const std::string& option : s.options) state_.options[option] = s.value;
    if (s.options.front() == "LANGUAGE") {
        std::string lang = base::AsciiLowerCase(s.value);
        out_.EnvLanguage(lang, state_.language);
        state_.language = lang;
        Report(Msg(kInfoLanguageChanged, 0, FormatLanguageChanged(lang)));
    }
    return Outcome{false, 0, false, kCmdNone, false};
}

Executor::Outcome Executor::RunUse(const UseStatement& s) {
    std::string canonical;
    if (!catalog_.Enter(s.database, &canonical)) {
        Report(Msg(kErrDatabaseNotFoundUse, 16, FormatDatabaseNotFoundUse(s.database)));
        return Outcome{true, 0, false, kCmdNone, false};
    }
    catalog_.Leave(state_.database);
    out_.EnvDatabase(canonical, state_.database);
    state_.database = canonical;
    Report(Msg(kInfoDatabaseChanged, 0, FormatDatabaseChanged(canonical)));
    return Outcome{false, 0, false, kCmdNone, false};
}

Executor::Outcome Executor::RunSelect(const SelectStatement& s) {
    Outcome fail{true, 0, false, kCmdSelect, false};
    Table source;
    if (s.source == SelectSource::kDatabases) source = DatabasesView(catalog_);
    if (s.source == SelectSource::kMasterFiles) source = MasterFilesView(catalog_);
    if (s.source == SelectSource::kNone) source.rows.emplace_back();  // one row of expressions

    auto check_column = [&](const std::string& name) {
        if (source.IndexOf(name) >= 0) return true;
        Report(Msg(kErrInvalidColumn, 16, FormatInvalidColumn(name)));
        return false;
    };
    if (s.where_column && !check_column(*s.where_column)) return fail;
    if (s.order_by && !check_column(*s.order_by)) return fail;

    const Collation& collation = catalog_.ServerCollation();
    std::vector<Column> columns;
    std::vector<int> picks;          // source column, or -1 for an expression
    std::vector<Value> expressions;  // per output column: the value of an expression
    for (const SelectItem& item : s.items) {
        if (item.kind == SelectItem::Kind::kColumn && item.text == "*") {
            if (s.source == SelectSource::kNone) {
                Report(Msg(263, 16, "Must specify table to select from."));
                return fail;
            }
            for (std::size_t i = 0; i < source.columns.size(); ++i) {
                columns.push_back(source.columns[i]);
                picks.push_back(static_cast<int>(i));
                expressions.emplace_back();
            }
            continue;
        }
        if (item.kind == SelectItem::Kind::kColumn) {
            if (!check_column(item.text)) return fail;
            const int idx = source.IndexOf(item.text);
            Column c = source.columns[static_cast<std::size_t>(idx)];
            c.name = item.alias;
            columns.push_back(c);
            picks.push_back(idx);
            expressions.emplace_back();
            continue;
        }
        Column c{item.alias, ColumnType::kNVarChar, 128};
        Value v{item.text, 0, ColumnType::kNVarChar};
        if (item.kind == SelectItem::Kind::kInteger) {
            c.type = ColumnType::kInt;
            v.number = std::atoi(item.text.c_str());
        } else if (item.kind == SelectItem::Kind::kString) {
            // A literal without N is varchar in the collation's code page, sized in its bytes.
            c.type = item.unicode ? ColumnType::kNVarChar : ColumnType::kVarChar;
            const std::size_t size = item.unicode ? Utf16Length(item.text) : collation.Encode(item.text).size();
            c.max_chars = static_cast<std::uint16_t>(std::clamp<std::size_t>(size, 1, 4000));
        } else if (item.kind == SelectItem::Kind::kSystem) {
            auto sys = LookUpSystemValue(item, state_, collation);
            if (!sys) {
                const std::string what =
                    item.text == "SERVERPROPERTY()" ? "SERVERPROPERTY('" + item.argument + "')" : item.text;
                Report(Msg(kErrNotSupported, 16, FormatNotSupported("SELECT " + what)));
                return fail;
            }
            c.type = sys->column.type;
            c.max_chars = sys->column.max_chars;
            v = sys->value;
        }
        columns.push_back(c);
        picks.push_back(-1);
        expressions.push_back(v);
    }

    // WHERE column = value: names compare by the collation, ids as numbers; DB_ID of an
    // unknown name is NULL, which matches nothing.
    std::vector<std::vector<Value>> rows;
    const int where = s.where_column ? source.IndexOf(*s.where_column) : -1;
    std::optional<int> wanted_id;
    bool where_null = false;
    if (where >= 0 && source.columns[static_cast<std::size_t>(where)].type == ColumnType::kInt) {
        if (s.where_db_id_of) {
            wanted_id = catalog_.DatabaseId(s.where_value);
            where_null = !wanted_id;
        } else {
            wanted_id = std::atoi(s.where_value.c_str());
        }
    }
    for (const auto& row : source.rows) {
        if (where >= 0) {
            const Value& v = row[static_cast<std::size_t>(where)];
            if (where_null) continue;
            if (wanted_id ? v.number != *wanted_id : !collation.Equal(v.text.value_or(""), s.where_value)) continue;
        }
        rows.push_back(row);
    }
    if (s.order_by) {
        const auto idx = static_cast<std::size_t>(source.IndexOf(*s.order_by));
        const bool numeric = source.columns[idx].type == ColumnType::kInt;
        std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
            const bool less = numeric
                                  ? a[idx].number < b[idx].number
                                  : collation.Fold(a[idx].text.value_or("")) < collation.Fold(b[idx].text.value_or(""));
            const bool greater =
                numeric ? b[idx].number < a[idx].number
                        : collation.Fold(b[idx].text.value_or("")) < collation.Fold(a[idx].text.value_or(""));
            return s.descending ? greater : less;
        });
    }

    out_.ColumnMetadata(columns);
    for (const auto& row : rows) {
        std::vector<Value> values;
        for (std::size_t i = 0; i < picks.size(); ++i) {
            values.push_back(picks[i] >= 0 ? row[static_cast<std::size_t>(picks[i])] : expressions[i]);
        }
        out_.Row(columns, values);
    }
    return Outcome{false, rows.size(), true, kCmdSelect, false};
}

Executor::Outcome Executor::RunAttach(const AttachStatement& s) {
    if (CatalogError e = catalog_.Attach(s.database, s.files)) {
        Report(*e);
        return Outcome{true, 0, false, 0, false};
    }
    return Outcome{false, 0, false, 0, false};
}

int Executor::CallProcedure(const std::string& procedure, const std::vector<ProcArgument>& args, bool* error) {
    if (base::EqualsIgnoringAsciiCase(procedure, "sp_detach_db")) return DetachDb(args, error);
    if (base::EqualsIgnoringAsciiCase(procedure, "sp_attach_db")) return AttachDb(args, error);
    Report(Msg(kErrProcedureNotFound, 16, FormatProcedureNotFound(procedure)));
    *error = true;
    return 1;
}

int Executor::DetachDb(const std::vector<ProcArgument>& args, bool* error) {
    static constexpr const char* kParams[] = {"@dbname", "@skipchecks", "@keepfulltextindexfile"};
    for (const ProcArgument& a : args) {
        if (a.name.empty()) continue;
        if (std::none_of(std::begin(kParams), std::end(kParams),
                         [&](const char* p) { return base::EqualsIgnoringAsciiCase(p, a.name); })) {
            ProcError("sp_detach_db", kErrNotAParameter, FormatNotAParameter(a.name, "sp_detach_db"));
            *error = true;
            return 1;
        }
    }
    if (args.size() > 3) {
        ProcError("sp_detach_db", kErrTooManyArguments, FormatTooManyArguments("sp_detach_db"));
        *error = true;
        return 1;
    }
    const SqlValue* name = FindArg(args, 0, "@dbname");
    if (!name || name->kind == SqlValue::Kind::kDefault) {
        ProcError("sp_detach_db", kErrParameterNotSupplied, FormatParameterNotSupplied("sp_detach_db", "@dbname"));
        *error = true;
        return 1;
    }
    const std::string db = name->kind == SqlValue::Kind::kNull ? std::string() : name->text;
    if (CatalogError e = catalog_.Detach(db)) {
        ServerMessage m = *e;
        m.procedure = "sp_detach_db";
        Report(m);
        *error = true;
        return 1;
    }
    return 0;
}

int Executor::AttachDb(const std::vector<ProcArgument>& args, bool* error) {
    for (const ProcArgument& a : args) {
        if (a.name.empty() || base::EqualsIgnoringAsciiCase(a.name, "@dbname")) continue;
        const std::string lower = base::AsciiLowerCase(a.name);
        const int n = lower.rfind("@filename", 0) == 0 ? std::atoi(lower.c_str() + 9) : 0;
        if (n < 1 || n > 16 || lower != "@filename" + std::to_string(n)) {
            ProcError("sp_attach_db", kErrNotAParameter, FormatNotAParameter(a.name, "sp_attach_db"));
            *error = true;
            return 1;
        }
    }
    if (args.size() > 17) {
        ProcError("sp_attach_db", kErrTooManyArguments, FormatTooManyArguments("sp_attach_db"));
        *error = true;
        return 1;
    }
    const SqlValue* name = FindArg(args, 0, "@dbname");
    if (!name || name->kind != SqlValue::Kind::kString) {
        ProcError("sp_attach_db", kErrParameterNotSupplied, FormatParameterNotSupplied("sp_attach_db", "@dbname"));
        *error = true;
        return 1;
    }
    std::vector<std::string> files;
    for (int i = 1; i <= 16; ++i) {
        const SqlValue* f = FindArg(args, static_cast<std::size_t>(i), ("@filename" + std::to_string(i)).c_str());
        if (f && f->kind == SqlValue::Kind::kString) files.push_back(f->text);
    }
    if (files.empty()) {
        ProcError("sp_attach_db", kErrParameterNotSupplied, FormatParameterNotSupplied("sp_attach_db", "@filename1"));
        *error = true;
        return 1;
    }
    if (CatalogError e = catalog_.Attach(name->text, files)) {
        ServerMessage m = *e;
        m.procedure = "sp_attach_db";
        Report(m);
        *error = true;
        return 1;
    }
    return 0;
}

}  // namespace standin
