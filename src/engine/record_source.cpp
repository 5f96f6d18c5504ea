// The rows behind recordsets: a table streamed with its row ids and written
// back through the same rules as INSERT and UPDATE, or a read-only result.
// The SQL built here around a rendered query is plain SQL (row values,
// DEFAULT VALUES); the engine's dialect gives the parameter marks and row ids.
#include "engine/interpreter_impl.h"

namespace xr::engine {

namespace {

// Binds a value that is already in its column's stored form without a
// conversion (the common case of a record class writing its own fields);
// false leaves it to FromVariant, which converts and checks.
bool BindDirect(engine::Statement& st, int n, const Variant& v, const TypeSpec& t) {
    switch (v.Type()) {
        case VT_I4:
        case VT_I2:
            if (t.kind == TypeKind::Int || t.kind == TypeKind::BigInt) {
                st.BindInt(n, v.IntValue());
                return true;
            }
            return false;
        case VT_I8:
            if (t.kind == TypeKind::BigInt) {
                st.BindInt(n, v.IntValue());
                return true;
            }
            return false;
        case VT_CY:
            if (t.kind == TypeKind::Money) {
                st.BindInt(n, v.IntValue());
                return true;
            }
            return false;
        case VT_R8:
            if (t.kind == TypeKind::Float) {
                st.BindReal(n, v.RealValue());
                return true;
            }
            return false;
        case VT_BSTR: {
            const std::string& text = v.TextValue();
            bool fits =
                (t.kind == TypeKind::VarChar && text.size() <= static_cast<size_t>(t.length)) ||
                (t.kind == TypeKind::Char && text.size() == static_cast<size_t>(t.length));
            if (!fits || t.length <= 0) return false;
            // The value outlives the statement's step.
            st.BindTextRef(n, text);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

class SourceBase : public engine::RecordSource {
public:
    explicit SourceBase(Interpreter::Impl* impl) : m_impl(impl) { impl->sources.push_back(this); }
    // Derived classes call Detach in their destructors (Finalize is theirs).
    ~SourceBase() override = default;

    // The session is going away: statements are finalized, later calls fail.
    void Detach() {
        if (!m_impl) return;
        auto& v = m_impl->sources;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
        Finalize();
        m_impl = nullptr;
    }

protected:
    virtual void Finalize() = 0;
    Interpreter::Impl& Session() const {
        if (!m_impl) {
            throw ComError(adErrInvalidConnection);
        }
        return *m_impl;
    }

    Interpreter::Impl* m_impl;
};

namespace {

[[noreturn]] void NotUpdatable() {
    throw ComError(adErrFeatureNotAvailable,
                   "Current Recordset does not support updating. This may be a limitation of "
                   "the provider, or of the selected locktype.");
}

// The value stays the caller's until the statement is reset.
void BindRaw(engine::Statement& st, int n, const Variant& v) {
    switch (v.Type()) {
        case VT_I8:
            st.BindInt(n, v.IntValue());
            break;
        case VT_R8:
            st.BindReal(n, v.RealValue());
            break;
        case VT_BSTR:
            st.BindTextRef(n, v.TextValue());
            break;
        case VT_BYTES:
            st.BindBlobRef(n, v.BytesView());
            break;
        default:
            st.BindNull(n);
            break;
    }
}

}  // namespace

// A result that cannot be written: a join, an aggregate, a batch. Its rows
// are read whole when it opens (the key of a row is its place).
class ReadOnlySource final : public SourceBase {
public:
    ReadOnlySource(Interpreter::Impl* impl, std::unique_ptr<engine::Rows> rows) : SourceBase(impl) {
        if (!rows) return;
        for (size_t i = 0; i < rows->ColumnCount(); ++i) m_columns.push_back(rows->Column(i));
        while (rows->Next()) {
            std::vector<Variant> row;
            row.reserve(m_columns.size());
            for (size_t i = 0; i < m_columns.size(); ++i) row.push_back(rows->Value(i));
            m_rows.push_back(std::move(row));
        }
    }
    ~ReadOnlySource() override { Detach(); }
    size_t ColumnCount() const override { return m_columns.size(); }
    const engine::ColumnInfo& Column(size_t i) const override {
        if (i >= m_columns.size()) throw ComError(adErrItemNotFound);
        return m_columns[i];
    }
    bool Updatable() const override { return false; }
    const std::string& BaseTable() const override { return m_none; }
    bool Resumable() const override { return false; }
    bool Read(const engine::SourceRow* from, bool backward, size_t max,
              std::vector<engine::SourceRow>& rows, const std::vector<uint8_t>*) override {
        const long n = static_cast<long>(m_rows.size());
        long at = from && !from->key.empty() ? static_cast<long>(from->key[0].IntValue())
                                             : (backward ? n : -1);
        size_t count = 0;
        for (; count < max; ++count) {
            at += backward ? -1 : 1;
            if (at < 0 || at >= n) break;
            if (count == rows.size()) rows.emplace_back();
            engine::SourceRow& row = rows[count];
            row.id = 0;
            row.values = m_rows[static_cast<size_t>(at)];
            row.key.assign(1, Variant::I8(at));
        }
        rows.resize(count);
        return count == max;
    }
    uint64_t DataVersion() override { return 0; }  // a copy: it never changes
    bool Fetch(int64_t, engine::SourceRow*) override { return false; }
    int64_t Insert(const std::vector<Variant>&, const std::vector<bool>&) override {
        NotUpdatable();
    }
    void Update(int64_t, const std::vector<Variant>&, const std::vector<bool>&) override {
        NotUpdatable();
    }
    void Delete(int64_t) override { NotUpdatable(); }

private:
    void Finalize() override {}

    std::vector<engine::ColumnInfo> m_columns;
    std::vector<std::vector<Variant>> m_rows;
    std::string m_none;
};

// The rows of one base table, read a window at a time in the query's order
// with the row id as the last key, each read starting afresh after (or
// before) the row it goes on from; writes go through the same conversions
// and checks as INSERT and UPDATE statements.
class TableSource final : public SourceBase {
public:
    using Shape = Interpreter::Impl::SourceShape;
    using Write = Interpreter::Impl::SourceWrite;

    // `poolKey` names the pool of the shape (empty: none).
    TableSource(Interpreter::Impl* impl, std::shared_ptr<const Batch> batch, const Stmt* stmt,
                std::string schema, std::string table, std::shared_ptr<const Shape> shape,
                std::string poolKey)
        : SourceBase(impl),
          m_poolKey(std::move(poolKey)),
          m_poolGeneration(impl->sourcePlanGeneration),
          m_batch(std::move(batch)),
          m_stmt(stmt),
          m_schema(std::move(schema)),
          m_table(std::move(table)),
          m_shape(std::move(shape)) {
        // The statement's values are taken now: its variables are gone by
        // the time later windows are read.
        m_slotValues = m_impl->SlotValues(m_shape->plan, m_stmt->literals);
    }

    // The shape of a source over `table` (under `alias` in the query)
    // rendered as `plan`.
    static std::shared_ptr<const Shape> MakeShape(Interpreter::Impl& impl,
                                                  const std::string& schema, const TableDef& table,
                                                  const std::string& alias, Plan plan) {
        auto shape = std::make_shared<Shape>();
        std::string cols;
        for (const OutColumn& oc : plan.columns) {
            shape->columns.push_back(MakeColumnInfo(oc));
            shape->types.push_back(oc.type);
            int base = table.ColumnIndex(oc.baseColumn);
            shape->baseNames.push_back(base >= 0 ? table.columns[static_cast<size_t>(base)].name
                                                 : std::string());
            const std::string& name = shape->baseNames.back();
            cols += (cols.empty() ? "" : ",") +
                    (name.empty() ? std::string("NULL") : impl.QuoteIdent(name));
        }
        shape->hasIdentity = table.IdentityColumn() != nullptr;
        shape->uniqueKeys = UniqueKeys(table, plan);
        shape->rowid = impl.backend->RowId(impl.QuoteIdent(alias));
        shape->resumable = !plan.hasTop && plan.orderAt != std::string::npos;
        std::string keys;
        for (const OrderKey& k : plan.order) {
            keys += k.sql + ",";
            // A key with a parameter of its own cannot be read on from.
            if (k.sql.find('?') != std::string::npos) shape->resumable = false;
        }
        // "SELECT rowid, keys..., items ..." with the marks moved along.
        std::string sql = "SELECT " + shape->rowid + "," + keys + plan.sql.substr(7);
        const size_t shift = sql.size() - plan.sql.size();
        auto moved = [&](size_t at) { return at == std::string::npos ? at : at + shift; };
        plan.whereAt = moved(plan.whereAt);
        plan.whereEnd = moved(plan.whereEnd);
        plan.orderAt = moved(plan.orderAt);
        plan.sql = std::move(sql);
        if (shape->resumable) {
            constexpr size_t kWhere = 7;  // " WHERE "
            if (plan.whereAt != std::string::npos) {
                shape->head = plan.sql.substr(0, plan.whereAt - kWhere);
                shape->where = plan.sql.substr(plan.whereAt, plan.whereEnd - plan.whereAt);
                shape->head += plan.sql.substr(plan.whereEnd, plan.orderAt - plan.whereEnd);
            } else {
                shape->head = plan.sql.substr(0, plan.orderAt);
            }
        }
        shape->fetchSql = "SELECT " + (shape->resumable ? keys : std::string()) + cols + " FROM " +
                          impl.QuoteIdent(schema) + "." + impl.QuoteIdent(table.name) + " AS " +
                          impl.QuoteIdent(alias) + " WHERE " + shape->rowid + "=" +
                          impl.backend->Parameter(1);
        shape->plan = std::move(plan);
        return shape;
    }

    // Whether the query's order keys hold every column of a unique index,
    // each a NOT NULL column of the table that is not text (text compares by
    // the collation, which may hold equal what the index holds apart), all
    // in one direction: the server then walks that index without sorting.
    static bool UniqueKeys(const TableDef& table, const Plan& plan) {
        std::vector<int> columns;
        for (const OrderKey& k : plan.order) {
            if (k.nullable || k.descending != plan.order[0].descending) return false;
            const int at = k.column.empty() ? -1 : table.ColumnIndex(k.column);
            if (at < 0) return false;
            const ColumnDef& c = table.columns[static_cast<size_t>(at)];
            if (!c.notNull || c.type.IsText()) return false;
            columns.push_back(at);
        }
        for (const IndexDef& index : table.indexes) {
            if (!index.unique || !index.filterSql.empty() || index.columns.empty()) continue;
            bool covered = true;
            for (const std::string& c : index.columns)
                covered &= std::find(columns.begin(), columns.end(), table.ColumnIndex(c)) !=
                           columns.end();
            if (covered) return true;
        }
        return false;
    }

    ~TableSource() override { Detach(); }

    size_t ColumnCount() const override { return m_shape->columns.size(); }
    const engine::ColumnInfo& Column(size_t i) const override {
        if (i >= m_shape->columns.size()) throw ComError(adErrItemNotFound);
        return m_shape->columns[i];
    }
    bool Updatable() const override { return true; }
    const std::string& BaseTable() const override { return m_table; }
    bool Resumable() const override { return m_shape->resumable; }

    bool Read(const engine::SourceRow* from, bool backward, size_t max,
              std::vector<engine::SourceRow>& rows, const std::vector<uint8_t>* columns) override {
        Interpreter::Impl& impl = Session();
        if (from && !m_shape->resumable) throw ComError(E_FAIL_, "The rows cannot be read on.");
        if (impl.YetToBeMade(m_schema, m_table)) {
            rows.clear();
            return false;
        }
        engine::Statement& st = ReadStatement(backward, from);
        const size_t keys = m_shape->KeyCount();
        const std::vector<TypeSpec>& types = m_shape->types;
        if (!TakeAhead(st, from, backward, max)) BindRead(st, from, max);
        // Nothing stays open between calls: the window is read, then the
        // statement is reset, which ends its read transaction.
        size_t n = 0;
        using Step = engine::Statement::Step;
        Step step = Step::Row;
        try {
            while (n < max && (step = st.Next()) == Step::Row) {
                if (n == rows.size()) rows.emplace_back();
                engine::SourceRow& row = rows[n++];
                row.id = st.Int(0);
                st.RowInto(1, keys, types, columns, &row);
            }
        } catch (...) {
            st.Reset();
            rows.resize(n);
            throw;
        }
        rows.resize(n);
        if (step == Step::Failed) throw impl.MapError(st.Error(), {});
        st.Reset();
        return step == Step::Row;
    }

    uint64_t DataVersion() override { return Session().DataMark(m_schema); }

    void ReadAhead(const engine::SourceRow& from, bool backward, size_t max) override {
        if (!m_shape->resumable || !Session().backend->ReadsWhole()) return;
        DropAhead();
        engine::Statement& st = ReadStatement(backward, &from);
        BindRead(st, &from, max);
        if (!st.SendAhead()) return;
        m_ahead = {&st, from.id, from.key, backward, max, DataVersion()};
    }

    bool Fetch(int64_t rowId, engine::SourceRow* row) override {
        Interpreter::Impl& impl = Session();
        if (impl.YetToBeMade(m_schema, m_table)) return false;
        if (!m_fetch) {
            SourcePlanPool* pool = Pool();
            if (pool && !pool->idleFetch.empty()) {
                m_fetch = std::move(pool->idleFetch.back());
                pool->idleFetch.pop_back();
            } else {
                m_fetch = impl.Prepare(m_shape->fetchSql);
            }
        }
        m_fetch->Reset();
        m_fetch->BindInt(1, rowId);
        engine::Statement::Step step = m_fetch->Next();
        if (step != engine::Statement::Step::Row) {
            m_fetch->Reset();
            if (step == engine::Statement::Step::Done) return false;
            throw impl.MapError(m_fetch->Error(), {});
        }
        row->id = rowId;
        m_fetch->RowInto(0, m_shape->resumable ? m_shape->KeyCount() : 0, m_shape->types, nullptr,
                         row);
        m_fetch->Reset();
        return true;
    }

    int64_t Insert(const std::vector<Variant>& values, const std::vector<bool>& assigned) override {
        Interpreter::Impl& impl = Session();
        impl.FlushDeferred();  // a table altered since this source opened is made first
        Write& w = Prepared(true, assigned);
        int64_t rowId = Run(w, values, 0);
        if (m_shape->hasIdentity) {
            impl.lastIdentity = rowId;
            impl.haveIdentity = true;
        }
        return rowId;
    }

    void Update(int64_t rowId, const std::vector<Variant>& values,
                const std::vector<bool>& assigned) override {
        Session();
        Write& w = Prepared(false, assigned);
        if (!w.bound.empty()) Run(w, values, rowId);
        if (m_impl->backend->Changes() == 0 && !w.bound.empty()) {
            throw ComError(DB_E_DELETEDROW, "The row was deleted by another user.");
        }
    }

    void Delete(int64_t rowId) override {
        Session();
        if (!m_delete.st) {
            m_delete.sql = "DELETE FROM " + Target() + " WHERE " + m_impl->backend->RowId({}) +
                           "=" + m_impl->backend->Parameter(1);
            m_delete.st = m_impl->Prepare(m_delete.sql);
        }
        std::vector<Variant> none;
        Run(m_delete, none, rowId);
    }

private:
    using SourcePlanPool = Interpreter::Impl::SourcePlan;

    // The read statement of one kind: forward or backward, from the start or
    // from a row whose key has NULLs in the places marked.
    engine::Statement& ReadStatement(bool backward, const engine::SourceRow* from) {
        std::string kind(1, backward ? 'B' : 'F');
        if (from) {
            kind += '@';
            for (size_t i = 0; i < m_shape->KeyCount(); ++i)
                kind += i < from->key.size() && from->key[i].IsNull() ? '1' : '0';
        }
        auto own = m_reads.find(kind);
        if (own != m_reads.end()) return *own->second;
        std::unique_ptr<engine::Statement> st;
        if (SourcePlanPool* pool = Pool()) {
            auto idle = pool->idle.find(kind);
            if (idle != pool->idle.end() && !idle->second.empty()) {
                st = std::move(idle->second.back());
                idle->second.pop_back();
            }
        }
        if (!st) {
            std::string& sql = m_shape->readSql[kind];
            if (sql.empty()) sql = ReadSql(backward, from != nullptr, kind.substr(from ? 2 : 1));
            st = Session().Prepare(sql);
        }
        Interpreter::Impl::BindSlots(*st, m_shape->plan, m_slotValues);
        return *m_reads.emplace(kind, std::move(st)).first->second;
    }

    // The query in the direction asked, going on from a row when `from`
    // (`nulls`: one mark per key, '1' where the row's key is NULL). The row
    // id breaks ties in the direction of the first key.
    std::string ReadSql(bool backward, bool from, const std::string& nulls) const {
        const Shape& sh = *m_shape;
        const Plan& plan = sh.plan;
        if (!sh.resumable) return plan.sql;  // read whole, once
        const std::vector<OrderKey>& keys = plan.order;
        const bool idDesc = !keys.empty() && keys[0].descending;
        std::string order;
        for (const OrderKey& k : keys)
            order += m_impl->backend->OrderTerm(k.sql, k.descending != backward) + ",";
        if (sh.uniqueKeys)
            order.pop_back();
        else
            order += sh.rowid + (idDesc != backward ? " DESC" : "");
        std::string cond;
        if (from) {
            const size_t first = plan.slots.size() + 1;
            auto param = [&](size_t i) {
                return m_impl->backend->Parameter(static_cast<int>(first + i));
            };
            bool plain = nulls.find('1') == std::string::npos;
            for (const OrderKey& k : keys) plain &= k.descending == idDesc && !k.nullable;
            if (plain) {
                // One comparison of the whole key, which an index serves.
                std::string left, right;
                for (size_t i = 0; i < keys.size(); ++i) {
                    left += keys[i].sql + ",";
                    right += param(i) + ",";
                }
                if (sh.uniqueKeys) {
                    left.pop_back();
                    right.pop_back();
                } else {
                    left += sh.rowid;
                    right += param(keys.size());
                }
                cond = "(" + left + ")" + (idDesc != backward ? "<" : ">") + "(" + right + ")";
            } else {
                // Term by term: equal on the keys before, then past this one.
                // NULL comes first in an ascending order.
                std::string equal;
                for (size_t i = 0; i <= keys.size(); ++i) {
                    const bool isId = i == keys.size();
                    if (isId && sh.uniqueKeys) break;
                    const std::string& x = isId ? sh.rowid : keys[i].sql;
                    const bool desc = (isId ? idDesc : keys[i].descending) != backward;
                    const bool null = !isId && nulls[i] == '1';
                    std::string past;
                    if (null)
                        past = desc ? std::string() : x + " IS NOT NULL";
                    else
                        past = desc ? "(" + x + "<" + param(i) + " OR " + x + " IS NULL)"
                                    : x + ">" + param(i);
                    if (!past.empty()) {
                        cond += (cond.empty() ? "(" : " OR (") + equal + past + ")";
                    }
                    if (!isId) equal += (null ? x + " IS NULL" : x + "=" + param(i)) + " AND ";
                }
                if (cond.empty()) cond = m_impl->backend->NoRows();
            }
        }
        std::string sql = sh.head;
        if (!sh.where.empty() && !cond.empty())
            sql += " WHERE (" + sh.where + ") AND (" + cond + ")";
        else if (!sh.where.empty())
            sql += " WHERE " + sh.where;
        else if (!cond.empty())
            sql += " WHERE " + cond;
        sql += " ORDER BY " + order;
        if (m_impl->backend->ReadsWhole())
            sql += " LIMIT " + m_impl->backend->Parameter(LimitParameter(from));
        return sql;
    }

    void BindRead(engine::Statement& st, const engine::SourceRow* from, size_t max) {
        const size_t keys = m_shape->KeyCount();
        if (from) {
            const int first = static_cast<int>(m_shape->plan.slots.size()) + 1;
            for (size_t i = 0; i < keys && i < from->key.size(); ++i) {
                if (!from->key[i].IsNull()) BindRaw(st, first + static_cast<int>(i), from->key[i]);
            }
            if (!m_shape->uniqueKeys) st.BindInt(first + static_cast<int>(keys), from->id);
        }
        if (m_shape->resumable && Session().backend->ReadsWhole())
            st.BindInt(LimitParameter(from != nullptr), static_cast<int64_t>(max));
    }

    // Whether `st` was sent ahead for just this read, with nothing changed
    // since: its answer is the window. A read sent ahead for another is
    // dropped.
    bool TakeAhead(engine::Statement& st, const engine::SourceRow* from, bool backward,
                   size_t max) {
        if (!m_ahead.st) return false;
        const bool same = m_ahead.st == &st && from && from->id == m_ahead.id &&
                          from->key == m_ahead.key && backward == m_ahead.backward &&
                          max == m_ahead.max && DataVersion() == m_ahead.version;
        if (same) {
            m_ahead = {};
            return true;
        }
        DropAhead();
        return false;
    }

    void DropAhead() {
        if (m_ahead.st) m_ahead.st->Reset();
        m_ahead = {};
    }

    // The window's size follows the plan's parameters and the row read on from.
    int LimitParameter(bool from) const {
        const size_t slots = m_shape->plan.slots.size();
        const size_t id = m_shape->uniqueKeys ? 0 : 1;
        return static_cast<int>(from ? slots + m_shape->KeyCount() + id + 1 : slots + 1);
    }

    std::string Target() const {
        return m_impl->QuoteIdent(m_schema) + "." + m_impl->QuoteIdent(m_table);
    }

    SourcePlanPool* Pool() const { return m_impl->PoolOf(m_poolKey, m_poolGeneration); }

    const TableDef& Def() {
        const TableDef* t = Session().FindTable(m_schema, m_table);
        if (!t) throw ComError(DB_E_NOTABLE, "Invalid object name '" + m_table + "'.");
        return *t;
    }

    // A write statement for one set of assigned columns: this source's own,
    // one a closed source of the same shape left, or a new one.
    Write& Prepared(bool insert, const std::vector<bool>& assigned) {
        Interpreter::Impl& impl = Session();
        // Rows are mostly written with the same columns as the one before.
        if (m_last && m_lastInsert == insert && m_lastAssigned == assigned) {
            if (m_last->identity && insert && !impl.IdentityInsertOn(m_schema, m_table))
                IdentityRefused();
            return *m_last;
        }
        Write& w = Lookup(insert, assigned);
        m_last = &w;
        m_lastInsert = insert;
        m_lastAssigned = assigned;
        return w;
    }

    Write& Lookup(bool insert, const std::vector<bool>& assigned) {
        Interpreter::Impl& impl = Session();
        const std::vector<std::string>& baseNames = m_shape->baseNames;
        // The key: which columns are assigned, one bit each.
        std::string key(1, insert ? 'I' : 'U');
        key.resize(1 + (baseNames.size() + 7) / 8, '\0');
        for (size_t i = 0; i < baseNames.size() && i < assigned.size(); ++i) {
            if (assigned[i]) key[1 + i / 8] = static_cast<char>(key[1 + i / 8] | (1 << (i % 8)));
        }
        auto own = m_writes.find(key);
        if (own == m_writes.end()) {
            Write taken;
            if (SourcePlanPool* pool = Pool()) {
                auto idle = pool->idleWrites.find(key);
                if (idle != pool->idleWrites.end() && !idle->second.empty()) {
                    taken = std::move(idle->second.back());
                    idle->second.pop_back();
                }
            }
            own = m_writes.emplace(key, std::move(taken)).first;
        }
        Write& w = own->second;
        // IDENTITY_INSERT can change while statements live: checked each time.
        if (w.identity && insert && !impl.IdentityInsertOn(m_schema, m_table)) IdentityRefused();
        if (w.st || !w.sql.empty()) return w;
        const TableDef& def = Def();
        bool identityOn = impl.IdentityInsertOn(m_schema, m_table);
        std::string cols, params, sets;
        w = Write();
        for (size_t i = 0; i < baseNames.size() && i < assigned.size(); ++i) {
            if (!assigned[i] || baseNames[i].empty()) continue;
            const ColumnDef* c = def.FindColumn(baseNames[i]);
            if (!c) throw ComError(adErrItemNotFound);
            if (c->identity && !insert) {
                throw ComError(DB_E_ERRORSINCOMMAND,
                               "Cannot update identity column '" + c->name + "'.");
            }
            if (c->identity && insert && !identityOn) IdentityRefused();
            w.identity |= c->identity;
            const std::string param =
                impl.backend->ColumnParameter(static_cast<int>(w.bound.size() + 1), c->type);
            cols += (cols.empty() ? "" : ",") + impl.QuoteIdent(c->name);
            params += (params.empty() ? "" : ",") + param;
            sets += (sets.empty() ? "" : ",") + impl.QuoteIdent(c->name) + "=" + param;
            w.bound.emplace_back(i, c->type);
        }
        if (insert && !identityOn && !w.identity) {
            std::string counted = impl.backend->CountedIdentity(m_schema, def);
            if (!counted.empty()) {
                cols += (cols.empty() ? "" : ",") + impl.QuoteIdent(def.IdentityColumn()->name);
                params += (params.empty() ? "" : ",") + counted;
            }
        }
        if (insert) {
            w.sql = "INSERT INTO " + Target() +
                    (cols.empty() ? " DEFAULT VALUES" : " (" + cols + ") VALUES (" + params + ")");
        } else if (!sets.empty()) {
            w.sql = "UPDATE " + Target() + " SET " + sets + " WHERE " + impl.backend->RowId({}) +
                    "=" + impl.backend->Parameter(static_cast<int>(w.bound.size() + 1));
        } else {
            w.sql = "-";  // nothing to write: no statement
            return w;
        }
        try {
            w.st = impl.Prepare(w.sql);
        } catch (...) {
            w = Write();  // built again next time
            m_last = nullptr;
            throw;
        }
        return w;
    }

    [[noreturn]] void IdentityRefused() const {
        throw ComError(DB_E_ERRORSINCOMMAND,
                       "Cannot insert explicit value for identity column in table '" + m_table +
                           "' when IDENTITY_INSERT is set to OFF.");
    }

    // Runs one write; `rowId` (when not 0) binds after the values.
    int64_t Run(Write& w, const std::vector<Variant>& values, int64_t rowId) {
        Interpreter::Impl& impl = Session();
        impl.CheckWritable();  // nothing more is written in a lost transaction
        engine::Statement& st = *w.st;
        st.Reset();
        int n = 1;
        // Texts bound in place from the caller's values (the first few by
        // number; -1 when there were more).
        int borrowed[8];
        int borrowedCount = 0;
        for (const auto& [index, type] : w.bound) {
            const Variant& v = values.at(index);
            if (BindDirect(st, n, v, type)) {
                if (v.Type() == VT_BSTR && borrowedCount >= 0) {
                    if (borrowedCount < 8) {
                        borrowed[borrowedCount++] = n;
                    } else {
                        borrowedCount = -1;
                    }
                }
            } else {
                st.Bind(n, FromVariant(v, type));
            }
            ++n;
        }
        // Every value is bound afresh on the next run; only texts bound in
        // place must not outlive this one.
        auto release = [&] {
            if (borrowedCount < 0) {
                st.ClearBindings();
                return;
            }
            for (int i = 0; i < borrowedCount; ++i) st.BindNull(borrowed[i]);
        };
        if (rowId) st.BindInt(n, rowId);
        if (st.Next() == engine::Statement::Step::Failed) {
            release();
            throw impl.MapError(st.Error(), w.sql);
        }
        int64_t id = impl.backend->LastInsertId();
        st.Reset();
        release();
        return id;
    }

    // Statements go back to the shape's pool while it is current.
    void Finalize() override {
        DropAhead();
        SourcePlanPool* pool = Pool();
        for (auto& [kind, st] : m_reads)
            Interpreter::Impl::KeepIdle(pool ? &pool->idle[kind] : nullptr, std::move(st));
        Interpreter::Impl::KeepIdle(pool ? &pool->idleFetch : nullptr, std::move(m_fetch));
        for (auto& [key, w] : m_writes) {
            if (!w.st) continue;
            if (pool && pool->idleWrites[key].size() < 2) {
                w.st->Reset();
                w.st->ClearBindings();
                pool->idleWrites[key].push_back(std::move(w));
            }
        }
        m_delete.st.reset();
        m_reads.clear();
        m_fetch = nullptr;
        m_writes.clear();
        m_last = nullptr;
    }

    std::string m_poolKey;
    uint64_t m_poolGeneration;
    std::shared_ptr<const Batch> m_batch;  // owns the statement the plan binds from
    const Stmt* m_stmt;
    std::string m_schema, m_table;
    std::shared_ptr<const Shape> m_shape;
    std::vector<Value> m_slotValues;  // the plan's parameters
    std::unordered_map<std::string, std::unique_ptr<engine::Statement>> m_reads;  // by kind
    // The read sent ahead (ReadAhead), and the read it is for.
    struct Ahead {
        engine::Statement* st = nullptr;
        int64_t id = 0;
        std::vector<Variant> key;
        bool backward = false;
        size_t max = 0;
        uint64_t version = 0;
    } m_ahead;
    std::unique_ptr<engine::Statement> m_fetch;
    std::unordered_map<std::string, Write> m_writes;  // by assigned columns
    Write* m_last = nullptr;                          // the write used last, for
    bool m_lastInsert = false;                        // ... these columns
    std::vector<bool> m_lastAssigned;
    Write m_delete;
};

Interpreter::Impl::~Impl() {
    while (!sources.empty()) sources.back()->Detach();
    ClearPlans();
}

namespace {

// A SELECT over one named table whose items are its columns: rows can be
// written back by row id.
bool IsUpdatableSelect(const SelectStmt& s) {
    if (s.distinct || s.unionNext || !s.groupBy.empty() || s.having || !s.into.empty() ||
        !s.with.empty())
        return false;
    if (s.from.size() != 1 || s.from[0]->join != JoinType::None || s.from[0]->derived) return false;
    // The views of INFORMATION_SCHEMA are read only, whatever table shares a name with one.
    if (IEquals(s.from[0]->table.schema, "INFORMATION_SCHEMA")) return false;
    for (const SelectItem& item : s.items) {
        if (!item.assignTo.empty()) return false;
        if (item.expr->kind != ExprKind::Star && item.expr->kind != ExprKind::Column) return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<engine::RecordSource> Interpreter::OpenSource(std::string_view source, bool isTable,
                                                              std::vector<ErrorRecord>& errors) {
    Impl& impl = *m_impl;
    std::string text = isTable ? "SELECT * FROM " + std::string(source) : std::string(source);
    std::shared_ptr<const Batch> batch;
    try {
        batch = std::make_shared<const Batch>(Parse(text, impl.quotedIdentifier));
    } catch (const ComError& e) {
        if (isTable) {
            ComError err(DB_E_NOTABLE, "Invalid object name '" + std::string(source) + "'.");
            errors.push_back({err.Error(), err.Description()});
            throw err;
        }
        errors.push_back({e.Error(), e.Description()});
        throw;
    }
    impl.CheckSchemaVersions();
    // Tables waiting to be made are made as the source needs them: here for
    // a table's own rows (none while it is yet to be made, see Read), by
    // the statement's run for any other query.
    if (batch->statements.size() == 1 && batch->statements[0]->kind == StmtKind::Select &&
        IsUpdatableSelect(*batch->statements[0]->select)) {
        const Stmt& stmt = *batch->statements[0];
        const SelectStmt& sel = *stmt.select;
        try {
            Env none;
            impl.env = &none;
            const TableRef& ref = *sel.from[0];
            std::string schema = ref.table.Database().empty() ? impl.currentSchema
                                                              : impl.Attach(ref.table.Database());
            const TableDef* table = impl.catalog.FindTable(schema, ref.table.name);
            // A system table shown through a view is read, never written.
            if (table && impl.FindTable(schema, ref.table.name) != table) table = nullptr;
            if (table) {
                if (!impl.YetToBeMade(schema, table->name)) impl.FlushDeferredFor(stmt);
                std::string key = ShapeKey(*batch, stmt, impl.currentSchema);
                auto found = impl.sourcePlans.find(key);
                bool cached = found != impl.sourcePlans.end();
                // A shape whose rendering holds a literal of its own serves
                // only statements with that same literal; others go unshared.
                bool shared = true;
                if (cached) {
                    for (const auto& [index, text] : found->second.shape->plan.inlined) {
                        if (index >= static_cast<int>(stmt.literals.size()) ||
                            stmt.literals[static_cast<size_t>(index)]->text != text) {
                            cached = shared = false;
                        }
                    }
                }
                std::shared_ptr<const Interpreter::Impl::SourceShape> shape;
                if (cached) {
                    shape = found->second.shape;
                } else {
                    Plan plan = impl.RenderSelect(sel, impl);
                    std::string alias = ref.alias.empty() ? table->name : ref.alias;
                    bool variables = false;
                    for (const Slot& slot : plan.slots) {
                        variables |= slot.source == Slot::Source::Variable;
                    }
                    shape = TableSource::MakeShape(impl, schema, *table, alias, std::move(plan));
                    if (variables || !shared) {
                        key.clear();  // nothing goes back to a pool
                    } else {
                        impl.sourcePlans[key].shape = shape;
                    }
                }
                auto src = std::make_unique<TableSource>(&impl, batch, &stmt, schema, table->name,
                                                         std::move(shape), std::move(key));
                impl.env = nullptr;
                return src;
            }
            impl.env = nullptr;
        } catch (const ComError& e) {
            impl.env = nullptr;
            errors.push_back({e.Error(), e.Description()});
            throw;
        }
    }
    std::unique_ptr<engine::Rows> rows;
    size_t before = errors.size();
    impl.Execute(text, errors, &rows);
    for (size_t i = before; i < errors.size(); ++i) {
        if (!errors[i].informational) throw ComError(errors[i].number, errors[i].description);
    }
    return std::make_unique<ReadOnlySource>(&impl, std::move(rows));
}

}  // namespace xr::engine
