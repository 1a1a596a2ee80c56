// The key store's queries over numbered sub-keys: counts, the first key with a status, pages of
// values and renumbering, each one indexed statement.
#include "store/key_store.h"
#include "store/key_store_db.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <strings.h>

namespace store {

namespace {

// Steps `st` to its end, each row's first column a position; false when it failed.
bool CollectPositions(SqliteStatement& st, std::vector<int>& positions) {
    SqliteStatement::StepResult step;
    while ((step = st.Step()) == SqliteStatement::Row) {
        positions.push_back(static_cast<int>(st.ColumnInt64(0)));
    }
    st.Reset();
    return step == SqliteStatement::Done;
}

} // namespace

std::pair<int64_t, int64_t> KeyStore::ChangeStamp() {
    // Inside a transaction, changes may yet be undone without a trace in either number: no
    // stamp then (-1), and nothing is kept.
    if (sqlite3_get_autocommit(m_Db->Handle()) == 0) {
        return {0, -1};
    }
    auto& st = m_Db->Statement("PRAGMA data_version");
    int64_t version = -1;
    if (st.Step() == SqliteStatement::Row) {
        version = st.ColumnInt64(0);
    }
    st.Reset();
    return {sqlite3_total_changes64(m_Db->Handle()), version};
}

int KeyStore::CountPositions(Key parent) {
    int64_t id = Resolve(parent, "");
    if (id == 0) {
        return 0;
    }
    std::pair<int64_t, int64_t> stamp = ChangeStamp();
    if (m_PositionsAsked.valid && stamp.second >= 0 && m_PositionsAsked.parent == id &&
        m_PositionsAsked.stamp == stamp) {
        return m_Positions;
    }
    m_Positions = CountPositionsNow(id);
    m_PositionsAsked = CountCache{stamp.second >= 0, stamp, id, 0};
    return m_Positions;
}

int KeyStore::CountPositionsNow(int64_t id) {
    auto& st = m_Db->Statement(
        "SELECT count(*), ifnull(max(pos), -1) FROM keys WHERE parent = ?1 AND pos >= 0");
    st.Bind(1, id);
    int64_t count = 0;
    int64_t last = -1;
    if (st.Step() == SqliteStatement::Row) {
        count = st.ColumnInt64(0);
        last = st.ColumnInt64(1);
    }
    st.Reset();
    if (count == last + 1) {
        return static_cast<int>(count);
    }
    // A gap (a damaged store): the positions end before it.
    auto& gap = m_Db->Statement(
        "SELECT CASE WHEN NOT EXISTS (SELECT 1 FROM keys WHERE parent = ?1 AND pos = 0) THEN 0"
        " ELSE (SELECT k.pos + 1 FROM keys k WHERE k.parent = ?1 AND k.pos >= 0 AND NOT EXISTS"
        " (SELECT 1 FROM keys n WHERE n.parent = ?1 AND n.pos = k.pos + 1)"
        " ORDER BY k.pos LIMIT 1) END");
    gap.Bind(1, id);
    int64_t first = 0;
    if (gap.Step() == SqliteStatement::Row) {
        first = gap.ColumnInt64(0);
    }
    gap.Reset();
    return static_cast<int>(first);
}

int KeyStore::LastPosition(Key parent) {
    int64_t id = Resolve(parent, "");
    if (id == 0) {
        return -1;
    }
    auto& st =
        m_Db->Statement("SELECT ifnull(max(pos), -1) FROM keys WHERE parent = ?1 AND pos >= 0");
    st.Bind(1, id);
    int64_t last = -1;
    if (st.Step() == SqliteStatement::Row) {
        last = st.ColumnInt64(0);
    }
    st.Reset();
    return static_cast<int>(last);
}

int KeyStore::FirstPositionWithStatus(Key parent, std::string_view status, int below, int from) {
    int64_t id = Resolve(parent, "");
    if (id == 0) {
        return -1;
    }
    auto& st = m_Db->Statement("SELECT pos FROM keys WHERE parent = ?1 AND status = ?2"
                               " AND pos >= ?4 AND pos < ?3 ORDER BY pos LIMIT 1");
    st.Bind(1, id);
    st.Bind(2, status);
    st.Bind(3, static_cast<int64_t>(below));
    st.Bind(4, static_cast<int64_t>(std::max(0, from)));
    int position = -1;
    if (st.Step() == SqliteStatement::Row) {
        position = static_cast<int>(st.ColumnInt64(0));
    }
    st.Reset();
    return position;
}

bool KeyStore::CountStatuses(Key parent, int below,
                             std::vector<std::pair<std::string, int>>& counts) {
    counts.clear();
    int64_t id = Resolve(parent, "");
    if (id == 0) {
        return false;
    }
    std::pair<int64_t, int64_t> stamp = ChangeStamp();
    if (m_StatusesAsked.valid && stamp.second >= 0 && m_StatusesAsked.parent == id &&
        m_StatusesAsked.below == below && m_StatusesAsked.stamp == stamp) {
        counts = m_Statuses;
        return true;
    }
    m_StatusesAsked.valid = false;
    auto& st =
        m_Db->Statement("SELECT ifnull(status, ''), count(*) FROM keys INDEXED BY keys_status"
                        " WHERE parent = ?1 AND pos >= 0 AND pos < ?2 GROUP BY status");
    st.Bind(1, id);
    st.Bind(2, static_cast<int64_t>(below));
    SqliteStatement::StepResult step;
    while ((step = st.Step()) == SqliteStatement::Row) {
        std::string status = st.ColumnText(0);
        int n = static_cast<int>(st.ColumnInt64(1));
        // NULL and the empty text are the same answer to a reader.
        if (!counts.empty() && counts.back().first == status) {
            counts.back().second += n;
        } else {
            counts.emplace_back(std::move(status), n);
        }
    }
    st.Reset();
    if (step != SqliteStatement::Done) {
        return false;
    }
    m_Statuses = counts;
    m_StatusesAsked = CountCache{stamp.second >= 0, stamp, id, below};
    return true;
}

bool KeyStore::PositionsWithValue(Key parent, std::string_view name, int below,
                                  std::vector<int>& positions) {
    positions.clear();
    // The name is written into each statement: only a literal term lets the planner use the
    // partial index over that name. The cross join keeps the planner from reading every
    // position instead, which it cannot know to be many more.
    static const char* const kQueries[] = {
        "SELECT k.pos FROM vals v CROSS JOIN keys k ON k.id = v.key WHERE v.name = 'Run Key'"
        " AND k.parent = ?1 AND k.pos >= 0 AND k.pos < ?2 ORDER BY k.pos",
        "SELECT k.pos FROM vals v CROSS JOIN keys k ON k.id = v.key WHERE v.name = 'Run Handle'"
        " AND k.parent = ?1 AND k.pos >= 0 AND k.pos < ?2 ORDER BY k.pos",
    };
    static_assert(std::size(kQueries) == std::size(kMarkedValueNames));
    const char* query = nullptr;
    for (size_t k = 0; k < std::size(kMarkedValueNames); ++k) {
        if (name == kMarkedValueNames[k]) {
            query = kQueries[k];
        }
    }
    int64_t id = query ? Resolve(parent, "") : 0;
    if (id == 0) {
        return false;
    }
    auto& st = m_Db->Statement(query);
    st.Bind(1, id);
    st.Bind(2, static_cast<int64_t>(below));
    return CollectPositions(st, positions);
}

bool KeyStore::PositionsWithInputStem(Key parent, std::string_view input, int below,
                                      std::vector<int>& positions) {
    positions.clear();
    int64_t id = Resolve(parent, "");
    if (id == 0) {
        return false;
    }
    // The few values of that stem first (the cross join fixes the order), then their keys.
    auto& st = m_Db->Statement(
        "SELECT k.pos FROM vals v CROSS JOIN keys k ON k.id = v.key"
        " WHERE v.name = 'Input' AND " VANTAQ_FILE_STEM_OF("v.data") " = " VANTAQ_FILE_STEM_OF(
            "?2") " AND k.parent = ?1 AND k.pos >= 0 AND k.pos < ?3 ORDER BY k.pos");
    std::string data(input);
    data.push_back('\0'); // as a string value is stored
    st.Bind(1, id);
    st.BindBlob(2, data);
    st.Bind(3, static_cast<int64_t>(below));
    return CollectPositions(st, positions);
}

bool KeyStore::ReadPositionValues(Key parent, int first, int count,
                                  const std::vector<std::string>& names,
                                  std::vector<std::pair<int, Value>>& values) {
    values.clear();
    int64_t id = Resolve(parent, "");
    if (id == 0) {
        return false;
    }
    auto& st = m_Db->Statement(
        "SELECT k.pos, v.name, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id"
        " WHERE k.parent = ?1 AND k.pos >= ?2 AND k.pos < ?3 ORDER BY k.pos, v.id");
    st.Bind(1, id);
    st.Bind(2, static_cast<int64_t>(first));
    st.Bind(3, static_cast<int64_t>(first) + count);
    SqliteStatement::StepResult step;
    while ((step = st.Step()) == SqliteStatement::Row) {
        std::string name = st.ColumnText(1);
        bool wanted = false;
        for (const std::string& n : names) {
            wanted = wanted || strcasecmp(n.c_str(), name.c_str()) == 0;
        }
        int position = static_cast<int>(st.ColumnInt64(0));
        if (!wanted && (values.empty() || values.back().first != position)) {
            // Every position shows up, even one without any of the values.
            values.emplace_back(position, Value{std::string(), 0, std::string()});
        } else if (wanted) {
            if (!values.empty() && values.back().first == position &&
                values.back().second.type == 0 && values.back().second.name.empty()) {
                values.pop_back();
            }
            values.emplace_back(
                position,
                Value{std::move(name), static_cast<uint32_t>(st.ColumnInt64(2)), st.ColumnBlob(3)});
        }
    }
    st.Reset();
    return step == SqliteStatement::Done;
}

bool KeyStore::DeletePositions(Key parent, int below) {
    if (!parent.writable) {
        return false;
    }
    Transaction t(*this);
    int64_t id = t.Ok() ? Resolve(parent, "") : 0;
    if (id == 0) {
        return false;
    }
    auto& counts = m_Db->Statement("SELECT count(*), sum(pos >= 0 AND pos < ?2) FROM keys"
                                   " WHERE parent = ?1");
    counts.Bind(1, id);
    counts.Bind(2, static_cast<int64_t>(below));
    const bool counted = counts.Step() == SqliteStatement::Row;
    const int64_t all = counted ? counts.ColumnInt64(0) : 0;
    const int64_t going = counted ? counts.ColumnInt64(1) : 0;
    counts.Reset();
    if (going == 0) {
        return t.Commit();
    }
    if (going >= kSetAsideFrom && id != kHive.id) {
        return SetAside(id, below, all > going) && t.Commit();
    }
    // A position with sub-keys (only a damaged or foreign store has one) goes the long way.
    const int64_t end = below;
    return DeleteTreesListed(
               parent,
               "SELECT k.name FROM keys k WHERE k.parent = ?1 AND k.pos >= 0"
               " AND k.pos < ?2 AND EXISTS (SELECT 1 FROM keys c WHERE c.parent = k.id)",
               {id, end}) &&
           RunWith("DELETE FROM vals WHERE key IN (SELECT id FROM keys"
                   " WHERE parent = ?1 AND pos >= 0 AND pos < ?2)",
                   {id, end}) &&
           RunWith("DELETE FROM keys WHERE parent = ?1 AND pos >= 0 AND pos < ?2", {id, end}) &&
           t.Commit();
}

bool KeyStore::SetAside(int64_t id, int below, bool othersStay) {
    // The key's row leaves the tree with every sub-key below it, and a new key of the same name
    // takes its place, given the key's own values and the sub-keys that stay: a few statements
    // whatever the number of positions. PurgeSetAside removes the rest a slice at a time.
    // The new key is made under a name no key can have (a key name never holds a backslash),
    // then given the old key's name once that has left.
    if (!RunWith("INSERT INTO keys (parent, name) SELECT parent, '\\' FROM keys WHERE id = ?1",
                 {id})) {
        return false;
    }
    const int64_t fresh = m_Db->LastInsertId();
    return RunWith("UPDATE keys SET parent = NULL WHERE id = ?1", {id}) &&
           RunWith("UPDATE keys SET name = (SELECT name FROM keys WHERE id = ?2) WHERE id = ?1",
                   {fresh, id}) &&
           (!othersStay || RunWith("UPDATE keys SET parent = ?1 WHERE parent = ?2"
                                   " AND (pos IS NULL OR pos >= ?3)",
                                   {fresh, id, below})) &&
           RunWith("UPDATE vals SET key = ?1 WHERE key = ?2", {fresh, id});
}

int KeyStore::PurgeSetAside(int most) {
    auto setAside = [this] {
        auto& first =
            m_Db->Statement("SELECT id FROM keys WHERE parent IS NULL AND id <> 1 LIMIT 1");
        const int64_t id = first.Step() == SqliteStatement::Row ? first.ColumnInt64(0) : 0;
        first.Reset();
        return id;
    };
    // Asked first without the write lock: mostly there is nothing to do.
    if (!IsOpen() || (m_Depth == 0 && setAside() == 0)) {
        return IsOpen() ? 0 : -1;
    }
    Transaction t(*this);
    const int64_t root = t.Ok() ? setAside() : 0;
    if (root == 0) {
        return t.Ok() ? 0 : -1;
    }
    // A slice of the root's sub-keys, or the root itself once it has none. Their own sub-keys
    // are set aside in turn, so every slice is a few statements over at most `most` keys.
    std::string error;
    if (!m_Db->Exec("CREATE TEMP TABLE IF NOT EXISTS purge (id INTEGER PRIMARY KEY);"
                    "DELETE FROM purge",
                    error)) {
        m_LastError = error;
        ++m_FailedWrites;
        return -1;
    }
    bool ok = RunWith("INSERT INTO purge SELECT id FROM keys WHERE parent = ?1 LIMIT ?2",
                      {root, std::max(1, most)});
    const int removed = ok ? m_Db->Changes() : 0;
    ok = ok && (removed > 0 || RunWith("INSERT INTO purge VALUES (?1)", {root})) &&
         RunWith("UPDATE keys SET parent = NULL WHERE parent IN (SELECT id FROM purge)", {}) &&
         RunWith("DELETE FROM vals WHERE key IN (SELECT id FROM purge)", {}) &&
         RunWith("DELETE FROM keys WHERE id IN (SELECT id FROM purge)", {}) &&
         RunWith("DELETE FROM purge", {});
    return ok && t.Commit() ? std::max(removed, 1) : -1;
}

bool KeyStore::DeletePositionsAt(Key parent, const std::vector<int>& gone, int below) {
    if (!parent.writable || gone.empty() || gone.front() < 0 || gone.back() >= below) {
        return false;
    }
    Transaction t(*this);
    int64_t id = t.Ok() ? Resolve(parent, "") : 0;
    std::string error;
    // The positions going, each with how many go up to and including it.
    if (id == 0 || !m_Db->Exec("CREATE TEMP TABLE IF NOT EXISTS gone"
                               " (p INTEGER PRIMARY KEY, rank INTEGER NOT NULL);"
                               "DELETE FROM gone",
                               error)) {
        m_LastError = error.empty() ? m_LastError : error;
        return false;
    }
    bool ok = true;
    auto& add = m_Db->Statement("INSERT OR IGNORE INTO gone (p, rank) VALUES (?1, ?2)");
    for (size_t k = 0; k < gone.size() && ok; ++k) {
        add.Bind(1, static_cast<int64_t>(gone[k]));
        add.Bind(2, static_cast<int64_t>(k + 1));
        ok = add.Step() == SqliteStatement::Done;
        add.Reset();
    }
    // A position with sub-keys (only a damaged or foreign store has one) goes the long way.
    ok = ok && DeleteTreesListed(parent,
                                 "SELECT k.name FROM gone g CROSS JOIN keys k ON k.parent = ?1"
                                 " AND k.pos = g.p"
                                 " WHERE EXISTS (SELECT 1 FROM keys c WHERE c.parent = k.id)",
                                 {id});
    // The values and keys going, then the later keys renamed, each down by the number gone
    // before it. In one pass when the keys come in their order (a queue filled in order): each
    // takes a name one before it has just left. The file's unique names refuse any other order,
    // which undoes that statement by itself; then two passes keep every name unique at every
    // step, first to a name no key can have (a key name never holds a backslash), then to the
    // final one.
    const char* const steps[] = {
        "DELETE FROM vals WHERE key IN (SELECT k.id FROM gone g CROSS JOIN keys k"
        " ON k.parent = ?1 AND k.pos = g.p)",
        "DELETE FROM keys WHERE parent = ?1 AND pos IN (SELECT p FROM gone)",
        "UPDATE keys SET name = CAST(pos - (SELECT g.rank FROM gone g WHERE g.p < keys.pos"
        " ORDER BY g.p DESC LIMIT 1) AS TEXT) WHERE parent = ?1 AND pos > ?2 AND pos < ?3",
        "UPDATE keys SET name = '\\' || (pos - (SELECT g.rank FROM gone g WHERE g.p < keys.pos"
        " ORDER BY g.p DESC LIMIT 1)) WHERE parent = ?1 AND pos > ?2 AND pos < ?3",
        "UPDATE keys SET name = substr(name, 2) WHERE parent = ?1"
        " AND name >= '\\' AND name < ']' AND name GLOB '\\[0-9]*'",
    };
    for (size_t k = 0; k < std::size(steps) && ok; ++k) {
        auto& st = m_Db->Statement(steps[k]);
        st.Bind(1, id);
        if (k == 2 || k == 3) {
            st.Bind(2, static_cast<int64_t>(gone.front()));
            st.Bind(3, static_cast<int64_t>(below));
        }
        const bool done = st.Step() == SqliteStatement::Done;
        st.Reset();
        if (k == 2 && done) {
            break; // renamed in one pass
        }
        ok = done || k == 2;
    }
    ok = ok && m_Db->Exec("DELETE FROM gone", error);
    if (!ok) {
        m_LastError = m_Db->ErrorText();
        ++m_FailedWrites;
        return false;
    }
    return t.Commit();
}

bool KeyStore::OpenPositionsAt(Key parent, const std::vector<int>& at, int below) {
    const int64_t total = static_cast<int64_t>(below) + static_cast<int64_t>(at.size());
    if (!parent.writable || at.empty() || at.front() < 0 || at.back() >= total ||
        std::adjacent_find(at.begin(), at.end(), std::greater_equal<int>()) != at.end()) {
        return false;
    }
    Transaction t(*this);
    int64_t id = t.Ok() ? Resolve(parent, "") : 0;
    std::string error;
    // For each new position p_j (j from 0): the keys from p_j - j on move up past it.
    if (id == 0 || !m_Db->Exec("CREATE TEMP TABLE IF NOT EXISTS coming (t INTEGER NOT NULL);"
                               "DELETE FROM coming",
                               error)) {
        m_LastError = error.empty() ? m_LastError : error;
        return false;
    }
    bool ok = true;
    auto& add = m_Db->Statement("INSERT INTO coming (t) VALUES (?1)");
    for (size_t j = 0; j < at.size() && ok; ++j) {
        add.Bind(1, static_cast<int64_t>(at[j]) - static_cast<int64_t>(j));
        ok = add.Step() == SqliteStatement::Done;
        add.Reset();
    }
    // Two passes keep every name unique at every step: first to a name no key can have (a key
    // name never holds a backslash), then to the final one.
    const char* const steps[] = {
        "UPDATE keys SET name = '\\' || (pos + (SELECT count(*) FROM coming c WHERE c.t <="
        " keys.pos)) WHERE parent = ?1 AND pos >= ?2 AND pos < ?3",
        "UPDATE keys SET name = substr(name, 2) WHERE parent = ?1"
        " AND name >= '\\' AND name < ']' AND name GLOB '\\[0-9]*'",
    };
    for (size_t k = 0; k < std::size(steps) && ok; ++k) {
        auto& st = m_Db->Statement(steps[k]);
        st.Bind(1, id);
        if (k == 0) {
            st.Bind(2, static_cast<int64_t>(at.front()));
            st.Bind(3, static_cast<int64_t>(below));
        }
        ok = st.Step() == SqliteStatement::Done;
        st.Reset();
    }
    ok = ok && m_Db->Exec("DELETE FROM coming", error);
    if (!ok) {
        m_LastError = m_Db->ErrorText();
        ++m_FailedWrites;
        return false;
    }
    return t.Commit();
}

} // namespace store
