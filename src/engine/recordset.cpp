#include "engine/recordset.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "engine/connection.h"
#include "platform/text.h"

namespace xr::engine {

namespace {

// The provider's refusal to move a forward-only cursor backwards.
constexpr HRESULT kCantFetchBackwards = Hr(0x80040E24);
constexpr const char* kNotUpdatableText =
    "Current Recordset does not support updating. This may be a limitation of the provider, or "
    "of the selected locktype.";
// How far the forward stream may be stepped to catch up with the cursor
// instead of reading the row by its id.
constexpr long kCatchUp = 64;

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

}  // namespace

// The rows all clones of one recordset share: the source, the row ids met so
// far (or, for a read-only source, the rows themselves), the rows deleted
// through any clone, and where the source's forward stream stands.
struct Shared {
    std::unique_ptr<RecordSource> source;
    size_t columnCount = 0;
    bool updatable = false;  // the source keeps row ids and takes writes
    std::vector<int32_t> nameSlots;
    uint32_t nameMask = 0;

    std::vector<int64_t> ids;                // updatable sources
    std::vector<std::vector<Variant>> rows;  // read-only sources (joins, aggregates: small)
    std::vector<bool> gone;                  // deleted through a recordset; sized lazily
    size_t goneCount = 0;

    bool complete = false;     // every row of the source has been met
    bool streamLive = true;    // the stream may be advanced
    long streamIndex = -1;     // the row the stream stands on, -1 none
    uint64_t streamGen = 1;    // changes whenever the stream moves
    uint64_t dataVersion = 1;  // changes whenever a row is written

    long Known() const { return static_cast<long>(updatable ? ids.size() : rows.size()); }
    bool Gone(long i) const { return static_cast<size_t>(i) < gone.size() && gone[i]; }
    long Live() const { return Known() - static_cast<long>(goneCount); }

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

    // Meets the next row of the source; false when there is none. Keeps the
    // stream on the newest row met.
    bool Discover() {
        if (complete) return false;
        try {
            int64_t id = 0;
            bool more = source->Next(&id);
            ++streamGen;
            if (!more) {
                complete = true;
                streamLive = false;
                streamIndex = -1;
                return false;
            }
            if (updatable) {
                ids.push_back(id);
            } else {
                std::vector<Variant> row(columnCount);
                for (size_t i = 0; i < columnCount; ++i) row[i] = source->Value(i);
                rows.push_back(std::move(row));
            }
            streamIndex = Known() - 1;
            return true;
        } catch (...) {
            // A stream that failed is not read again: the rows met so far are
            // the recordset's rows.
            complete = true;
            streamLive = false;
            streamIndex = -1;
            throw;
        }
    }

    void Drain() {
        while (Discover()) {
        }
    }

    // Steps a stream that walks the known rows again; false (and the stream
    // is no longer used) when it does not meet the row expected.
    bool Advance() {
        int64_t id = 0;
        bool more = source->Next(&id);
        ++streamGen;
        long next = streamIndex + 1;
        while (next < Known() && Gone(next)) ++next;
        if (!more || next >= Known() || ids[next] != id) {
            streamLive = false;
            streamIndex = -1;
            return false;
        }
        streamIndex = next;
        return true;
    }

    void MarkGone(long i) {
        if (gone.size() < ids.size()) gone.resize(ids.size(), false);
        if (!gone[i]) {
            gone[i] = true;
            ++goneCount;
        }
    }

    // Every write first fixes the set of rows: a stream that walks an index
    // could otherwise meet a row again after a write moved it (a price walk
    // would raise that price twice).
    void BeforeWrite() { Drain(); }
};

struct Recordset::Impl {
    std::shared_ptr<Shared> shared;
    int cursorType = adOpenForwardOnly;
    bool readOnly = true;

    long pos = -1;  // index of the current row when neither flag is set
    bool bof = true;
    bool eof = true;

    // The current row read from the stream while it stands there unchanged.
    uint64_t ridingGen = 0;
    uint64_t ridingVersion = 0;
    // The current row read by its id.
    std::vector<Variant> values;
    long valuesPos = -1;
    uint64_t valuesVersion = 0;
    bool vanished = false;

    int editMode = adEditNone;
    std::vector<Variant> edit;
    std::vector<bool> assigned;
    // Where the cursor stood before AddNew, for CancelUpdate.
    long savedPos = -1;
    bool savedBof = true;
    bool savedEof = true;

    Shared& Open() const {
        if (!shared) RaiseClosed();
        return *shared;
    }

    bool Riding() const {
        return ridingGen == shared->streamGen && ridingVersion == shared->dataVersion;
    }

    void Ride() {
        ridingGen = shared->streamGen;
        ridingVersion = shared->dataVersion;
    }

    // Makes row `j` current, reading it from the stream when the stream is
    // there or close behind, else by its id on first use.
    void Land(long j, bool allowRestart) {
        Shared& s = *shared;
        pos = j;
        bof = eof = false;
        ridingGen = 0;
        if (!s.updatable) return;
        if (s.streamIndex == j) return Ride();
        if (!s.complete) return;  // the stream stays where new rows are met
        try {
            bool behind = s.streamLive && s.streamIndex >= 0 && s.streamIndex < j &&
                          j - s.streamIndex <= kCatchUp;
            if (!behind) {
                if (!allowRestart || j > kCatchUp) return;
                s.source->Restart();
                s.streamLive = true;
                s.streamIndex = -1;
                ++s.streamGen;
            }
            while (s.streamIndex < j && s.Advance()) {
            }
            if (s.streamIndex == j) Ride();
        } catch (const std::exception&) {
            s.streamLive = false;  // the row is read by its id instead
            s.streamIndex = -1;
        }
    }

    // The current row's values read by id; false when the row has vanished.
    bool LoadValues() {
        Shared& s = *shared;
        if (valuesPos == pos && valuesVersion == s.dataVersion) return !vanished;
        values.assign(s.columnCount, Variant());
        vanished = !s.source->Fetch(s.ids[pos], &values);
        valuesPos = pos;
        valuesVersion = s.dataVersion;
        // Someone else deleted the row: it stays current (read as deleted by
        // the server) but is no longer counted, and later moves pass it by.
        if (vanished) s.MarkGone(pos);
        return !vanished;
    }

    bool OnRow() const { return !bof && !eof; }

    // The current row's value of column i, false when the row is deleted or
    // gone; needs a current row.
    bool Read(size_t i, Variant* out) {
        bool ok = true;
        *out = Read(i, &ok);
        return ok;
    }

    // Field i of the current row, built in place for the caller; `ok` turns
    // false (and the value is empty) when the row is gone.
    Variant Read(size_t i, bool* ok) {
        Shared& s = *shared;
        if (!s.updatable) return s.rows[pos][i];
        if (s.Gone(pos)) {
            *ok = false;
            return Variant();
        }
        if (Riding()) return s.source->Value(i);
        if (!LoadValues()) {
            *ok = false;
            return Variant();
        }
        return values[i];
    }

    long NextLive(long from) {
        Shared& s = *shared;
        long j = from + 1;
        while (j < s.Known() && s.Gone(j)) ++j;
        if (j < s.Known()) return j;
        return s.Discover() ? s.Known() - 1 : -1;
    }

    long PrevLive(long from) {
        Shared& s = *shared;
        long j = std::min(from, s.Known()) - 1;
        while (j >= 0 && s.Gone(j)) --j;
        return j;
    }

    void AtEnd() {
        eof = true;
        bof = shared->Live() == 0 && shared->complete;
        ridingGen = 0;
    }

    void AtStart() {
        bof = true;
        eof = false;
        ridingGen = 0;
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

        Impl fresh;
        fresh.shared = shared;
        fresh.cursorType = cursorType;
        fresh.readOnly =
            !shared->updatable || lockType == adLockReadOnly || lockType == adLockUnspecified;
        *m_impl = std::move(fresh);
        try {
            if (shared->Discover()) m_impl->Land(0, false);
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
        long j = m.NextLive(-1);
        if (j < 0) {
            m.bof = m.eof = true;
            m.ridingGen = 0;
        } else {
            m.Land(j, true);
        }
    });
}

void Recordset::MoveLast() {
    Guarded([&] {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        m.RequireScrollable();
        if (m.bof && m.eof) RaiseNoCurrent();
        m.SaveEdit(*this);
        s.Drain();
        long j = m.PrevLive(s.Known());
        if (j < 0) {
            m.bof = m.eof = true;
            m.ridingGen = 0;
        } else {
            m.Land(j, false);
        }
    });
}

void Recordset::MoveNext() { Move(1); }

void Recordset::MovePrevious() { Move(-1); }

void Recordset::Move(long n) {
    Guarded([&] {
        Impl& m = *m_impl;
        Shared& s = m.Open();
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
        if (n > 0) {
            long j = m.bof ? -1 : m.pos;
            for (unsigned long k = static_cast<unsigned long>(n); k > 0 && j >= -1; --k) {
                j = m.NextLive(j);
                if (j < 0) j = -2;
            }
            if (j < 0) return m.AtEnd();
            return m.Land(j, false);
        }
        if (m.eof) s.Drain();  // steps back from the end count from the last row
        long j = m.eof ? s.Known() : m.pos;
        unsigned long steps = 0UL - static_cast<unsigned long>(n);
        for (; steps > 0 && j >= 0; --steps) j = m.PrevLive(j);
        if (j < 0) return m.AtStart();
        m.Land(j, false);
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
        bool forward = direction == adSearchForward;
        if (!forward) m.RequireScrollable();
        if (m.bof && m.eof) return;
        m.SaveEdit(*this);

        long j;
        if (forward) {
            if (m.eof) return;  // nothing after the end
            j = m.bof ? m.NextLive(-1) : (s.Gone(m.pos) ? m.NextLive(m.pos) : m.pos);
        } else {
            if (m.bof) return;
            if (m.eof) s.Drain();
            j = m.eof ? m.PrevLive(s.Known()) : (s.Gone(m.pos) ? m.PrevLive(m.pos) : m.pos);
        }
        for (long k = 0; k < skipRows && j >= 0; ++k) j = forward ? m.NextLive(j) : m.PrevLive(j);

        Variant value;
        while (j >= 0) {
            m.Land(j, false);
            if (m.Read(static_cast<size_t>(c.column), &value) && Matches(c, value)) return;
            j = forward ? m.NextLive(j) : m.PrevLive(j);
        }
        if (forward)
            m.AtEnd();
        else
            m.AtStart();
    });
}

long Recordset::RecordCount() const {
    return Guarded([&]() -> long {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        if (m.cursorType == adOpenForwardOnly) return -1;
        s.Drain();
        return s.Live() + (m.editMode == adEditAdd ? 1 : 0);
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
        long j = c.NextLive(-1);
        if (j >= 0)
            c.Land(j, false);
        else
            c.bof = c.eof = true;
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
        // Also keeps the stream from handing a new row back as one of its own:
        // new rows go after every row of the source.
        s.BeforeWrite();
        if (m.editMode == adEditAdd) {
            int64_t id = s.source->Insert(m.edit, m.assigned);
            s.ids.push_back(id);
            m.pos = s.Known() - 1;
            m.bof = m.eof = false;
        } else {
            s.source->Update(s.ids[m.pos], m.edit, m.assigned);
        }
        ++s.dataVersion;
        // The stored row (with its defaults and identity) is read when it is
        // first wanted.
        m.valuesPos = -1;
        m.vanished = false;
        m.ridingGen = 0;
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
        if (!m.OnRow() || s.Gone(m.pos)) RaiseNoCurrent();
        s.BeforeWrite();
        s.source->Delete(s.ids[m.pos]);
        s.MarkGone(m.pos);
        ++s.dataVersion;
        m.editMode = adEditNone;
        m.edit.clear();
        m.assigned.clear();
        m.ridingGen = 0;
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
        if (m.valuesPos == m.pos && m.vanished) return adRecDBDeleted;
        if (s.Gone(m.pos)) return adRecDeleted;
        if (!m.Riding() && !m.LoadValues()) return adRecDBDeleted;
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

Variant Recordset::Value(size_t index) const {
    return Guarded([&] {
        Impl& m = *m_impl;
        Shared& s = m.Open();
        if (index >= s.columnCount) Raise(adErrItemNotFound);
        if (m.editMode != adEditNone) return m.edit[index];
        if (!m.OnRow()) RaiseNoCurrent();
        bool ok = true;
        Variant v = m.Read(index, &ok);
        if (!ok) RaiseNoCurrent();
        return v;
    });
}

Variant Recordset::Value(std::string_view name) const {
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
            if (!m.OnRow() || s.Gone(m.pos)) RaiseNoCurrent();
            std::vector<Variant> current(s.columnCount);
            for (size_t i = 0; i < s.columnCount; ++i)
                if (!m.Read(i, &current[i])) RaiseNoCurrent();
            m.edit = std::move(current);
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
