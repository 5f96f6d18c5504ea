// The seam between the library and a database engine. A Session is one open
// link to a server (for the embedded engine: a folder of database files) with
// the per-connection state of the T-SQL dialect; Rows is one result set.
// A second engine implements these two interfaces and registers a provider.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/variant.h"

namespace xr::engine {

// One entry of the connection's errors collection.
struct ErrorRecord {
    HRESULT number;
    std::string description;
    // An informational message (PRINT, RAISERROR at severity 10 or less):
    // reported with the errors, but the call does not fail for it.
    bool informational = false;
    // The server's own terms, for a message the T-SQL layer raised (0 when
    // the message came from elsewhere): its error number, severity and state,
    // and the line of the failing statement within its batch (or procedure).
    int native = 0;
    int severity = 0;
    int state = 0;
    int line = 0;
    std::string procedure{};  // the procedure the statement was in, if any
};

// Whether `errors` holds an error, not only informational messages.
inline bool HasError(const std::vector<ErrorRecord>& errors) {
    for (const ErrorRecord& e : errors) {
        if (!e.informational) return true;
    }
    return false;
}

// The ADO field types (xr::AdoType) are the engine's too.
using enum xr::AdoType;

struct ColumnInfo {
    std::string name;
    std::string typeName;  // the declared T-SQL type, e.g. "VARCHAR(40)", "MONEY"
    uint16_t adoType = adEmpty;
    int32_t definedSize = 0;
    uint8_t precision = 0;
    uint8_t scale = 0;
    bool nullable = true;
    std::string baseTable;   // table the column comes from, empty for expressions
    std::string baseColumn;  // its name there
};

class Rows {
public:
    virtual ~Rows() = default;
    virtual size_t ColumnCount() const = 0;
    virtual const ColumnInfo& Column(size_t i) const = 0;
    // Advances to the next row; false when there is none. Throws ComError.
    virtual bool Next() = 0;
    // The value of column i of the current row.
    virtual Variant Value(size_t i) const = 0;
};

// Takes a batch's result sets as the statements produce them, row by row,
// so that a caller printing them holds none whole. Never throws: a sink that
// can no longer deliver (its output is gone) drops what follows.
class ResultSink {
public:
    virtual ~ResultSink() = default;
    // A result set begins.
    virtual void Begin(const std::vector<ColumnInfo>& columns) = 0;
    // One row of it, one value per column; the values are the caller's and
    // change with the next row.
    virtual void Row(const std::vector<Variant>& values) = 0;
    // The result set is complete, with `rows` rows. A statement that fails
    // part-way ends its result set without this call.
    virtual void End(int64_t rows) = 0;
    // The rows an INSERT, UPDATE or DELETE changed (the server's "rows
    // affected" count), unless SET NOCOUNT is ON.
    virtual void Affected(int64_t /*rows*/) {}
    // A message or error of the batch as it is recorded, in order with the
    // rows; it is in the errors collection as well.
    virtual void Message(const ErrorRecord& /*message*/) {}
};

// One row as a record source hands it out: its id (0 for a read-only
// source), its values, and its place in the source's order, which the
// source needs to read on from it.
struct SourceRow {
    int64_t id = 0;
    std::vector<Variant> values;
    std::vector<Variant> key;
};

// Every engine's Statement::RowInto: `keys` columns from `first` raw as the
// row's key, then one value per type, of the columns marked in `columns`
// (null: all; the others empty). `S` is the engine's final statement class,
// so each column is read by a direct call.
template <class S, class Types>
void ReadSourceRow(S& st, int first, size_t keys, const Types& types,
                   const std::vector<uint8_t>* columns, SourceRow* row) {
    row->key.resize(keys);
    for (size_t i = 0; i < keys; ++i) st.RawInto(first + static_cast<int>(i), &row->key[i]);
    row->values.resize(types.size());
    const int at = first + static_cast<int>(keys);
    for (size_t i = 0; i < types.size(); ++i) {
        if (columns && !(*columns)[i])
            row->values[i].SetEmpty();
        else
            st.ColumnInto(at + static_cast<int>(i), types[i], &row->values[i]);
    }
}

// The rows behind a recordset, read a few at a time from a row on, and
// writes that follow the T-SQL layer's rules (types, defaults, identity,
// keys, NOT NULL) with the server's messages. A source over one base table
// is updatable; a join, an aggregate or an expression list is read-only
// (row ids 0, writes fail).
//
// Outside a transaction a source holds nothing open on the server between
// calls: a recordset that stands on a row for days neither hides what other
// connections commit from its connection's later statements nor blocks that
// connection's writes or the server's housekeeping.
class RecordSource {
public:
    virtual ~RecordSource() = default;
    virtual size_t ColumnCount() const = 0;
    virtual const ColumnInfo& Column(size_t i) const = 0;
    virtual bool Updatable() const = 0;
    // The base table of an updatable source.
    virtual const std::string& BaseTable() const = 0;
    // Whether Read can go on from a row; a source that cannot is read whole
    // when it opens.
    virtual bool Resumable() const = 0;

    // Reads into `rows` up to `max` rows that follow `from` in the source's
    // order (precede it when `backward`), or from its first (last) row when
    // `from` is null, as they are now; `rows` ends up holding just those
    // rows, reusing the room of the rows it held. Only the columns marked in
    // `columns` are read (null: all); the others are left empty. False when
    // the end was reached.
    virtual bool Read(const SourceRow* from, bool backward, size_t max,
                      std::vector<SourceRow>& rows,
                      const std::vector<uint8_t>* columns = nullptr) = 0;
    // Tells the source that the next Read will likely go on from `from`: a
    // server engine starts that read now, to run while the caller works on.
    virtual void ReadAhead(const SourceRow& /*from*/, bool /*backward*/, size_t /*max*/) {}
    // A mark that moves whenever rows the source reads may have changed: a
    // commit of any connection or a write of this one. Cheap enough to ask
    // on every move.
    virtual uint64_t DataVersion() = 0;

    // Reads a row by id as it is now; false when the row is gone.
    virtual bool Fetch(int64_t rowId, SourceRow* row) = 0;
    // Stores a new row from the columns marked in `assigned` (the others take
    // their defaults) and returns its id. The stored row (defaults and
    // identity included) is read with Fetch when it is wanted.
    virtual int64_t Insert(const std::vector<Variant>& values,
                           const std::vector<bool>& assigned) = 0;
    // Writes the assigned columns of a row.
    virtual void Update(int64_t rowId, const std::vector<Variant>& values,
                        const std::vector<bool>& assigned) = 0;
    virtual void Delete(int64_t rowId) = 0;
};

class Session {
public:
    virtual ~Session() = default;

    // Runs a batch. Every error is appended to `errors` (a run-time error ends
    // only its statement); the caller raises the first one.
    virtual void Execute(std::string_view batch, std::vector<ErrorRecord>& errors) = 0;
    // Runs a batch and returns the rows of its first result set, or null when
    // it produced none. Errors as for Execute.
    virtual std::unique_ptr<Rows> Query(std::string_view batch,
                                        std::vector<ErrorRecord>& errors) = 0;
    // Runs a batch and hands every result set it produces to `sink` as it
    // is produced. Errors as for Execute.
    virtual void Stream(std::string_view batch, std::vector<ErrorRecord>& errors,
                        ResultSink& sink) = 0;

    // Opens the rows of a statement, or of a whole table when `isTable`.
    // Throws ComError (errors of the statement are also in `errors`).
    virtual std::unique_ptr<RecordSource> OpenSource(std::string_view source, bool isTable,
                                                     std::vector<ErrorRecord>& errors) = 0;

    virtual void BeginTrans() = 0;
    virtual void CommitTrans() = 0;
    virtual void RollbackTrans() = 0;

    virtual std::string DefaultDatabase() const = 0;
    virtual void SetDefaultDatabase(std::string_view name) = 0;  // throws ComError
    virtual std::string DbmsVersion() const = 0;
};

}  // namespace xr::engine
