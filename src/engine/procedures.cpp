// Stored procedures: CREATE, ALTER and DROP PROCEDURE, EXEC of one with its
// arguments (by position or by name, defaults, OUTPUT, the return status),
// the frame of a call (its variables, #tables and SET options, all put back
// when it returns) and sp_helptext. A session parses a procedure the first
// time it runs it and keeps the parsed form while the procedure's database
// shows no change by any connection.
#include "engine/procedures.h"

#include "engine/interpreter_impl.h"
#include "tsql/types_detail.h"

namespace xr::engine {

// An engine without stored procedures.
void Catalog::CreateProcedure(const std::string&, const ProcedureDef&, bool) {
    throw ComError(DB_E_ERRORSINCOMMAND, "This engine keeps no stored procedures.");
}
void Catalog::DropProcedure(const std::string&, std::string_view name) {
    throw ComError(DB_E_ERRORSINCOMMAND,
                   "Cannot drop the procedure '" + std::string(name) +
                       "', because it does not exist or you do not have permission.");
}
std::optional<Catalog::ProcedureDef> Catalog::FindProcedure(const std::string&, std::string_view) {
    return std::nullopt;
}

namespace detail {

std::string ProcedureCache::Key(const std::string& schema, std::string_view name) {
    return schema + "." + ToLower(name);
}

ParsedProcedure& ProcedureCache::Put(const std::string& key, ParsedProcedure p) {
    // A session runs a handful of procedures; a runaway set is simply dropped.
    if (m_entries.size() >= 1024) m_entries.clear();
    return m_entries[key] = std::move(p);
}

namespace {

// An argument as its parameter's type: one that will not convert is the
// server's 8114, as for every parameter of a call.
tsql::Value ToParameter(const tsql::Value& v, const tsql::TypeSpec& from,
                        const tsql::TypeSpec& to) {
    if (v.IsNull()) return tsql::Value::Null();
    try {
        return tsql::Convert(v, from, to, false);
    } catch (const ComError& e) {
        if (e.Description().rfind("Conversion failed when converting", 0) != 0) throw;
        throw ComError(DB_E_ERRORSINCOMMAND, std::string("Error converting data type ") +
                                                 tsql::detail::ServerName(from.kind) + " to " +
                                                 tsql::detail::ServerName(to.kind) + ".");
    }
}

const char* const kNestingMessage =
    "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).";

// The name of "[owner].[name]", "owner.name" or "name".
std::string LastPart(std::string name) {
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name = name.substr(dot + 1);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    return name;
}

}  // namespace

}  // namespace detail

using detail::CallFrame;
using detail::ParsedProcedure;
using detail::ProcedureCache;

void Interpreter::Impl::CreateProcedure(const Stmt& s) {
    const std::string& name = s.procedure.name;
    if (!name.empty() && name[0] == '#') Fail("Temporary procedures are not supported.");
    if (!s.procedure.schema.empty() && !IEquals(s.procedure.schema, "dbo"))
        Fail("The specified schema name \"" + s.procedure.schema +
             "\" either does not exist or you do not have permission to use it.");
    const std::string schema = SchemaOf(s.procedure);
    const bool replace = s.kind == StmtKind::AlterProcedure;
    Catalog::ProcedureDef def;
    def.name = name;
    // The definition is the batch as sent, comments before CREATE included:
    // the statement opens the batch and its body runs to the batch's end.
    def.text = (**currentBatch).text;
    def.quotedIdentifier = quotedIdentifier;
    def.ansiNulls = ansiNulls;
    def.encrypted = s.encrypted;
    if (replace && !catalog.FindProcedure(schema, name))
        Fail("Invalid object name '" + name + "'.");
    Atomically([&] { catalog.CreateProcedure(schema, def, replace); });
    procedureCache.Forget(ProcedureCache::Key(schema, name));
}

void Interpreter::Impl::DropProcedures(const Stmt& s) {
    // Each name is dropped on its own; the first one missing is reported.
    std::optional<std::string> missing;
    for (const ObjectName& name : s.objects) {
        const std::string schema = SchemaOf(name);
        if (!catalog.FindProcedure(schema, name.name)) {
            if (!s.ifExists && !missing) {
                missing = "Cannot drop the procedure '" + name.name +
                          "', because it does not exist or you do not have permission.";
            }
            continue;
        }
        Atomically([&] { catalog.DropProcedure(schema, name.name); });
        procedureCache.Forget(ProcedureCache::Key(schema, name.name));
    }
    if (missing) Fail(*missing);
}

namespace {

// The procedure `name` of database `schema` as this session last parsed it,
// read again only when the database may have changed since.
ParsedProcedure* Lookup(Interpreter::Impl& impl, const std::string& schema,
                        const std::string& name) {
    const std::string key = ProcedureCache::Key(schema, name);
    const uint64_t mark = impl.DataMark(schema);
    ParsedProcedure* p = impl.procedureCache.Find(key);
    if (p && p->mark == mark) return p;
    std::optional<Catalog::ProcedureDef> def = impl.catalog.FindProcedure(schema, name);
    if (!def) {
        impl.procedureCache.Forget(key);
        return nullptr;
    }
    if (p && p->id == def->id && p->text == def->text) {
        p->mark = mark;
        return p;
    }
    ParsedProcedure fresh;
    fresh.id = def->id;
    fresh.name = def->name;
    fresh.text = def->text;
    fresh.ansiNulls = def->ansiNulls;
    fresh.mark = mark;
    fresh.batch = std::make_shared<const tsql::Batch>(Parse(def->text, def->quotedIdentifier));
    const auto& statements = fresh.batch->statements;
    if (statements.size() != 1 || (statements[0]->kind != StmtKind::CreateProcedure &&
                                   statements[0]->kind != StmtKind::AlterProcedure)) {
        Fail("The definition of procedure '" + def->name + "' is damaged.");
    }
    return &impl.procedureCache.Put(key, std::move(fresh));
}

enum class Supplied : uint8_t { No, Value, Default };

}  // namespace

bool Interpreter::Impl::RunProcedure(const Stmt& s, Run& run) {
    const ObjectName& called = s.procedure;
    if (!called.schema.empty() && !IEquals(called.schema, "dbo")) return false;
    std::string schema = called.db.empty() ? currentSchema : Attach(called.db);
    ParsedProcedure* found = Lookup(*this, schema, called.name);
    // A procedure named sp_... is looked for in master too.
    if (!found && called.db.empty() && called.name.size() > 3 &&
        IEquals(std::string_view(called.name).substr(0, 3), "sp_")) {
        schema = Attach("master");
        found = Lookup(*this, schema, called.name);
    }
    if (!found) return false;
    if (nesting >= kMaxNesting) Fail(detail::kNestingMessage);
    // Held for the call: a nested ALTER of the same procedure replaces the
    // cache entry, not what runs.
    const std::shared_ptr<const tsql::Batch> batch = found->batch;
    const int32_t procId = found->id;
    const bool procAnsiNulls = found->ansiNulls;
    const std::string procName = found->name;
    const Stmt& def = *batch->statements.front();
    const auto& params = def.variables;

    // The arguments, evaluated in the caller's scope.
    Env local;
    for (const Stmt::Variable& p : params)
        local.vars[ToUpper(p.name)] = Variable{p.type, Value::Null()};
    std::vector<Supplied> supplied(params.size(), Supplied::No);
    std::vector<std::pair<size_t, std::string>> outputs;  // parameter, the caller's variable
    bool named = false;
    for (size_t i = 0; i < s.args.size(); ++i) {
        const ProcArg& a = s.args[i];
        size_t at = params.size();
        if (!a.paramName.empty()) {
            named = true;
            for (size_t k = 0; k < params.size(); ++k) {
                if (IEquals(params[k].name, a.paramName)) at = k;
            }
            if (at == params.size())
                Fail(a.paramName + " is not a parameter for procedure " + procName + ".");
            if (supplied[at] != Supplied::No)
                Fail("Parameter '" + a.paramName + "' was supplied multiple times.");
        } else {
            if (named) {
                Fail("Must pass parameter number " + std::to_string(i + 1) +
                     " and subsequent parameters as '@name = value'. After the form '@name = "
                     "value' has been used, all subsequent parameters must be passed in the form "
                     "'@name = value'.");
            }
            if (params.empty())
                Fail("Procedure " + procName + " has no parameters and arguments were supplied.");
            if (i >= params.size())
                Fail("Procedure or function " + procName + " has too many arguments specified.");
            at = i;
        }
        const Stmt::Variable& param = params[at];
        if (a.isDefault) {
            supplied[at] = Supplied::Default;
            continue;
        }
        supplied[at] = Supplied::Value;
        if (a.output) {
            if (!param.output) {
                Fail("The formal parameter \"" + param.name +
                     "\" was not declared as an OUTPUT parameter, but the actual parameter "
                     "passed in requested output.");
            }
            if (a.value->kind != ExprKind::Variable || a.value->name.rfind("@@", 0) == 0)
                Fail("Cannot use the OUTPUT option when passing a constant to a stored procedure.");
            outputs.emplace_back(at, a.value->name);
        }
        auto [v, t] = EvalScalar(*a.value, s);
        local.vars[ToUpper(param.name)].value = detail::ToParameter(v, t, param.type);
    }
    for (size_t k = 0; k < params.size(); ++k) {
        if (supplied[k] == Supplied::Value) continue;
        if (!params[k].init) {
            Fail("Procedure or function '" + procName + "' expects parameter '" + params[k].name +
                 "', which was not supplied.");
        }
        auto [v, t] = EvalScalar(*params[k].init, def);
        local.vars[ToUpper(params[k].name)].value = detail::ToParameter(v, t, params[k].type);
    }

    // The call's frame: what the caller gets back when it ends, however it ends.
    const int tranCountBefore = tranCount;
    CallFrame frame;
    frame.procId = procId;
    frame.procName = procName;
    frame.level = nesting + 1;
    frame.xactAbort = xactAbort;
    frame.noCount = noCount;
    frame.concatNullYieldsNull = concatNullYieldsNull;
    frame.ansiNulls = ansiNulls;
    frame.dateFormat = dateFormat;
    frame.rowcountLimit = rowcountLimit;
    frame.identityInsertSchema = identityInsertSchema;
    frame.identityInsertTable = identityInsertTable;
    frames.push_back(std::move(frame));
    Env* const callerEnv = env;
    const std::optional<int64_t> callerScope = scopeIdentity;
    const std::shared_ptr<const tsql::Batch>* const callerBatch = currentBatch;
    // A procedure of another database runs in that database.
    const std::string callerSchema = currentSchema, callerDatabase = current;
    if (schema != currentSchema && !called.db.empty()) {
        currentSchema = schema;
        current = backend->DatabaseName(schema);
    }
    ++nesting;
    env = &local;
    scopeIdentity.reset();
    if (ansiNulls != procAnsiNulls) {
        // The procedure runs with the ANSI_NULLS it was made with.
        ansiNulls = procAnsiNulls;
        ClearPlans();
        userViews.clear();
    }
    auto end = [&]() -> CallFrame {
        DropTableVariables(local);
        CallFrame f = std::move(frames.back());
        frames.pop_back();
        --nesting;
        env = callerEnv;
        currentSchema = callerSchema;
        current = callerDatabase;
        scopeIdentity = callerScope;
        currentBatch = callerBatch;
        // The #tables the procedure made go with it.
        for (const std::string& table : f.tempTables) {
            try {
                const std::string temp = Attach("tempdb");
                if (!catalog.FindTable(temp, table)) continue;
                // A rollback that undid the making also put back the caller's
                // table under the name: that one stays.
                auto hid = std::find_if(f.hiddenTempTables.begin(), f.hiddenTempTables.end(),
                                        [&](const auto& h) { return IEquals(h.first, table); });
                if (hid != f.hiddenTempTables.end() && !catalog.FindTable(temp, hid->second))
                    continue;
                Atomically([&] { catalog.DropTable(temp, table); });
                OwnSchemaChange(temp);
            } catch (const ComError&) {
                // Left for the session's end, which drops every #table.
            }
        }
        if (!f.hiddenTempTables.empty()) {
            try {
                RestoreCallersTempTables(Attach("tempdb"), f, std::string());
            } catch (const ComError&) {
                // The session's end drops them with the rest.
            }
        }
        // The SET options as the caller had them.
        xactAbort = f.xactAbort;
        noCount = f.noCount;
        rowcountLimit = f.rowcountLimit;
        if (concatNullYieldsNull != f.concatNullYieldsNull || ansiNulls != f.ansiNulls) {
            concatNullYieldsNull = f.concatNullYieldsNull;
            ansiNulls = f.ansiNulls;
            ClearPlans();
            userViews.clear();
        }
        if (dateFormat != f.dateFormat) {
            dateFormat = f.dateFormat;
            tsql::SetDateFormat(dateFormat);
        }
        if (identityInsertSchema != f.identityInsertSchema ||
            !IEquals(identityInsertTable, f.identityInsertTable)) {
            identityInsertSchema = f.identityInsertSchema;
            identityInsertTable = f.identityInsertTable;
            ClearPlans();
        }
        return f;
    };
    Run inner{run.errors, run.capture, &batch, run.sink};
    bool completed = true;
    try {
        for (const StmtPtr& st : def.body) {
            if (RunStatement(*st, inner) == Flow::Return) break;
        }
    } catch (const BatchEnded& ended) {
        if (ended.reach != Reach::Scope) {
            end();
            throw;
        }
        // A name not found ends the procedure alone; the caller goes on.
        completed = false;
    } catch (...) {
        end();
        throw;
    }
    CallFrame done = end();
    if (!completed) return true;
    for (const auto& [k, variable] : outputs) {
        const Variable& v = local.vars[ToUpper(params[k].name)];
        Assign(variable, v.value, v.type);
    }
    if (!s.returnVar.empty())
        Assign(s.returnVar, Value::Int(done.returnStatus.value_or(0)), Make(TypeKind::Int));
    // A procedure that leaves more or fewer transactions open than it found.
    if (tranCount != tranCountBefore) {
        Fail(
            "Transaction count after EXECUTE indicates a mismatching number of BEGIN and COMMIT "
            "statements. Previous count = " +
            std::to_string(tranCountBefore) + ", current count = " + std::to_string(tranCount) +
            ".");
    }
    return true;
}

namespace {

bool IsLocalTempName(const tsql::ObjectName& n) {
    return n.name.size() > 1 && n.name[0] == '#' && n.name[1] != '#' &&
           (n.db.empty() || tsql::ObjectName::IsTempdb(n.db));
}

}  // namespace

bool Interpreter::Impl::HideCallersTempTable(const std::string& schema, const ObjectName& name) {
    if (!InProcedureBody() || !IsLocalTempName(name)) return false;
    CallFrame& f = frames.back();
    // Its own #table made twice is the server's 2714, as anywhere.
    for (const std::string& own : f.tempTables) {
        if (IEquals(own, name.name)) return false;
    }
    const TableDef* t = catalog.FindTable(schema, name.name);
    if (!t) return false;
    const std::string stored = t->name;
    // The level keeps apart the names of tables set aside by a chain of
    // procedures each making its own.
    const std::string hidden = stored + "~" + std::to_string(nesting);
    Atomically([&] { catalog.RenameTable(schema, stored, hidden); });
    f.hiddenTempTables.emplace_back(stored, hidden);
    OwnSchemaChange(schema);
    return true;
}

void Interpreter::Impl::ForgetTempTable(const std::string& schema, const std::string& name) {
    if (!InProcedureBody()) return;
    CallFrame& f = frames.back();
    auto own = std::find_if(f.tempTables.begin(), f.tempTables.end(),
                            [&](const std::string& t) { return IEquals(t, name); });
    if (own == f.tempTables.end()) return;
    f.tempTables.erase(own);
    RestoreCallersTempTables(schema, f, name);
}

void Interpreter::Impl::RestoreCallersTempTables(const std::string& schema, CallFrame& f,
                                                 const std::string& name) {
    bool changed = false;
    for (size_t i = f.hiddenTempTables.size(); i-- > 0;) {
        // Plain copies: the lambda below takes them, and clang refuses to
        // capture a structured binding.
        const std::string original = f.hiddenTempTables[i].first;
        const std::string hidden = f.hiddenTempTables[i].second;
        if (!name.empty() && !IEquals(original, name)) continue;
        f.hiddenTempTables.erase(f.hiddenTempTables.begin() + static_cast<std::ptrdiff_t>(i));
        // A rollback may have undone the setting aside, or the procedure may
        // have dropped the caller's table under its own name meanwhile.
        if (!catalog.FindTable(schema, hidden) || catalog.FindTable(schema, original)) continue;
        Atomically([&] { catalog.RenameTable(schema, hidden, original); });
        changed = true;
    }
    if (changed) OwnSchemaChange(schema);
}

void Interpreter::Impl::HelpText(const Stmt& s, Run& run) {
    ProcParams args = NamedArgs(s, {"@objname", "@columnname"});
    if (!args[0]) {
        Fail(
            "Procedure or function 'sp_helptext' expects parameter '@objname', which was not "
            "supplied.");
    }
    const std::string name = detail::LastPart(*args[0]);
    std::optional<Catalog::ProcedureDef> def = catalog.FindProcedure(currentSchema, name);
    if (!def) {
        if (catalog.ObjectId(currentSchema, name))
            Fail("There is no text for object '" + *args[0] + "'.");
        Fail("The object '" + *args[0] + "' does not exist in database '" + current +
             "' or is invalid for this operation.");
    }
    if (def->encrypted) {
        // The server's 15471, at severity 10: a message, not an error.
        Message(*run.errors, "The text for object '" + *args[0] + "' is encrypted.");
        return;
    }
    // One row a line of the definition, each with its line break, in a
    // column Text of NVARCHAR(255).
    OutColumn column;
    column.name = "Text";
    column.type = Make(TypeKind::VarChar, 255);
    column.type.national = true;
    auto rows =
        std::make_unique<MaterializedRows>(std::vector<engine::ColumnInfo>{MakeColumnInfo(column)});
    const std::string& text = def->text;
    int64_t lines = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        rows->Add({Value::Text(text.substr(at, end - at))});
        ++lines;
        at = end;
    }
    rowCount = lines;
    if (run.capture && !*run.capture) *run.capture = std::move(rows);
}

}  // namespace xr::engine
