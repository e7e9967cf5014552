#include "tools/standin/src/executor.h"

#include <algorithm>
#include <cstdlib>

#include "base/text.h"
#include "tools/standin/src/messages.h"
#include "tools/standin/src/system_values.h"
#include "tools/standin/src/wire.h"

namespace standin {
namespace {

// A catalog view as columns and rows, before the select list picks from it.
struct Table {
    std::vector<Column> Columns;
    std::vector<std::vector<Value>> Rows;
    int IndexOf(const std::string& name) const {
        for (std::size_t i = 0; i < Columns.size(); ++i)
            if (base::EqualsIgnoringAsciiCase(Columns[i].Name, name)) return static_cast<int>(i);
        return -1;
    }
};

Value Text(std::string s) { return Value{std::move(s), 0}; }
Value Int(int n) { return Value{std::string{}, n}; }

Table DatabasesView(const Catalog& catalog) {
    Table t;
    t.Columns = {{"name", ColumnType::NVarChar, 128},
                 {"database_id", ColumnType::Int, 0},
                 {"state_desc", ColumnType::NVarChar, 60}};
    for (const DatabaseInfo& d : catalog.Databases()) t.Rows.push_back({Text(d.Name), Int(d.Id), Text("ONLINE")});
    return t;
}

Table MasterFilesView(const Catalog& catalog) {
    Table t;
    t.Columns = {{"database_id", ColumnType::Int, 0},
                 {"name", ColumnType::NVarChar, 128},
                 {"physical_name", ColumnType::NVarChar, 260},
                 {"type_desc", ColumnType::NVarChar, 60}};
    for (const FileInfo& f : catalog.Files()) {
        t.Rows.push_back({Int(f.DatabaseId), Text(f.LogicalName), Text(f.PhysicalName), Text(f.Log ? "LOG" : "ROWS")});
    }
    return t;
}

const SqlValue* FindArg(const std::vector<ProcArgument>& args, std::size_t position, std::string_view name) {
    for (const ProcArgument& a : args)
        if (!a.Name.empty() && base::EqualsIgnoringAsciiCase(a.Name, name)) return &a.Value;
    if (position < args.size() && args[position].Name.empty()) return &args[position].Value;
    return nullptr;
}

// The first named argument that `isParameter` does not accept.
template <typename Accepts>
const ProcArgument* UnknownParameter(const std::vector<ProcArgument>& args, Accepts isParameter) {
    for (const ProcArgument& a : args)
        if (!a.Name.empty() && !isParameter(a.Name)) return &a;
    return nullptr;
}

bool IsDetachParameter(std::string_view name) {
    for (std::string_view p : {"@dbname", "@skipchecks", "@keepfulltextindexfile"})
        if (base::EqualsIgnoringAsciiCase(p, name)) return true;
    return false;
}

// @dbname, or @filename1 to @filename16.
bool IsAttachParameter(std::string_view name) {
    if (base::EqualsIgnoringAsciiCase(name, "@dbname")) return true;
    const std::string lower = base::AsciiLowerCase(name);
    const int n = lower.rfind("@filename", 0) == 0 ? std::atoi(lower.c_str() + 9) : 0;
    return n >= 1 && n <= 16 && lower == "@filename" + std::to_string(n);
}

}  // namespace

void Executor::Report(const ServerMessage& m) { out_.Message(m, kServerName); }

void Executor::RunBatch(const ParsedBatch& batch, bool inProc) {
    if (batch.Error) {
        Report(*batch.Error);
        if (inProc)
            out_.DoneInProc(kDoneError | kDoneMore, 0, 0);
        else
            out_.Done(kDoneError, 0, 0);
        return;
    }
    if (batch.Statements.empty() && !inProc) out_.Done(kDoneFinal, 0, 0);
    for (std::size_t i = 0; i < batch.Statements.size(); ++i) {
        const bool last = i + 1 == batch.Statements.size() && !inProc;
        Outcome o = Run(batch.Statements[i], last);
        if (o.Proc) continue;
        std::uint16_t status =
            (last ? kDoneFinal : kDoneMore) | (o.Error ? kDoneError : 0) | (o.Counted ? kDoneCount : 0);
        if (inProc)
            out_.DoneInProc(status | kDoneMore, o.Cmd, o.Rows);
        else
            out_.Done(status, o.Cmd, o.Rows);
    }
}

Executor::Outcome Executor::Run(const Statement& s, bool lastInBatch) {
    if (auto* set = std::get_if<SetStatement>(&s)) return RunSet(*set);
    if (auto* use = std::get_if<UseStatement>(&s)) return RunUse(*use);
    if (auto* sel = std::get_if<SelectStatement>(&s)) return RunSelect(*sel);
    if (auto* att = std::get_if<AttachStatement>(&s)) return RunAttach(*att);
    const auto& exec = std::get<ExecStatement>(s);
    RunProcedure(exec.Procedure, exec.Arguments, lastInBatch);
    return Outcome{.Proc = true};
}

Executor::Outcome Executor::RunSet(const SetStatement& s) {
    for (const std::string& option : s.Options) state_.Options[option] = s.Value;
    if (s.Options.front() == "LANGUAGE") {
        std::string language = base::AsciiLowerCase(s.Value);
        out_.EnvLanguage(language, state_.Language);
        state_.Language = language;
        Report(MakeMessage(MessageId::LanguageChanged, {language}));
    }
    return Outcome{};
}

Executor::Outcome Executor::RunUse(const UseStatement& s) {
    const std::optional<std::string> canonical = catalog_.Enter(s.Database);
    if (!canonical) {
        Report(MakeMessage(MessageId::DatabaseNotFoundForUse, {s.Database}));
        return Outcome{.Error = true};
    }
    catalog_.Leave(state_.Database);
    out_.EnvDatabase(*canonical, state_.Database);
    state_.Database = *canonical;
    Report(MakeMessage(MessageId::DatabaseChanged, {*canonical}));
    return Outcome{};
}

Executor::Outcome Executor::RunSelect(const SelectStatement& s) {
    const Outcome fail{.Error = true, .Cmd = kCmdSelect};
    Table source;
    if (s.Source == SelectSource::Databases) source = DatabasesView(catalog_);
    if (s.Source == SelectSource::MasterFiles) source = MasterFilesView(catalog_);
    if (s.Source == SelectSource::None) source.Rows.emplace_back();  // one row of expressions

    auto checkColumn = [&](const std::string& name) {
        if (source.IndexOf(name) >= 0) return true;
        Report(MakeMessage(MessageId::InvalidColumn, {name}));
        return false;
    };
    if (s.WhereColumn && !checkColumn(*s.WhereColumn)) return fail;
    if (s.OrderBy && !checkColumn(*s.OrderBy)) return fail;

    const Collation& collation = catalog_.ServerCollation();
    std::vector<Column> columns;
    std::vector<int> picks;          // source column, or -1 for an expression
    std::vector<Value> expressions;  // per output column: the value of an expression
    for (const SelectItem& item : s.Items) {
        if (item.Kind == SelectItemKind::Column && item.Text == "*") {
            if (s.Source == SelectSource::None) {
                Report(MakeMessage(MessageId::NoTableToSelectFrom));
                return fail;
            }
            for (std::size_t i = 0; i < source.Columns.size(); ++i) {
                columns.push_back(source.Columns[i]);
                picks.push_back(static_cast<int>(i));
                expressions.emplace_back();
            }
            continue;
        }
        if (item.Kind == SelectItemKind::Column) {
            if (!checkColumn(item.Text)) return fail;
            const int idx = source.IndexOf(item.Text);
            Column c = source.Columns[static_cast<std::size_t>(idx)];
            c.Name = item.Alias;
            columns.push_back(c);
            picks.push_back(idx);
            expressions.emplace_back();
            continue;
        }
        Column c{item.Alias, ColumnType::NVarChar, 128};
        Value v{item.Text, 0, ColumnType::NVarChar};
        if (item.Kind == SelectItemKind::Integer) {
            c.Type = ColumnType::Int;
            v.Number = std::atoi(item.Text.c_str());
        } else if (item.Kind == SelectItemKind::String) {
            // A literal without N is varchar in the collation's code page, sized in its bytes.
            c.Type = item.Unicode ? ColumnType::NVarChar : ColumnType::VarChar;
            const std::size_t size = item.Unicode ? Utf16Length(item.Text) : collation.Encode(item.Text).size();
            c.MaxChars = static_cast<std::uint16_t>(std::clamp<std::size_t>(size, 1, 4000));
        } else if (item.Kind == SelectItemKind::System) {
            auto sys = LookUpSystemValue(item, state_, collation);
            if (!sys) {
                const std::string what =
                    item.Text == "SERVERPROPERTY()" ? "SERVERPROPERTY('" + item.Argument + "')" : item.Text;
                Report(MakeMessage(MessageId::NotSupported, {"SELECT " + what}));
                return fail;
            }
            c.Type = sys->Shape.Type;
            c.MaxChars = sys->Shape.MaxChars;
            v = sys->Data;
        }
        columns.push_back(c);
        picks.push_back(-1);
        expressions.push_back(v);
    }

    // WHERE column = value: names compare by the collation, ids as numbers; DB_ID of an
    // unknown name is NULL, which matches nothing.
    std::vector<std::vector<Value>> rows;
    const int where = s.WhereColumn ? source.IndexOf(*s.WhereColumn) : -1;
    std::optional<int> wantedId;
    bool whereNull = false;
    if (where >= 0 && source.Columns[static_cast<std::size_t>(where)].Type == ColumnType::Int) {
        if (s.WhereDbIdOf) {
            wantedId = catalog_.DatabaseId(s.WhereValue);
            whereNull = !wantedId;
        } else {
            wantedId = std::atoi(s.WhereValue.c_str());
        }
    }
    for (const auto& row : source.Rows) {
        if (where >= 0) {
            const Value& v = row[static_cast<std::size_t>(where)];
            if (whereNull) continue;
            if (wantedId ? v.Number != *wantedId : !collation.Equal(v.Text.value_or(""), s.WhereValue)) continue;
        }
        rows.push_back(row);
    }
    if (s.OrderBy) {
        const auto idx = static_cast<std::size_t>(source.IndexOf(*s.OrderBy));
        const bool numeric = source.Columns[idx].Type == ColumnType::Int;
        auto less = [&](const std::vector<Value>& a, const std::vector<Value>& b) {
            return numeric ? a[idx].Number < b[idx].Number
                           : collation.Fold(a[idx].Text.value_or("")) < collation.Fold(b[idx].Text.value_or(""));
        };
        std::stable_sort(rows.begin(), rows.end(),
                         [&](const auto& a, const auto& b) { return s.Descending ? less(b, a) : less(a, b); });
    }

    out_.ColumnMetadata(columns);
    for (const auto& row : rows) {
        std::vector<Value> values;
        for (std::size_t i = 0; i < picks.size(); ++i) {
            values.push_back(picks[i] >= 0 ? row[static_cast<std::size_t>(picks[i])] : expressions[i]);
        }
        out_.Row(columns, values);
    }
    return Outcome{.Rows = rows.size(), .Counted = true, .Cmd = kCmdSelect};
}

Executor::Outcome Executor::RunAttach(const AttachStatement& s) {
    if (CatalogError e = catalog_.Attach(s.Database, s.Files)) {
        Report(*e);
        return Outcome{.Error = true};
    }
    return Outcome{};
}

void Executor::RunProcedure(const std::string& procedure, const std::vector<ProcArgument>& args, bool last) {
    static constexpr std::pair<std::string_view, Procedure> kProcedures[] = {
        {"sp_detach_db", &Executor::DetachDb},
        {"sp_attach_db", &Executor::AttachDb},
    };
    ProcedureResult result{1, true};
    const auto known = std::find_if(std::begin(kProcedures), std::end(kProcedures),
                                    [&](const auto& p) { return base::EqualsIgnoringAsciiCase(p.first, procedure); });
    if (known != std::end(kProcedures))
        result = (this->*known->second)(known->first, args);
    else
        Report(MakeMessage(MessageId::ProcedureNotFound, {procedure}));
    out_.ReturnStatus(result.ReturnStatus);
    out_.DoneProc((last ? kDoneFinal : kDoneMore) | (result.Error ? kDoneError : 0), kCmdExecute, 0);
}

Executor::ProcedureResult Executor::Refuse(std::string_view procedure, ServerMessage m) {
    m.Procedure = procedure;
    Report(m);
    return ProcedureResult{1, true};
}

Executor::ProcedureResult Executor::DetachDb(std::string_view name, const std::vector<ProcArgument>& args) {
    if (const ProcArgument* unknown = UnknownParameter(args, IsDetachParameter))
        return Refuse(name, MakeMessage(MessageId::NotAParameter, {unknown->Name, name}));
    if (args.size() > 3) return Refuse(name, MakeMessage(MessageId::TooManyArguments, {name}));
    const SqlValue* database = FindArg(args, 0, "@dbname");
    if (!database || database->Kind == ValueKind::Default)
        return Refuse(name, MakeMessage(MessageId::ParameterNotSupplied, {name, "@dbname"}));
    const std::string db = database->Kind == ValueKind::Null ? std::string() : database->Text;
    if (CatalogError e = catalog_.Detach(db)) return Refuse(name, *e);
    return ProcedureResult{};
}

Executor::ProcedureResult Executor::AttachDb(std::string_view name, const std::vector<ProcArgument>& args) {
    if (const ProcArgument* unknown = UnknownParameter(args, IsAttachParameter))
        return Refuse(name, MakeMessage(MessageId::NotAParameter, {unknown->Name, name}));
    if (args.size() > 17) return Refuse(name, MakeMessage(MessageId::TooManyArguments, {name}));
    const SqlValue* database = FindArg(args, 0, "@dbname");
    if (!database || database->Kind != ValueKind::String)
        return Refuse(name, MakeMessage(MessageId::ParameterNotSupplied, {name, "@dbname"}));
    std::vector<std::string> files;
    for (int i = 1; i <= 16; ++i) {
        const SqlValue* f = FindArg(args, static_cast<std::size_t>(i), "@filename" + std::to_string(i));
        if (f && f->Kind == ValueKind::String) files.push_back(f->Text);
    }
    if (files.empty()) return Refuse(name, MakeMessage(MessageId::ParameterNotSupplied, {name, "@filename1"}));
    if (CatalogError e = catalog_.Attach(database->Text, files)) return Refuse(name, *e);
    return ProcedureResult{};
}

}  // namespace standin
