#include "engine/recordset.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <unordered_set>

#include "engine/connection.h"
#include "platform/text.h"

namespace xr::engine {

namespace {

// The provider's refusal to move a forward-only cursor backwards.
constexpr HRESULT kCantFetchBackwards = Hr(0x80040E24);
constexpr const char* kNotUpdatableText =
    "Current Recordset does not support updating. This may be a limitation of the provider, or "
    "of the selected locktype.";
// A moving cursor reads the rows ahead of it in windows that grow from one
// row (a key lookup reads no more than it needs) to this many while nothing
// changes; a change anywhere starts them small again.
constexpr size_t kMaxWindow = 128;
// Rows per read when a whole result is copied or counted.
constexpr size_t kCopyWindow = 512;

[[noreturn]] void Raise(HRESULT code) { throw ComError(code); }
[[noreturn]] void RaiseClosed() { Raise(adErrObjectClosed); }
[[noreturn]] void RaiseNoCurrent() { Raise(adErrNoCurrentRecord); }
[[noreturn]] void RaiseNotUpdatable() {
    throw ComError(adErrFeatureNotAvailable, kNotUpdatableText);
}

// Runs one public operation so that nothing but ComError leaves it.
template <typename Fn>
auto Guarded(Fn&& fn) -> decltype(fn()) {
    try {
        return fn();
    } catch (const ComError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw ComError(E_OUTOFMEMORY_);
    } catch (const std::exception& e) {
        throw ComError(E_FAIL_, e.what());
    }
}

uint32_t NameHash(std::string_view name) {
    uint32_t h = 2166136261u;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 'A' && u <= 'Z') u = static_cast<unsigned char>(u + 32);
        h = (h ^ u) * 16777619u;
    }
    return h;
}

// The rows of a static cursor, packed: a copy of a large table must not
// cost a full variant per field.
class RowStore {
public:
    size_t Size() const { return m_at.size(); }

    void Add(const std::vector<Variant>& values) {
        m_at.push_back(m_bytes.size());
        for (const Variant& v : values) Put(v);
    }

    void Replace(size_t row, const std::vector<Variant>& values) {
        m_at[row] = m_bytes.size();  // the old bytes stay unused
        for (const Variant& v : values) Put(v);
    }

    void Load(size_t row, size_t columns, std::vector<Variant>* values) const {
        values->resize(columns);
        const char* p = m_bytes.data() + m_at[row];
        for (Variant& v : *values) p = Get(p, &v);
    }

private:
    enum Tag : uint8_t { kEmpty, kNull, kInt, kReal, kText, kBytes, kDecimal };

    template <typename T>
    void Raw(const T& value) {
        m_bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    template <typename T>
    static const char* Raw(const char* p, T* value) {
        std::memcpy(value, p, sizeof *value);
        return p + sizeof *value;
    }

    void Put(const Variant& v) {
        const VARTYPE vt = v.Type();
        switch (vt) {
            case VT_EMPTY:
            case VT_NULL:
                m_bytes += static_cast<char>(vt == VT_EMPTY ? kEmpty : kNull);
                return;
            case VT_R4:
            case VT_R8:
            case VT_DATE:
                m_bytes += static_cast<char>(kReal);
                Raw(vt);
                Raw(v.RealValue());
                return;
            case VT_BSTR:
            case VT_BYTES: {
                m_bytes += static_cast<char>(vt == VT_BSTR ? kText : kBytes);
                const std::string_view data = vt == VT_BSTR ? v.TextValue() : v.BytesView();
                Raw(static_cast<uint32_t>(data.size()));
                m_bytes.append(data);
                return;
            }
            case VT_DECIMAL:
                m_bytes += static_cast<char>(kDecimal);
                Raw(v.DecValue());
                return;
            default:
                m_bytes += static_cast<char>(kInt);
                Raw(vt);
                Raw(v.IntValue());
                return;
        }
    }

    static const char* Get(const char* p, Variant* v) {
        const auto tag = static_cast<Tag>(*p++);
        VARTYPE vt = VT_EMPTY;
        switch (tag) {
            case kEmpty:
                *v = Variant();
                return p;
            case kNull:
                *v = Variant::Null();
                return p;
            case kReal: {
                double d = 0;
                p = Raw(Raw(p, &vt), &d);
                *v = vt == VT_R4 ? Variant::R4(static_cast<float>(d))
                                 : (vt == VT_DATE ? Variant::Date(d) : Variant::R8(d));
                return p;
            }
            case kText:
            case kBytes: {
                uint32_t n = 0;
                p = Raw(p, &n);
                *v = tag == kText ? Variant::Text(std::string_view(p, n)) : Variant::Bytes(p, n);
                return p + n;
            }
            case kDecimal: {
                Decimal d;
                p = Raw(p, &d);
                *v = Variant::Dec(d);
                return p;
            }
            case kInt:
                break;
        }
        int64_t i = 0;
        p = Raw(Raw(p, &vt), &i);
        switch (vt) {
            case VT_I2:
                *v = Variant::I2(static_cast<int16_t>(i));
                break;
            case VT_I4:
                *v = Variant::I4(static_cast<int32_t>(i));
                break;
            case VT_UI1:
                *v = Variant::UI1(static_cast<uint8_t>(i));
                break;
            case VT_UI8:
                *v = Variant::UI8(static_cast<uint64_t>(i));
                break;
            case VT_BOOL:
                *v = Variant::Bool(i != 0);
                break;
            case VT_CY:
                *v = Variant::Currency(i);
                break;
            case VT_I8:
                *v = Variant::I8(i);
                break;
            default:  // the rarer integer types come back through their conversion
                *v = Variant::I8(i).ChangeType(vt);
                break;
        }
        return p;
    }

    std::string m_bytes;
    std::vector<size_t> m_at;  // where each row begins
};

}  // namespace

// What all clones of one recordset share: the source, the names of its
// columns and, for a cursor whose rows were fixed when it opened (static,
// keyset, a result read whole), those rows.
struct Shared {
    std::unique_ptr<RecordSource> source;
    size_t columnCount = 0;
    bool updatable = false;  // the source keeps row ids and takes writes
    std::vector<int32_t> nameSlots;
    uint32_t nameMask = 0;

    // Rows fixed at open: their ids, and their values when they were copied
    // (a keyset cursor reads each row as it is now when it lands on it).
    bool indexed = false;
    bool copied = false;
    std::vector<int64_t> ids;
    RowStore copy;
    std::vector<bool> gone;  // deleted through a recordset or by others; sized lazily
    size_t goneCount = 0;

    // Rows written through any clone since the walk last started over: a
    // moving cursor passes them by, so a write that moves a row ahead of the
    // cursor (a price walk ordered by price) does not meet it twice.
    std::unordered_set<int64_t> written;

    // The columns callers have read: once any has been, a moving cursor reads
    // only those (a wide table's other columns cost as much as the rest of a
    // read), and a column read for the first time later fetches its row whole.
    std::vector<uint8_t> touched;
    bool anyTouched = false;

    void BuildNames() {
        size_t size = 8;
        while (size < columnCount * 2) size *= 2;
        nameSlots.assign(size, -1);
        nameMask = static_cast<uint32_t>(size - 1);
        memo.clear();
        memoUsed = 0;
        for (size_t i = 0; i < columnCount; ++i) {
            const std::string& name = source->Column(i).name;
            if (Lookup(name) >= 0) continue;  // the first of equal names wins
            uint32_t slot = NameHash(name) & nameMask;
            while (nameSlots[slot] >= 0) slot = (slot + 1) & nameMask;
            nameSlots[slot] = static_cast<int32_t>(i);
        }
    }

    // Callers name fields with the same texts row after row (record classes
    // pass literals): a lookup is remembered by the text's address and
    // confirmed by its bytes, so a reused buffer with other contents misses.
    // Open addressing, sized for every column; cleared when half full (texts
    // built afresh for each call would otherwise fill it).
    struct NameMemo {
        const char* data = nullptr;  // null: a free place
        size_t size = 0;
        int index = -1;
        char text[32];
    };
    mutable std::vector<NameMemo> memo;
    mutable size_t memoUsed = 0;

    int Find(std::string_view name) const {
        if (nameSlots.empty()) return -1;
        if (!name.data() || name.size() > sizeof(NameMemo::text)) return Lookup(name);
        if (memo.empty()) {
            size_t size = 64;
            while (size < columnCount * 4) size *= 2;
            memo.resize(size);
        }
        const size_t mask = memo.size() - 1;
        const auto address = reinterpret_cast<uintptr_t>(name.data());
        size_t slot = static_cast<size_t>((address * 0x9E3779B97F4A7C15ull) >> 32) & mask;
        for (;; slot = (slot + 1) & mask) {
            NameMemo& m = memo[slot];
            if (!m.data) break;
            if (m.data != name.data()) continue;
            if (m.size == name.size() && SameBytes(m.text, name)) return m.index;
            return Remember(m, name);  // the same buffer holding another name
        }
        if ((memoUsed + 1) * 2 > memo.size()) {
            std::fill(memo.begin(), memo.end(), NameMemo());
            memoUsed = 0;
            slot = static_cast<size_t>((address * 0x9E3779B97F4A7C15ull) >> 32) & mask;
        }
        ++memoUsed;
        return Remember(memo[slot], name);
    }

    // Names are short: a loop beats a call to memcmp.
    static bool SameBytes(const char* kept, std::string_view name) {
        for (size_t i = 0; i < name.size(); ++i) {
            if (kept[i] != name[i]) return false;
        }
        return true;
    }

    // A terminated name: a remembered address is confirmed by its bytes and
    // its end, so the length need not be counted first.
    int Find(const char* name) const {
        if (!name) return Find(std::string_view());
        if (!memo.empty()) {
            const size_t mask = memo.size() - 1;
            const auto address = reinterpret_cast<uintptr_t>(name);
            size_t slot = static_cast<size_t>((address * 0x9E3779B97F4A7C15ull) >> 32) & mask;
            for (;; slot = (slot + 1) & mask) {
                const NameMemo& m = memo[slot];
                if (!m.data) break;
                if (m.data != name) continue;
                // Stops at the first byte that differs: never reads past the
                // caller's terminator, as kept names hold none.
                size_t i = 0;
                while (i < m.size && m.text[i] == name[i]) ++i;
                if (i == m.size && name[i] == '\0') return m.index;
                break;
            }
        }
        return Find(std::string_view(name));
    }

    int Remember(NameMemo& m, std::string_view name) const {
        // A name with a zero byte in it is never kept: the terminated form
        // of the lookup must not read past a caller's terminator.
        if (std::memchr(name.data(), 0, name.size())) return Lookup(name);
        m.data = name.data();
        m.size = name.size();
        std::memcpy(m.text, name.data(), name.size());
        m.index = Lookup(name);
        return m.index;
    }

    int Lookup(std::string_view name) const {
        uint32_t slot = NameHash(name) & nameMask;
        while (nameSlots[slot] >= 0) {
            int index = nameSlots[slot];
            if (IEquals(source->Column(static_cast<size_t>(index)).name, name)) return index;
            slot = (slot + 1) & nameMask;
        }
        return -1;
    }

    long Known() const { return static_cast<long>(ids.size()); }
    bool Gone(long i) const { return static_cast<size_t>(i) < gone.size() && gone[i]; }
    long Live() const { return Known() - static_cast<long>(goneCount); }

    void MarkGone(long i) {
        if (gone.size() < ids.size()) gone.resize(ids.size(), false);
        if (!gone[i]) {
            gone[i] = true;
            ++goneCount;
        }
    }

    // Reads every row of the source into the fixed list (ids, and values
    // when `keepValues`).
    void ReadAll(bool keepValues) {
        std::vector<SourceRow> rows;
        SourceRow last;
        bool more = true;
        const bool resumable = source->Resumable();
        while (more) {
            more = source->Read(ids.empty() || !resumable ? nullptr : &last, false,
                                resumable ? kCopyWindow : SIZE_MAX, rows);
            for (SourceRow& row : rows) {
                ids.push_back(row.id);
                if (keepValues) copy.Add(row.values);
            }
            if (rows.empty()) break;
            std::swap(last, rows.back());
            more &= resumable;
        }
    }
};

struct Recordset::Impl {
    std::shared_ptr<Shared> shared;
    int cursorType = adOpenForwardOnly;
    bool readOnly = true;

    bool bof = true;
    bool eof = true;
    long pos = -1;  // fixed rows: the index of the current row

    // The current row; its values are read when first wanted after a land
    // on a fixed row or a write.
    SourceRow cur;
    bool loaded = false;
    bool vanished = false;  // deleted by someone else
    bool deleted = false;   // moving cursors: deleted through this recordset
    bool added = false;     // stored by AddNew: nothing follows it
    bool partial = false;   // only the columns read so far were read

    // Moving cursors: the rows after (or before) the current one, read
    // together, good while the data version they were read at holds.
    std::vector<SourceRow> ahead;  // the rows not yet reached from `aheadAt` on
    size_t aheadAt = 0;
    bool aheadBackward = false;
    bool aheadEnd = false;  // the read behind `ahead` reached the end
    bool aheadValid = false;
    bool aheadPartial = false;
    uint64_t aheadVersion = 0;
    size_t window = 1;

    int editMode = adEditNone;
    std::vector<Variant> edit;
    std::vector<bool> assigned;
    // Where the cursor stood before AddNew, for CancelUpdate.
    long savedPos = -1;
    SourceRow savedRow;
    bool savedLoaded = false, savedAdded = false, savedDeleted = false;
    bool savedBof = true;
    bool savedEof = true;

    Shared& Open() const {
        if (!shared) RaiseClosed();
        return *shared;
    }

    bool OnRow() const { return !bof && !eof; }

    void Forget() {
        aheadAt = ahead.size();
        aheadValid = false;
    }

    // ---- fixed rows ----

    void Land(long j) {
        pos = j;
        bof = eof = false;
        loaded = vanished = partial = false;
    }

    long NextLive(long from) const {
        const Shared& s = *shared;
        long j = from + 1;
        while (j < s.Known() && s.Gone(j)) ++j;
        return j < s.Known() ? j : -1;
    }

    long PrevLive(long from) const {
        const Shared& s = *shared;
        long j = std::min(from, s.Known()) - 1;
        while (j >= 0 && s.Gone(j)) --j;
        return j;
    }

    // ---- moving cursors ----

    void Landed() {
        bof = eof = false;
        loaded = true;
        vanished = deleted = added = false;
        partial = aheadPartial;
    }

    // Lands on the next row in the direction asked from where the cursor
    // stands (the start or the end when it stands before the first or after
    // the last); false at the end. Rows are read afresh whenever the data may have
    // changed since the window was read.
    bool Step(bool backward) {
        Shared& s = *shared;
        const uint64_t version = s.source->DataVersion();
        const bool fresh = aheadValid && aheadBackward == backward && aheadVersion == version;
        bool more = aheadAt < ahead.size();
        if (!fresh || (!more && !aheadEnd)) {
            if (aheadValid && aheadVersion != version) window = 1;
            const bool fromEdge = backward ? eof : bof;
            if (!fromEdge && added && !loaded) LoadCurrent();
            aheadPartial = s.anyTouched;
            aheadEnd = !s.source->Read(fromEdge ? nullptr : &cur, backward, window, ahead,
                                       aheadPartial ? &s.touched : nullptr);
            aheadAt = 0;
            aheadValid = true;
            aheadBackward = backward;
            aheadVersion = version;
            window = std::min(window * 2, kMaxWindow);
            ReadOn(backward);
        }
        for (;;) {
            while (aheadAt < ahead.size()) {
                SourceRow& row = ahead[aheadAt++];
                if (!backward && s.written.count(row.id)) continue;
                // The current row's room goes back to the window for the next read.
                std::swap(cur, row);
                Landed();
                return true;
            }
            if (aheadEnd || ahead.empty()) return false;
            // Every row of the window was passed by: read on from the last.
            SourceRow last = std::move(ahead.back());
            aheadEnd = !s.source->Read(&last, backward, window, ahead,
                                       aheadPartial ? &s.touched : nullptr);
            aheadAt = 0;
            ReadOn(backward);
        }
    }

    // A walk in full windows has the next one read while this one is passed.
    void ReadOn(bool backward) {
        if (!aheadEnd && window == kMaxWindow && !ahead.empty())
            shared->source->ReadAhead(ahead.back(), backward, window);
    }

    // ---- both ----

    // The current row's values, read when they are not at hand; false when
    // the row is gone.
    bool LoadCurrent() {
        if (loaded) return !vanished;
        Shared& s = *shared;
        if (s.indexed) {
            if (s.Gone(pos)) return false;
            if (s.copied) {
                s.copy.Load(static_cast<size_t>(pos), s.columnCount, &cur.values);
                loaded = true;
                return true;
            }
            cur.id = s.ids[pos];
        }
        SourceRow row;
        loaded = true;
        vanished = !s.source->Fetch(cur.id, &row);
        if (vanished) {
            // Someone else deleted the row: it stays current (read as deleted
            // by the server) but fixed rows no longer count it, and later
            // moves pass it by.
            if (s.indexed) s.MarkGone(pos);
            return false;
        }
        cur.values = std::move(row.values);
        partial = false;
        // A moving cursor goes on from where the row stood when it landed; a
        // stored new row has no place yet but its own.
        if (added || cur.key.empty()) cur.key = std::move(row.key);
        return true;
    }

    // The current row with every column; false when it is gone.
    bool LoadWhole() {
        if (!LoadCurrent()) return false;
        if (!partial) return true;
        loaded = false;
        return LoadCurrent();
    }

    // Field i of the current row; null when the row is deleted or gone.
    const Variant* Read(size_t i) {
        Shared& s = *shared;
        if (deleted || (s.indexed && s.Gone(pos))) return nullptr;
        if (!s.touched[i]) {
            s.touched[i] = 1;
            s.anyTouched = true;
            aheadValid = false;  // the rows read ahead lack it: read them again
        }
        if (!LoadCurrent()) return nullptr;
        if (partial && cur.values[i].IsEmpty() && !LoadWhole()) return nullptr;
        return &cur.values[i];
    }

    void AtEnd() {
        eof = true;
        bof = shared->indexed && shared->Live() == 0;
        Forget();
    }

    void AtStart() {
        bof = true;
        eof = false;
        Forget();
    }

    void Empty() {
        bof = eof = true;
        Forget();
    }

    void RequireScrollable() const {
        if (cursorType == adOpenForwardOnly)
            throw ComError(kCantFetchBackwards, "Rowset does not support fetching backward.");
    }

    void RequireWritable() const {
        if (readOnly) RaiseNotUpdatable();
    }

    void SaveEdit(Recordset& self) {
        if (editMode != adEditNone) self.Update();
    }

    // Fixed rows move without the source, but not once its connection has
    // closed: they fail as ADO's do (asking the version raises the error).
    void RequireConnection() { shared->source->DataVersion(); }

    // Goes to the first (last) row; false when there is none.
    bool ToEdge(bool last) {
        Shared& s = *shared;
        if (s.indexed) {
            RequireConnection();
            long j = last ? PrevLive(s.Known()) : NextLive(-1);
            if (j < 0) return false;
            Land(j);
            return true;
        }
        s.written.clear();  // a walk starts over
        Forget();
        window = 1;
        bof = !last;
        eof = last;
        return Step(last);
    }

    // Moves one row; false (and the cursor at that end) when there is none.
    bool StepOne(bool backward) {
        Shared& s = *shared;
        if (s.indexed) {
            RequireConnection();
            long j = backward ? (eof ? PrevLive(s.Known()) : PrevLive(pos))
                              : (bof ? NextLive(-1) : NextLive(pos));
            if (j < 0) return false;
            Land(j);
            return true;
        }
        if (!backward && added && !bof) return false;  // nothing follows a stored new row
        return Step(backward);
    }
};

Recordset::Recordset() : m_impl(std::make_shared<Impl>()) {}

Recordset::~Recordset() { Close(); }

void Recordset::Open(Connection& connection, std::string_view source, int cursorType, int lockType,
                     bool isTable) {
    Guarded([&] {
        if (m_impl->shared) Raise(adErrObjectOpen);
        if (cursorType == -1) cursorType = adOpenForwardOnly;
        if (cursorType < adOpenForwardOnly || cursorType > adOpenStatic)
            Raise(adErrInvalidArgument);
        if (lockType != adLockUnspecified &&
            (lockType < adLockReadOnly || lockType > adLockBatchOptimistic))
            Raise(adErrInvalidArgument);

        auto src = connection.OpenSource(source, isTable);
        if (!src) return;  // a statement without rows leaves the recordset closed, as ADO does
        auto shared = std::make_shared<Shared>();
        shared->source = std::move(src);
        shared->columnCount = shared->source->ColumnCount();
        shared->updatable = shared->source->Updatable();
        shared->BuildNames();
        shared->touched.assign(shared->columnCount, 0);
        // Static and keyset cursors fix their rows now (a static one keeps
        // a copy of them); so does a result that cannot be read on from a row.
        shared->indexed = cursorType == adOpenStatic || cursorType == adOpenKeyset ||
                          !shared->source->Resumable();
        shared->copied = shared->indexed && (cursorType != adOpenKeyset || !shared->updatable);

        Impl fresh;
        fresh.shared = shared;
        fresh.cursorType = cursorType;
        fresh.readOnly =
            !shared->updatable || lockType == adLockReadOnly || lockType == adLockUnspecified;
        *m_impl = std::move(fresh);
        try {
            if (shared->indexed) shared->ReadAll(shared->copied);
            if (!m_impl->ToEdge(false)) m_impl->Empty();
        } catch (...) {
            Close();
            throw;
        }
    });
}

void Recordset::Close() {
    try {
        if (m_impl) *m_impl = Impl();
    } catch (...) {
        // Closing must not fail: whatever the source says while it is let go
        // is of no use to the caller.
    }
}

bool Recordset::IsOpen() const { return m_impl->shared != nullptr; }

bool Recordset::BOF() const {
    m_impl->Open();
    return m_impl->bof;
}

bool Recordset::EndOfFile() const {
    m_impl->Open();
    return m_impl->eof;
}

void Recordset::MoveFirst() {
    Guarded([&] {
        Impl& m = *m_impl;
        m.Open();
        if (m.bof && m.eof) RaiseNoCurrent();
        m.SaveEdit(*this);
        if (!m.ToEdge(false)) m.Empty();
    });
}

void Recordset::MoveLast() {
    Guarded([&] {
        Impl& m = *m_impl;
        m.Open();
        m.RequireScrollable();
        if (m.bof && m.eof) RaiseNoCurrent();
        m.SaveEdit(*this);
        if (!m.ToEdge(true)) m.Empty();
    });
}

void Recordset::MoveNext() { Move(1); }

void Recordset::MovePrevious() { Move(-1); }

void Recordset::Move(long n) {
    Guarded([&] {
        Impl& m = *m_impl;
        m.Open();
        if (m.bof && m.eof) RaiseNoCurrent();
        if (n == 0) {
            if (!m.OnRow()) RaiseNoCurrent();
            return;
        }
        if (n > 0) {
            if (m.eof) RaiseNoCurrent();
        } else {
            m.RequireScrollable();
            if (m.bof) RaiseNoCurrent();
        }
        m.SaveEdit(*this);
        const bool backward = n < 0;
        unsigned long steps =
            backward ? 0UL - static_cast<unsigned long>(n) : static_cast<unsigned long>(n);
        for (; steps > 0; --steps) {
            if (!m.StepOne(backward)) return backward ? m.AtStart() : m.AtEnd();
        }
    });
}

// ---- Find -----------------------------------------------------------------

namespace {

enum class FindOp { Eq, Lt, Gt, Le, Ge, Ne, Like };
enum class LikeShape { Exact, Prefix, Contains };

struct Criterion {
    int column = -1;
    FindOp op = FindOp::Eq;
    bool isNull = false;    // "= NULL" / "<> NULL"
    bool isNumber = false;  // a bare number
    std::string text;       // the value as text (the pattern's fixed part for LIKE)
    bool hasNumber = false;
    Decimal number;
    double real = 0;
    bool hasDate = false;
    double date = 0;
    LikeShape shape = LikeShape::Exact;
};

[[noreturn]] void BadCriterion() { Raise(adErrInvalidArgument); }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Parses "column op value" as ADO's Find takes it.
Criterion ParseCriterion(std::string_view text, const Shared& shared) {
    Criterion c;
    size_t i = 0, n = text.size();
    auto skip = [&] {
        while (i < n && IsBlank(text[i])) ++i;
    };
    skip();
    std::string_view name;
    if (i < n && text[i] == '[') {
        size_t close = text.find(']', i + 1);
        if (close == std::string_view::npos) BadCriterion();
        name = text.substr(i + 1, close - i - 1);
        i = close + 1;
    } else {
        size_t start = i;
        while (i < n && !IsBlank(text[i]) && text[i] != '=' && text[i] != '<' && text[i] != '>' &&
               text[i] != '\'' && text[i] != '#')
            ++i;
        name = text.substr(start, i - start);
    }
    if (name.empty()) BadCriterion();

    skip();
    auto starts = [&](std::string_view s) { return text.substr(i, s.size()) == s; };
    if (starts("<=")) {
        c.op = FindOp::Le, i += 2;
    } else if (starts(">=")) {
        c.op = FindOp::Ge, i += 2;
    } else if (starts("<>")) {
        c.op = FindOp::Ne, i += 2;
    } else if (starts("=")) {
        c.op = FindOp::Eq, i += 1;
    } else if (starts("<")) {
        c.op = FindOp::Lt, i += 1;
    } else if (starts(">")) {
        c.op = FindOp::Gt, i += 1;
    } else if (i + 4 <= n && IEquals(text.substr(i, 4), "LIKE") &&
               (i + 4 == n || IsBlank(text[i + 4]) || text[i + 4] == '\'' || text[i + 4] == '#')) {
        c.op = FindOp::Like, i += 4;
    } else {
        BadCriterion();
    }

    skip();
    if (i >= n) BadCriterion();
    bool quoted = false;
    if (text[i] == '\'') {
        ++i;
        for (;;) {
            if (i >= n) BadCriterion();
            if (text[i] == '\'') {
                if (i + 1 < n && text[i + 1] == '\'') {
                    c.text += '\'';
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            c.text += text[i++];
        }
        quoted = true;
    } else if (text[i] == '#') {
        size_t close = text.find('#', i + 1);
        if (close == std::string_view::npos) BadCriterion();
        std::string_view inner = text.substr(i + 1, close - i - 1);
        i = close + 1;
        // #'1'# is the text 1: the quotes only insist on text.
        if (inner.size() >= 2 && inner.front() == '\'' && inner.back() == '\'') {
            c.text = std::string(inner.substr(1, inner.size() - 2));
        } else {
            c.text = std::string(inner);
            double d = 0;
            std::string_view t = Trim(inner);
            size_t colon = t.rfind(':');
            bool millis =
                colon != std::string_view::npos && t.find('.', colon) != std::string_view::npos;
            if (millis) BadCriterion();  // dates take no fractions of a second
            if (ParseDateText(t, &d)) c.hasDate = true, c.date = d;
        }
        quoted = true;
    } else {
        size_t start = i;
        while (i < n && !IsBlank(text[i])) ++i;
        std::string_view token = text.substr(start, i - start);
        if (IEquals(token, "NULL")) {
            if (c.op != FindOp::Eq && c.op != FindOp::Ne) BadCriterion();
            c.isNull = true;
        } else {
            if (!ParseNumberText(token, &c.number)) BadCriterion();
            c.text = std::string(token);
            c.isNumber = true;
        }
    }
    skip();
    if (i != n) BadCriterion();  // AND, OR and anything else are Filter's syntax

    if (quoted && !c.isNull) {
        // A quoted value still compares with number and date columns.
        if (c.op != FindOp::Like) {
            Decimal d;
            if (ParseNumberText(Trim(c.text), &d)) c.hasNumber = true, c.number = d;
            double date = 0;
            if (!c.hasDate && ParseDateText(Trim(c.text), &date)) c.hasDate = true, c.date = date;
        }
    } else if (c.isNumber) {
        c.hasNumber = true;
        c.hasDate = true;
        c.date = c.number.ToDouble();
    }
    if (c.hasNumber) {
        std::string plain(Trim(c.text));
        char* end = nullptr;
        double r = std::strtod(plain.c_str(), &end);
        c.real = (end && *end == '\0' && !plain.empty()) ? r : c.number.ToDouble();
    }

    if (c.op == FindOp::Like) {
        if (!quoted) BadCriterion();
        auto wild = [](char ch) { return ch == '*' || ch == '%'; };
        std::string& p = c.text;
        bool trailing = !p.empty() && wild(p.back());
        if (trailing) p.pop_back();
        bool leading = !p.empty() && wild(p.front());
        if (leading) {
            if (!trailing) BadCriterion();  // "*abc" is refused
            p.erase(0, 1);
        }
        for (char ch : p)
            if (wild(ch)) BadCriterion();  // so is "a*c"
        c.shape = leading ? LikeShape::Contains : trailing ? LikeShape::Prefix : LikeShape::Exact;
    }

    c.column = shared.Find(name);
    if (c.column < 0) Raise(adErrItemNotFound);
    return c;
}

bool OrderMatches(FindOp op, int cmp) {
    switch (op) {
        case FindOp::Eq:
            return cmp == 0;
        case FindOp::Ne:
            return cmp != 0;
        case FindOp::Lt:
            return cmp < 0;
        case FindOp::Gt:
            return cmp > 0;
        case FindOp::Le:
            return cmp <= 0;
        case FindOp::Ge:
            return cmp >= 0;
        case FindOp::Like:
            return false;
    }
    return false;
}

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
    if (needle.empty()) return true;
    for (size_t i = 0; i + needle.size() <= hay.size(); ++i)
        if (IEquals(hay.substr(i, needle.size()), needle)) return true;
    return false;
}

bool Matches(const Criterion& c, const Variant& v) {
    if (c.isNull) return (c.op == FindOp::Eq) == v.IsEmptyOrNull();
    if (v.IsEmptyOrNull()) return false;
    try {
        if (c.op == FindOp::Like) {
            std::string owned = v.Type() == VT_BSTR ? std::string() : v.ToText();
            std::string_view value = TrimRight(v.Type() == VT_BSTR ? v.TextValue() : owned);
            switch (c.shape) {
                case LikeShape::Exact:
                    return IEquals(value, TrimRight(c.text));
                case LikeShape::Prefix:
                    return value.size() >= c.text.size() &&
                           IEquals(value.substr(0, c.text.size()), c.text);
                case LikeShape::Contains:
                    return ContainsNoCase(value, c.text);
            }
            return false;
        }
        switch (v.Type()) {
            case VT_BSTR:
                return OrderMatches(c.op, ICompare(TrimRight(v.TextValue()), TrimRight(c.text)));
            case VT_DATE: {
                if (!c.hasDate) return false;
                double diff = v.RealValue() - c.date;
                // Half a millisecond: a date read back and the same date
                // written in the criterion may differ in the last bits.
                int cmp = std::fabs(diff) < 0.0005 / 86400.0 ? 0 : (diff < 0 ? -1 : 1);
                return OrderMatches(c.op, cmp);
            }
            case VT_BOOL: {
                if (!c.hasNumber) return false;
                int a = v.IntValue() != 0, b = c.real != 0;
                return OrderMatches(c.op, a - b);
            }
            case VT_R4:
            case VT_R8: {
                if (!c.hasNumber) return false;
                double a = v.RealValue();
                return OrderMatches(c.op, a < c.real ? -1 : (a > c.real ? 1 : 0));
            }
            case VT_I1:
            case VT_I2:
            case VT_I4:
            case VT_I8:
            case VT_UI1:
            case VT_UI2:
            case VT_UI4:
            case VT_UI8:
            case VT_CY:
            case VT_DECIMAL:
                if (!c.hasNumber) return false;
                return OrderMatches(c.op, v.ToDecimal().Compare(c.number));
            default:
                return false;
        }
    } catch (const ComError&) {
        return false;  // a value that cannot be compared does not match
    }
}

}  // namespace

void Recordset::Find(std::string_view criteria, long skipRows, int direction) {
    Guarded([&] {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        if (skipRows < 0 || (direction != adSearchForward && direction != adSearchBackward))
            Raise(adErrInvalidArgument);
        Criterion c = ParseCriterion(criteria, s);
        bool backward = direction == adSearchBackward;
        if (backward) m.RequireScrollable();
        if (m.bof && m.eof) return;
        m.SaveEdit(*this);
        if (backward ? m.bof : m.eof) return;  // nothing beyond that end

        // The current row is tested first unless it is gone or the cursor
        // stands at an end.
        bool onRow = m.OnRow() && m.Read(static_cast<size_t>(c.column)) != nullptr;
        for (long k = 0; k < skipRows && onRow; ++k) onRow = m.StepOne(backward);
        if (!onRow && (skipRows > 0 || !m.StepOne(backward)))
            return backward ? m.AtStart() : m.AtEnd();
        for (;;) {
            const Variant* value = m.Read(static_cast<size_t>(c.column));
            if (value && Matches(c, *value)) return;
            if (!m.StepOne(backward)) return backward ? m.AtStart() : m.AtEnd();
        }
    });
}

long Recordset::RecordCount() const {
    return Guarded([&]() -> long {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        if (m.cursorType == adOpenForwardOnly) return -1;
        const long adding = m.editMode == adEditAdd ? 1 : 0;
        if (s.indexed) return s.Live() + adding;
        // A moving cursor counts the rows as they are now.
        long count = 0;
        std::vector<SourceRow> rows;
        SourceRow last;
        for (bool more = true, first = true; more; first = false) {
            more = s.source->Read(first ? nullptr : &last, false, kCopyWindow, rows);
            count += static_cast<long>(rows.size());
            if (rows.empty()) break;
            std::swap(last, rows.back());
        }
        return count + adding;
    });
}

std::unique_ptr<Recordset> Recordset::Clone(int lockType) const {
    return Guarded([&] {
        Impl& m = *m_impl;
        m.Open();
        if (lockType != adLockUnspecified && lockType != adLockReadOnly)
            Raise(adErrInvalidArgument);
        if (m.cursorType == adOpenForwardOnly) Raise(adErrFeatureNotAvailable);
        auto clone = std::make_unique<Recordset>();
        Impl& c = *clone->m_impl;
        c.shared = m.shared;
        c.cursorType = m.cursorType;
        c.readOnly = m.readOnly || lockType == adLockReadOnly;
        if (!c.ToEdge(false)) c.Empty();
        return clone;
    });
}

// ---- Writing ----------------------------------------------------------------

void Recordset::AddNew() {
    Guarded([&] {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        m.RequireWritable();
        m.SaveEdit(*this);
        m.savedPos = m.pos;
        m.savedRow = m.cur;
        m.savedLoaded = m.loaded;
        m.savedAdded = m.added;
        m.savedDeleted = m.deleted;
        m.savedBof = m.bof;
        m.savedEof = m.eof;
        // The buffer of the last edit is reused: its fields are emptied.
        m.edit.resize(s.columnCount);
        for (Variant& v : m.edit) {
            if (!v.IsEmpty()) v = Variant();
        }
        m.assigned.assign(s.columnCount, false);
        m.editMode = adEditAdd;
        m.bof = m.eof = false;
    });
}

void Recordset::Update() {
    Guarded([&] {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        if (m.editMode == adEditNone) return;
        m.RequireWritable();
        int64_t id = 0;
        if (m.editMode == adEditAdd) {
            id = s.source->Insert(m.edit, m.assigned);
            if (s.indexed) {
                s.ids.push_back(id);
                m.Land(s.Known() - 1);
                if (s.copied) {
                    // The copy holds the row as stored (defaults, identity).
                    SourceRow row;
                    if (!s.source->Fetch(id, &row)) row.values.assign(s.columnCount, Variant());
                    s.copy.Add(row.values);
                }
            } else {
                m.cur = SourceRow();
                m.cur.id = id;
                m.bof = m.eof = false;
                m.vanished = m.deleted = false;
                m.added = true;
            }
        } else {
            id = s.indexed ? s.ids[m.pos] : m.cur.id;
            s.source->Update(id, m.edit, m.assigned);
            if (s.indexed && s.copied) {
                SourceRow row;
                if (s.source->Fetch(id, &row))
                    s.copy.Replace(static_cast<size_t>(m.pos), row.values);
            }
        }
        if (!s.indexed) {
            s.written.insert(id);
            m.Forget();
        }
        // The stored row (with its defaults and identity) is read when it is
        // first wanted.
        m.loaded = false;
        m.vanished = false;
        m.editMode = adEditNone;
        m.assigned.clear();
    });
}

void Recordset::CancelUpdate() {
    Guarded([&] {
        Impl& m = *m_impl;
        m.Open();
        if (m.editMode == adEditAdd) {
            m.pos = m.savedPos;
            m.cur = std::move(m.savedRow);
            m.loaded = m.savedLoaded;
            m.added = m.savedAdded;
            m.deleted = m.savedDeleted;
            m.bof = m.savedBof;
            m.eof = m.savedEof;
        }
        m.editMode = adEditNone;
        m.edit.clear();
        m.assigned.clear();
    });
}

void Recordset::Delete() {
    Guarded([&] {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        m.RequireWritable();
        if (m.editMode == adEditAdd) {
            // The new row was never stored: deleting it only drops it.
            CancelUpdate();
            return;
        }
        if (!m.OnRow() || m.deleted || (s.indexed && s.Gone(m.pos))) RaiseNoCurrent();
        s.source->Delete(s.indexed ? s.ids[m.pos] : m.cur.id);
        if (s.indexed)
            s.MarkGone(m.pos);
        else
            m.deleted = true;
        m.editMode = adEditNone;
        m.edit.clear();
        m.assigned.clear();
    });
}

int Recordset::EditMode() const {
    m_impl->Open();
    return m_impl->editMode;
}

int Recordset::Status() const {
    return Guarded([&]() -> int {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        if (m.editMode == adEditAdd) return adRecNew;
        if (!m.OnRow()) RaiseNoCurrent();
        if (m.editMode == adEditInProgress) return adRecModified;
        if (!s.updatable) return adRecOK;
        if (m.vanished) return adRecDBDeleted;
        if (m.deleted || (s.indexed && s.Gone(m.pos))) return adRecDeleted;
        // Whether the row is still there, asked now.
        SourceRow row;
        if (!s.source->Fetch(s.indexed ? s.ids[m.pos] : m.cur.id, &row)) {
            m.vanished = m.loaded = true;
            if (s.indexed) s.MarkGone(m.pos);
            return adRecDBDeleted;
        }
        return adRecOK;
    });
}

// ---- Fields -------------------------------------------------------------------

size_t Recordset::FieldCount() const { return m_impl->shared ? m_impl->shared->columnCount : 0; }

int Recordset::FieldIndex(std::string_view name) const {
    return m_impl->shared ? m_impl->shared->Find(name) : -1;
}

int Recordset::FieldIndex(const char* name) const {
    return m_impl->shared ? m_impl->shared->Find(name) : -1;
}

const ColumnInfo& Recordset::Field(size_t index) const {
    const Shared* s = m_impl->shared.get();
    if (!s || index >= s->columnCount) Raise(adErrItemNotFound);
    return s->source->Column(index);
}

const std::string& Recordset::FieldName(size_t index) const { return Field(index).name; }

uint16_t Recordset::FieldType(size_t index) const { return Field(index).adoType; }

const Variant& Recordset::Value(size_t index) const {
    return Guarded([&]() -> const Variant& {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        if (index >= s.columnCount) Raise(adErrItemNotFound);
        if (m.editMode != adEditNone) return m.edit[index];
        if (!m.OnRow()) RaiseNoCurrent();
        const Variant* v = m.Read(index);
        if (!v) RaiseNoCurrent();
        return *v;
    });
}

const Variant& Recordset::Value(std::string_view name) const {
    int index = FieldIndex(name);
    if (!m_impl->shared) RaiseClosed();
    if (index < 0) Raise(adErrItemNotFound);
    return Value(static_cast<size_t>(index));
}

void Recordset::SetValue(size_t index, const Variant& v) {
    Guarded([&] {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        if (index >= s.columnCount) Raise(adErrItemNotFound);
        m.RequireWritable();
        if (m.editMode == adEditNone) {
            if (!m.OnRow() || !m.Read(index) || !m.LoadWhole()) RaiseNoCurrent();
            m.edit = m.cur.values;
            m.assigned.assign(s.columnCount, false);
            m.editMode = adEditInProgress;
        }
        m.edit[index] = v;
        m.assigned[index] = true;
    });
}

void Recordset::SetValue(std::string_view name, const Variant& v) {
    int index = FieldIndex(name);
    if (!m_impl->shared) RaiseClosed();
    if (index < 0) Raise(adErrItemNotFound);
    SetValue(static_cast<size_t>(index), v);
}

}  // namespace xr::engine
