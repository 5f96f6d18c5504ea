// CXRTable, the base of every table record object: one recordset on the
// calling thread's connection, with opening, navigation, searching, counting,
// cloning, typed field access and writing, and the SQL script writer that
// records changes so they can be replayed on another database.
//
// Results: 1 for success and 0 for failure unless stated; counts give -1 on
// failure; EndOfFile and BOF give -1 for true. Errors are reported through the
// library's last error and log (DBGetError, DBSetLog); no operation throws.
//
// Threads: an object (and every copy of it, since copies share one cursor)
// belongs to one thread at a time, and while it is open only to the thread
// that opened it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "xrdb8/export.h"
#include "xrdb8/types.h"

namespace xr {
class Variant;
namespace engine {
class Recordset;
}
}  // namespace xr

// A text file read line by line. A line may be of any length; "\n" ends it and
// a "\r" just before the "\n" is dropped, so files from Windows tills read the
// same as our own.
class XRDB8_API CStdioFile {
public:
    CStdioFile() = default;
    ~CStdioFile();
    CStdioFile(const CStdioFile&) = delete;
    CStdioFile& operator=(const CStdioFile&) = delete;

    // fopen modes ("r", "a", ...). False when the file cannot be opened or is a
    // folder. An open file is closed first.
    bool Open(const char* path, const char* mode);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }
    // The next line without its line end; false at the end of the file (or on
    // a read error, see Failed).
    bool ReadString(std::string& line);
    bool WriteString(std::string_view text);
    // True when a read or write failed (as opposed to reaching the end).
    bool Failed() const;
    int64_t GetPosition() const;  // -1 when not open
    bool Seek(int64_t position);
    std::FILE* Handle() const { return m_file; }

private:
    std::FILE* m_file = nullptr;
    char* m_buffer = nullptr;  // getline's buffer, kept between lines
    size_t m_capacity = 0;
};

class XRDB8_API CXRTable {
public:
    CXRTable();
    // Copies share the recordset and the clone: both objects move one cursor.
    CXRTable(const CXRTable& other);
    CXRTable& operator=(const CXRTable& other);

    // ---- virtual operations, in the order of their slots -------------------
    // Adds an empty row and makes it current (StructureTo loads it); 0 when
    // not open.
    virtual int AddNew();
    virtual ~CXRTable();
    // Record classes that import CSV override it; the base imports nothing.
    virtual int ImportCSVBody(CStdioFile& file, int flags);
    // Row to record structure; called after every successful positioning.
    virtual int StructureTo();
    // Record structure to row; called by Update (m_vOnly holds its argument).
    virtual int StructureFrom();
    // The XML import asks before writing a column: non-zero writes it (the
    // value may be changed in place), 0 skips it.
    virtual int FieldFilter(const char* column, std::string& value);
    // CopyFrom, CopyFromClone and the script writer ask per column: non-zero
    // means the column takes part.
    virtual int SQLFieldFilter(const char* column);

    // ---- opening and navigation -------------------------------------------
    int OpenTable();               // the whole table, keyset cursor
    int OpenRS(const char* sql);   // a statement, dynamic cursor
    int OpenRSAll();               // SELECT * FROM m_name [ORDER BY m_orderBy]
    int OpenGet(const char* sql);  // OpenRS, then on the first row (StructureTo)
    int MoveFirst();               // OpenRSAll and the first row
    int MoveFirst(const char* sql);
    int MoveLast();
    int MoveLast(const char* sql);
    int MoveNext();
    int MovePrevious();
    int Move(int n);                                // 0 leaves the row as it is
    int Find(const char* criteria, int direction);  // "column op value", 1 / -1
    int EndOfFile();                                // -1 at the end, 0 not; 1 when closed
    int BOF();                                      // -1 at the beginning, 0 not; 1 when closed
    // Rows of the table or the statement; leaves the object open on a static
    // recordset, so a caller that was walking the table repositions after it.
    long Count();
    long Count(const char* sql);
    // The key column names 0..5; null for an empty entry or another index.
    const char* GetKeyName(int i);
    std::string& get_Name() { return m_name; }
    int DirtyGet() { return m_dirty; }
    void DirtySet(int dirty) { m_dirty = dirty; }

    // ---- typed field access (current row) ----------------------------------
    // Integer reads: NULL gives 0; numbers round half to even; text holding a
    // number converts. A missing column or no current row gives 0 and leaves
    // the target unchanged.
    int GetField(const char* column, short& value);
    int GetField(const char* column, int32_t& value);
    int GetField(const char* column, long& value);      // the full 64-bit value
    int GetField(const char* column, uint32_t& value);  // the 32-bit read's bits
    int GetField(const char* column, unsigned short& value);
    int GetField(const char* column, char& value);
    int GetField(const char* column, unsigned char& value);
    // Money in hundredths, rounded half away from zero; NULL fails.
    int GetFieldAmt(const char* column, int32_t& hundredths);
    int GetFieldAmt(const char* column, long& hundredths);
    int GetField(const char* column, double& value);  // NULL fails
    int GetFieldDec(const char* column, double& value);
    // Item numbers; NULL gives the result 0 and leaves the target unchanged.
    int GetField(const char* column, uint64_t& value);
    int GetField(const char* column, SYSTEMTIME& value);  // to the second
    // Text into a buffer of `size` bytes (terminator included): cut to
    // size - 1 characters, trailing blanks removed; NULL gives "".
    int GetField(const char* column, char* buffer, int size);
    int GetField(const char* column, std::string& value);  // untrimmed
    // Bytes of a binary column: at most `length`; `length` receives the count.
    int GetField(const char* column, void* buffer, int& length);
    int GetFieldSize(const char* column, int& size);
    // flags |= mask when the column is non-zero; a zero leaves flags alone.
    int GetFieldBit(const char* column, int mask, int& flags);
    int IsSet(const char* column);         // the 32-bit value, 0 when unreadable
    int IsNull(const char* column);        // 1 when NULL, empty or unreadable
    int GetFieldType(const char* column);  // the value's variant type, -1 unreadable

    int SetField(const char* column, short value);
    int SetField(const char* column, int32_t value);
    int SetField(const char* column, long value);      // 32-bit when it fits, else 64-bit
    int SetField(const char* column, uint32_t value);  // written as the 32-bit pattern
    int SetField(const char* column, const char* value);
    int SetField(const char* column, char* value);
    int SetField(const char* column, const std::string& value);
    int SetField(const char* column, double value);
    int SetFieldDec(const char* column, double value);
    int SetFieldAmt(const char* column, int32_t hundredths);
    int SetField(const char* column, uint64_t value);
    int SetField(const char* column, const SYSTEMTIME& value);
    int SetField(const char* column, const void* data, int length);
    int SetFieldNull(const char* column);

    // ---- writing ------------------------------------------------------------
    // Stores the current (or new) row from the record structure; `vOnly` is
    // kept in m_vOnly for StructureFrom. A failure drops the pending changes.
    int Update(int vOnly = 0);
    int CancelUpdate();  // drops a row added by AddNew; 0 when none is pending
    int Delete();        // the current row
    int DeleteAll();     // DELETE FROM m_name
    // Runs a statement on the thread's connection; closes the object first.
    int Exec(const std::string& sql);
    // The last identity value generated for the table (any connection); 0 when
    // there is none. Leaves the object closed.
    long GetIdentity();
    // Copies the current row of `source` column by column (by position, named
    // as in `source`) into this object's current row; NULLs are skipped.
    int CopyFrom(CXRTable& source);

    // ---- SQL script writer ----------------------------------------------------
    // The current row as an INSERT (mode 1), UPDATE (0: without binary
    // columns, 5: with them) or DELETE (-1); "--->GO" follows when `go`.
    int AAScriptRecord(std::FILE* stream, int mode, int go);
    // The current row as an upsert (IF EXISTS ... UPDATE ... ELSE INSERT).
    int AAScriptRecord(std::FILE* stream);
    // The whole table appended to `path`: DELETE FROM, then one INSERT per row.
    int AAScriptAll(const char* path);
    // Starts (or with null, stops) the change log that Update, Delete and Exec
    // append to. The object takes the stream over.
    int AAScriptAuto(std::FILE* stream);
    int AAScriptAuto(const char* path);
    static int AAScriptGo(std::FILE* stream);

    // ---- CSV and XML import ---------------------------------------------------
    // Adds, changes or deletes rows from a comma-separated file through the
    // record class's ImportCSVBody. Every change is appended to `scriptPath`
    // (null, or a file that cannot be opened: no script); with `replace` the
    // table is emptied first. 0 when the CSV file cannot be opened, else what
    // the body answers (1 unless a failed line stopped it).
    int ImportCSV(const char* csvPath, const char* scriptPath, int replace);
    // Loads the product elements of an XML file (attribute = column) into
    // "Products", one by one. `recordName` (may be null) is the name the top
    // element's first child must carry. 1 when the document was read and its
    // elements visited, whatever single products gave (each failure is
    // logged); 0 when it does not parse, is empty or its first record element
    // is missing or misnamed.
    static int XmlLoadFile(const char* path, const char* recordName);

protected:
    // A line whose record could not be written: logged; 1 lets the import go on.
    int ImportCSVError(const char* line);
    // The next field of `line` from `pos`: up to the next comma or the end,
    // one pair of matching outer quotes (' or ") removed. 0 when no field is
    // left (the target is then unchanged); pos moves past the comma.
    static int CSVParse(const char* line, int& pos, std::string& field);
    // The next field as a number (atoi: 0 for text that is not one).
    static int CSVParse(const char* line, int& pos, int& value);
    int OpenRSStatic(const char* sql);
    int CloseRS();
    int Clone();
    int CopyFromClone();
    int GetField(const char* column, xr::Variant& value);
    int SetField(const char* column, const xr::Variant& value);
    // Writes one value in the script's text form; the number of characters
    // written (0 after a binary value, which ends its own line).
    static int PutField(std::FILE* stream, const xr::Variant& value);

public:
    // True while the recordset is open (copies see one state).
    bool IsOpen() const;

    std::string m_name;
    std::FILE* m_script = nullptr;
    int m_vOnly = 0;
    std::string m_keys[7];
    std::string m_orderBy;
    int m_dirty = 0;
    std::shared_ptr<xr::engine::Recordset> m_pRS;
    std::shared_ptr<xr::engine::Recordset> m_pClone;
    int m_isOpen = 0;
    int m_scriptFlag = 0;
    int m_newRecord = 0;
    int m_xmlCount = 0;

private:
    class StrictReads;

    // One XML record element (as text) into this table, by its key columns;
    // m_xmlCount tells how far it came. 1 when the row was written.
    int XmlLoadNode(std::string& xml);

    int OpenWith(const char* source, int cursorType, bool isTable, bool clearNew, int where);
    int MoveEnd(const char* sql, bool first, int where);
    long CountOf(const std::string& sql);
    int CallStructureTo();
    // A value that cannot be converted: inside a positioning operation (or
    // Update's StructureFrom) it ends that operation; otherwise it is
    // reported here with `where` and gives 0. Called from a catch block.
    int ConversionFailed(int where);
    int ReadRaw(const char* column, xr::Variant& value);
    // The value of a column of the current row; throws what the recordset throws.
    xr::Variant ReadValue(const char* column) const;
    // A read followed by `convert(value)`; conversion failures as above.
    template <typename Fn>
    int ReadAs(const char* column, Fn&& convert);
    int CopyColumns(xr::engine::Recordset& source, bool copyNulls);
    // The script writer's statements, rendered whole before anything is
    // written so that a failure leaves no half statement in the script.
    void RenderRecord(std::string& out, int mode);
    void RenderUpsert(std::string& out);
    void ScriptRecord(std::FILE* stream, int mode, int go);
    void ReplaceScript(std::FILE* stream);

    int m_strict = 0;                         // > 0 while a positioning operation runs StructureTo
    std::shared_ptr<std::FILE> m_scriptHold;  // the change log taken over by AAScriptAuto
    static const bool s_scriptHooked;         // the script writer is on the table's hook
};
