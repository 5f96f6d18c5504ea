// The recordset as the library sees it (ADO's Recordset over a server-side
// cursor): open a table or a statement, move, find, count, clone, add,
// update, cancel and delete rows, and reach fields by name or index.
// Failures throw xr::ComError with ADO's codes and texts (adErrNoCurrentRecord,
// adErrObjectClosed, adErrItemNotFound, ...) or the engine's errors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/session.h"

namespace xr::engine {

class Connection;

enum CursorTypeEnum {
    adOpenForwardOnly = 0,
    adOpenKeyset = 1,
    adOpenDynamic = 2,
    adOpenStatic = 3
};
enum LockTypeEnum {
    adLockUnspecified = -1,
    adLockReadOnly = 1,
    adLockPessimistic = 2,
    adLockOptimistic = 3,
    adLockBatchOptimistic = 4
};
enum SearchDirectionEnum { adSearchForward = 1, adSearchBackward = -1 };
enum EditModeEnum { adEditNone = 0, adEditInProgress = 1, adEditAdd = 2, adEditDelete = 4 };
enum RecordStatusEnum {
    adRecOK = 0,
    adRecNew = 0x1,
    adRecModified = 0x2,
    adRecDeleted = 0x4,
    adRecUnmodified = 0x8,
    adRecDBDeleted = 0x40000
};

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Opens `source` (a statement, or a table name when `isTable`) on the
    // connection. Keyset and static cursors know their record count; a
    // source that cannot be written opens read-only whatever `lockType` says.
    void Open(Connection& connection, std::string_view source, int cursorType, int lockType,
              bool isTable = false);
    void Close();  // never throws
    bool IsOpen() const;

    bool BOF() const;  // throws adErrObjectClosed when closed
    bool EndOfFile() const;
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    void Move(long n);
    // ADO criterion "column op value" (= < > <= >= <> LIKE; numbers, 'text',
    // #text or date#, * and % wildcards), searched from the current row.
    void Find(std::string_view criteria, long skipRows = 0, int direction = adSearchForward);
    long RecordCount() const;  // -1 when the cursor does not know it
    // A recordset over the same rows with its own current row (the first).
    std::unique_ptr<Recordset> Clone(int lockType = adLockUnspecified) const;

    void AddNew();
    void Update();
    void CancelUpdate();
    void Delete();
    int EditMode() const;
    int Status() const;  // RecordStatusEnum bits of the current row

    size_t FieldCount() const;  // 0 when closed
    // -1 when there is no such field (names compare without case).
    int FieldIndex(std::string_view name) const;
    int FieldIndex(const char* name) const;       // a terminated name; null names no field
    const ColumnInfo& Field(size_t index) const;  // throws adErrItemNotFound
    const std::string& FieldName(size_t index) const;
    uint16_t FieldType(size_t index) const;  // ADO DataTypeEnum
    // The value stays good until the recordset moves, writes or closes.
    const Variant& Value(size_t index) const;           // throws adErrNoCurrentRecord, ...
    const Variant& Value(std::string_view name) const;  // throws adErrItemNotFound, ...
    void SetValue(size_t index, const Variant& v);
    void SetValue(std::string_view name, const Variant& v);

    struct Impl;

private:
    std::shared_ptr<Impl> m_impl;
};

}  // namespace xr::engine
