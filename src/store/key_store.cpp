// The key store on SQLite: keys as rows with a parent, values as typed byte strings.
#include "store/key_store.h"

#include "platform/user_folders.h"
#include "store/key_store_db.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <utility>

namespace store {

namespace {

// A "Status" value as a reader with a 255-byte buffer gets it: the text before the first zero
// byte, or NULL when it does not fit.
#define VANTAQ_STATUS_OF(d)                                                                        \
    "CASE WHEN length(CAST(" d " AS BLOB)) > 255 THEN NULL"                                        \
    " WHEN instr(CAST(" d " AS BLOB), X'00') > 0 THEN CAST(substr(CAST(" d " AS BLOB), 1,"         \
    " instr(CAST(" d " AS BLOB), X'00') - 1) AS TEXT)"                                             \
    " WHEN length(CAST(" d " AS BLOB)) < 255 THEN CAST(" d " AS TEXT) ELSE NULL END"

// The page cache: 16 MiB at most, 128 MiB while a WideCache lives.
const char* const kCacheSize = "PRAGMA cache_size=-16384";
const char* const kWideCacheSize = "PRAGMA cache_size=-131072";

// What the file derives from its keys and values, kept current by the file itself: a numbered
// key's "Status" value as a 255-byte reader sees it mirrored into the key's row by triggers, the
// indexes over positions and statuses, and the indexes that find a run's marks and the jobs whose
// sources share a file stem without a scan. Built by the migration to version 2, and rebuilt
// once at the end of a bulk unit that set it aside.
// clang-format off
const char* const kDerived =
    "UPDATE keys SET status = (SELECT " VANTAQ_STATUS_OF("vals.data")
    "  FROM vals WHERE vals.key = keys.id AND vals.name = 'Status');"
    "CREATE INDEX keys_position ON keys (parent, pos) WHERE pos IS NOT NULL;"
    "CREATE INDEX keys_status ON keys (parent, status, pos) WHERE pos IS NOT NULL;"
    "CREATE TRIGGER vals_status_insert AFTER INSERT ON vals"
    "  WHEN NEW.name = 'Status' COLLATE NOCASE BEGIN"
    "  UPDATE keys SET status = " VANTAQ_STATUS_OF("NEW.data") " WHERE id = NEW.key; END;"
    "CREATE TRIGGER vals_status_update AFTER UPDATE ON vals"
    "  WHEN NEW.name = 'Status' COLLATE NOCASE OR OLD.name = 'Status' COLLATE NOCASE BEGIN"
    "  UPDATE keys SET status = (SELECT " VANTAQ_STATUS_OF("v.data") " FROM vals v"
    "    WHERE v.key = keys.id AND v.name = 'Status') WHERE id IN (OLD.key, NEW.key); END;"
    "CREATE TRIGGER vals_status_delete AFTER DELETE ON vals"
    "  WHEN OLD.name = 'Status' COLLATE NOCASE BEGIN"
    "  UPDATE keys SET status = NULL WHERE id = OLD.key; END;"
    "CREATE INDEX vals_run_key ON vals (key) WHERE name = 'Run Key';"
    "CREATE INDEX vals_run_handle ON vals (key) WHERE name = 'Run Handle';"
    "CREATE INDEX vals_input_stem ON vals (" VANTAQ_FILE_STEM_OF("data") ")"
    "  WHERE name = 'Input';";
// clang-format on
const char* const kDropDerived = "DROP TRIGGER vals_status_insert; DROP TRIGGER vals_status_update;"
                                 "DROP TRIGGER vals_status_delete; DROP INDEX keys_position;"
                                 "DROP INDEX keys_status; DROP INDEX vals_run_key;"
                                 "DROP INDEX vals_run_handle; DROP INDEX vals_input_stem;";

// Schema steps; step i brings a file from version i to version i + 1.
const std::string kSchemaSteps[] = {
    "CREATE TABLE IF NOT EXISTS keys ("
    "  id     INTEGER PRIMARY KEY,"
    "  parent INTEGER REFERENCES keys(id),"
    "  name   TEXT NOT NULL COLLATE NOCASE,"
    "  UNIQUE (parent, name));"
    "CREATE TABLE IF NOT EXISTS vals ("
    "  id   INTEGER PRIMARY KEY,"
    "  key  INTEGER NOT NULL REFERENCES keys(id),"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE (key, name));"
    "INSERT OR IGNORE INTO keys (id, parent, name) VALUES (1, NULL, '');"
    "CREATE TABLE IF NOT EXISTS meta (name TEXT PRIMARY KEY, value INTEGER NOT NULL);"
    "INSERT OR IGNORE INTO meta (name, value) VALUES ('schema', 0);",
    // A numbered key's position as a column, and its mirrored status.
    // clang-format off
    std::string("ALTER TABLE keys ADD COLUMN pos INTEGER GENERATED ALWAYS AS ("
    "  CASE WHEN name <> '' AND length(name) <= 9 AND name NOT GLOB '*[^0-9]*'"
    "   AND (name = '0' OR name NOT GLOB '0*') THEN CAST(name AS INTEGER) END) VIRTUAL;"
    "ALTER TABLE keys ADD COLUMN status TEXT;") + kDerived,
    // clang-format on
};

// The schema version of an open file: 0 for an empty database, -1 for a database that is not
// a store. False when the file cannot be read as a database at all.
bool SchemaVersion(SqliteDb& db, int& version, std::string& error) {
    int tables = 0;
    if (!db.QueryInt("SELECT count(*) FROM sqlite_schema", tables, error)) {
        return false;
    }
    if (tables == 0) {
        version = 0;
        return true;
    }
    int hasMeta = 0;
    if (!db.QueryInt("SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'meta'",
                     hasMeta, error)) {
        return false;
    }
    if (hasMeta == 0 ||
        !db.QueryInt("SELECT value FROM meta WHERE name = 'schema'", version, error)) {
        version = -1;
    }
    return true;
}

std::string Text(std::string_view s) {
    return std::string(s);
}

} // namespace

KeyStore::KeyStore() = default;

KeyStore::WideCache::WideCache(KeyStore& store) : m_Store(store) {
    std::string ignored;
    if (m_Store.IsOpen()) {
        m_Store.m_Db->Exec(kWideCacheSize, ignored);
    }
}

KeyStore::WideCache::~WideCache() {
    std::string ignored;
    if (m_Store.IsOpen()) {
        m_Store.m_Db->Exec(kCacheSize, ignored);
    }
}

KeyStore::~KeyStore() {
    Close();
}

std::string KeyStore::DefaultPath() {
    if (const char* explicitPath = std::getenv("VANTAQ_STORE"); explicitPath && *explicitPath) {
        return explicitPath;
    }
    return platform::UserConfigHome() + "/vantaq/store.sqlite";
}

bool KeyStore::IsOpen() const {
    return m_Db && m_Db->Handle();
}

void KeyStore::Close() {
    m_Db.reset();
    m_Depth = 0;
    m_DeferredAt = 0;
    // Another file (or this one reopened) starts its counts of changes anew.
    m_PositionsAsked.valid = false;
    m_StatusesAsked.valid = false;
}

namespace {

// Why a file could not be used as a store, in the user's words, from SQLite's result code.
std::string Describe(int code, const std::string& detail) {
    switch (code) {
    case SQLITE_NOTADB:
        return "not a Vantaq store (not an SQLite database)";
    case SQLITE_CORRUPT:
        return "the store is damaged (" + detail + "); it was left as it is";
    case SQLITE_FULL:
        return "the disk is full (" + detail + ")";
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        return "the store cannot be written: it is read-only (" + detail + ")";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "another process holds the store's lock (" + detail + ")";
    case SQLITE_IOERR:
        return "the store could not be read or written (" + detail + ")";
    default:
        return detail;
    }
}

} // namespace

bool KeyStore::Open(const std::string& path) {
    Close();
    m_Path = path;
    std::error_code ignored;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ignored);
    }
    auto db = std::make_unique<Db>();
    auto fail = [&](const std::string& detail) {
        // An I/O error of a full disk or a read-only file system is named as such.
        int code = db->ErrorCode();
        if (code == SQLITE_IOERR && db->SystemErrno() == ENOSPC) {
            code = SQLITE_FULL;
        } else if (code == SQLITE_IOERR && db->SystemErrno() == EROFS) {
            code = SQLITE_READONLY;
        }
        m_LastError = path + ": " + Describe(code, detail);
        return false;
    };
    std::string error;
    if (!db->Open(path, error)) {
        m_LastError = error;
        if (db->ErrorCode() == SQLITE_CANTOPEN) {
            m_LastError = path + ": " + Describe(SQLITE_CANTOPEN, "cannot open or create the file");
        }
        return false;
    }
    if (db->ReadOnly()) {
        m_LastError = path + ": " + Describe(SQLITE_READONLY, "opened for reading only");
        return false;
    }
    // A quick check reads every page before anything is written, so a damaged file is refused
    // as it is instead of being made worse.
    std::string check;
    if (!db->QueryText("PRAGMA quick_check(1)", check, error)) {
        return fail(error);
    }
    if (check != "ok") {
        std::replace(check.begin(), check.end(), '\n', ' ');
        m_LastError = path + ": " + Describe(SQLITE_CORRUPT, check);
        return false;
    }
    int version = 0;
    if (!SchemaVersion(*db, version, error)) {
        return fail(error);
    }
    if (version < 0) {
        m_LastError = path + ": a database, but not a Vantaq store";
        return false;
    }
    if (version > kSchemaVersion) {
        m_LastError =
            path + ": written by a newer Vantaq (store version " + std::to_string(version) + ")";
        return false;
    }
    // A bounded page cache large enough for the indexes of a long queue.
    if (!db->Exec(kCacheSize, error) || !db->Exec("PRAGMA journal_mode=WAL", error) ||
        !db->Exec("PRAGMA synchronous=FULL", error) || !db->Exec("PRAGMA foreign_keys=ON", error)) {
        return fail(error);
    }
    if (version < kSchemaVersion) {
        if (!db->Exec("BEGIN IMMEDIATE", error)) {
            return fail(error);
        }
        // Another process may have migrated while this one waited for the lock.
        if (!SchemaVersion(*db, version, error) || version < 0) {
            std::string ignored;
            db->Exec("ROLLBACK", ignored);
            return fail(version < 0 ? "a database, but not a Vantaq store" : error);
        }
        for (int step = version; step < kSchemaVersion; ++step) {
            if (!db->Exec(kSchemaSteps[step], error)) {
                std::string ignored;
                db->Exec("ROLLBACK", ignored);
                return fail(error);
            }
        }
        if (!db->Exec("UPDATE meta SET value = " + std::to_string(kSchemaVersion) +
                          " WHERE name = 'schema'",
                      error) ||
            !db->Exec("COMMIT", error)) {
            std::string ignored;
            db->Exec("ROLLBACK", ignored);
            return fail(error);
        }
    }
    m_Db = std::move(db);
    return true;
}

void KeyStore::SetBusyTimeout(int milliseconds) {
    if (m_Db) {
        m_Db->SetBusyTimeout(milliseconds);
    }
}

// ---- transactions ----

bool KeyStore::Begin() {
    if (!IsOpen()) {
        m_LastError = "the store is not open";
        ++m_FailedWrites;
        return false;
    }
    // The outermost unit takes the write lock at once, so two processes never deadlock on an
    // upgrade; inner units are savepoints that can be undone on their own.
    std::string sql =
        m_Depth == 0 ? std::string("BEGIN IMMEDIATE") : "SAVEPOINT unit" + std::to_string(m_Depth);
    if (!m_Db->Exec(sql, m_LastError)) {
        ++m_FailedWrites;
        return false;
    }
    ++m_Depth;
    return true;
}

bool KeyStore::End(bool commit) {
    if (m_Depth == 0) {
        return false;
    }
    const int level = m_Depth--;
    std::string ignored;
    if (level > 1) {
        std::string name = "unit" + std::to_string(m_Depth);
        if (!commit) {
            m_Db->Exec("ROLLBACK TO " + name, ignored);
        }
        // Undoing a unit undoes a setting aside made within it; keeping one hands it outwards.
        if (m_DeferredAt >= level) {
            m_DeferredAt = commit ? level - 1 : 0;
        }
        return m_Db->Exec("RELEASE " + name, m_LastError) && commit;
    }
    const bool rebuild = std::exchange(m_DeferredAt, 0) != 0;
    if (!commit) {
        m_Db->Exec("ROLLBACK", ignored);
        return false;
    }
    if ((rebuild && !m_Db->Exec(kDerived, m_LastError)) || !m_Db->Exec("COMMIT", m_LastError)) {
        ++m_FailedWrites;
        m_Db->Exec("ROLLBACK", ignored);
        return false;
    }
    return true;
}

bool KeyStore::DeferDerived() {
    if (m_Depth == 0) {
        return false;
    }
    if (m_DeferredAt != 0) {
        return true;
    }
    if (!m_Db->Exec(kDropDerived, m_LastError)) {
        ++m_FailedWrites;
        return false;
    }
    m_DeferredAt = m_Depth;
    return true;
}

int64_t KeyStore::FileBytes() {
    int pages = 0;
    int pageSize = 0;
    std::string ignored;
    if (!IsOpen() || !m_Db->QueryInt("PRAGMA page_count", pages, ignored) ||
        !m_Db->QueryInt("PRAGMA page_size", pageSize, ignored)) {
        return 0;
    }
    return static_cast<int64_t>(pages) * pageSize;
}

KeyStore::Transaction::Transaction(KeyStore& store) : m_Store(store), m_Ok(store.Begin()) {}

KeyStore::Transaction::~Transaction() {
    if (m_Ok && !m_Done) {
        m_Store.End(false);
    }
}

bool KeyStore::Transaction::Commit() {
    if (!m_Ok || m_Done) {
        return false;
    }
    m_Done = true;
    m_Ok = m_Store.End(true);
    return m_Ok;
}

// ---- key resolution ----

std::vector<std::string_view> SplitKeyPath(std::string_view path) {
    std::vector<std::string_view> names;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            names.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return names;
}

int64_t KeyStore::FindChild(int64_t parent, std::string_view name) {
    auto& st = m_Db->Statement("SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
    st.Bind(1, parent);
    st.Bind(2, name);
    int64_t id = 0;
    if (st.Step() == SqliteStatement::Row) {
        id = st.ColumnInt64(0);
    }
    st.Reset();
    return id;
}

int64_t KeyStore::Resolve(Key parent, std::string_view path) {
    if (!IsOpen() || !parent) {
        return 0;
    }
    int64_t id = parent.id;
    for (std::string_view name : SplitKeyPath(path)) {
        id = FindChild(id, name);
        if (id == 0) {
            return 0;
        }
    }
    if (id == parent.id) {
        // The parent itself must still be in the tree (a key set aside is not).
        auto& st =
            m_Db->Statement("SELECT 1 FROM keys WHERE id = ?1 AND (parent IS NOT NULL OR id = 1)");
        st.Bind(1, id);
        bool exists = st.Step() == SqliteStatement::Row;
        st.Reset();
        return exists ? id : 0;
    }
    return id;
}

int64_t KeyStore::ResolveOrCreate(Key parent, std::string_view path, bool* created) {
    if (created) {
        *created = false;
    }
    if (!IsOpen() || !parent || !parent.writable) {
        return 0;
    }
    int64_t id = Resolve(parent, "");
    if (id == 0) {
        return 0;
    }
    bool madeLast = false;
    for (std::string_view name : SplitKeyPath(path)) {
        int64_t child = FindChild(id, name);
        madeLast = false;
        if (child == 0) {
            auto& st = m_Db->Statement("INSERT INTO keys (parent, name) VALUES (?1, ?2)");
            st.Bind(1, id);
            st.Bind(2, name);
            bool ok = st.Step() == SqliteStatement::Done;
            st.Reset();
            if (!ok) {
                m_LastError = m_Db->ErrorText();
                ++m_FailedWrites;
                return 0;
            }
            child = m_Db->LastInsertId();
            madeLast = true;
        }
        id = child;
    }
    if (created) {
        *created = madeLast;
    }
    return id;
}

Key KeyStore::OpenKey(Key parent, std::string_view path, Access access) {
    int64_t id = Resolve(parent, path);
    if (id == 0) {
        return Key{};
    }
    return Key{id, access == Access::All && parent.writable};
}

Key KeyStore::CreateKey(Key parent, std::string_view path, bool* created) {
    Transaction t(*this);
    int64_t id = t.Ok() ? ResolveOrCreate(parent, path, created) : 0;
    if (id == 0 || !t.Commit()) {
        if (created) {
            *created = false;
        }
        return Key{};
    }
    return Key{id, true};
}

// ---- values ----

bool KeyStore::SelectValue(int64_t key, std::string_view name, Value& value) {
    auto& st = m_Db->Statement("SELECT name, type, data FROM vals WHERE key = ?1 AND name = ?2");
    st.Bind(1, key);
    st.Bind(2, name);
    bool found = st.Step() == SqliteStatement::Row;
    if (found) {
        value.name = st.ColumnText(0);
        value.type = static_cast<uint32_t>(st.ColumnInt64(1));
        value.data = st.ColumnBlob(2);
    }
    st.Reset();
    return found;
}

bool KeyStore::UpsertValue(int64_t key, std::string_view name, uint32_t type,
                           std::string_view data) {
    // A replaced value keeps the name's first spelling and its place in the enumeration order.
    auto& st = m_Db->Statement(
        "INSERT INTO vals (key, name, type, data) VALUES (?1, ?2, ?3, ?4) "
        "ON CONFLICT (key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    st.Bind(1, key);
    st.Bind(2, name);
    st.Bind(3, static_cast<int64_t>(type));
    st.BindBlob(4, data);
    bool ok = st.Step() == SqliteStatement::Done;
    if (!ok) {
        m_LastError = m_Db->ErrorText();
        ++m_FailedWrites;
    }
    st.Reset();
    return ok;
}

bool KeyStore::ReadValue(Key parent, std::string_view path, std::string_view name, Value& value) {
    int64_t id = Resolve(parent, path);
    return id != 0 && SelectValue(id, name, value);
}

bool KeyStore::WriteValue(Key parent, std::string_view path, const Value& value) {
    // Inside a larger unit, a value of a key that exists is one statement, atomic by itself:
    // no savepoint of its own is needed (bulk imports write millions of them).
    if (m_Depth > 0 && path.empty() && parent.writable) {
        int64_t id = Resolve(parent, "");
        if (id != 0) {
            return UpsertValue(id, value.name, value.type, value.data);
        }
    }
    Transaction t(*this);
    int64_t id = t.Ok() ? ResolveOrCreate(parent, path, nullptr) : 0;
    if (id == 0 || !UpsertValue(id, value.name, value.type, value.data)) {
        return false;
    }
    return t.Commit();
}

bool KeyStore::WriteValues(Key key, const std::vector<Value>& values, size_t* failed) {
    if (failed) {
        *failed = 0;
    }
    // Inside a larger unit each value is atomic by itself and the unit undoes them together;
    // a savepoint per call would cost more than the writes of a bulk import.
    std::optional<Transaction> t;
    if (m_Depth == 0) {
        t.emplace(*this);
    }
    int64_t id = (!t || t->Ok()) && key.writable ? Resolve(key, "") : 0;
    if (id == 0) {
        return false;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        if (!UpsertValue(id, values[i].name, values[i].type, values[i].data)) {
            if (failed) {
                *failed = i;
            }
            return false;
        }
    }
    return !t || t->Commit();
}

bool KeyStore::DeleteValues(Key key, const std::vector<std::string>& names) {
    // Inside a larger unit each statement is atomic by itself, as in WriteValues.
    std::optional<Transaction> t;
    if (m_Depth == 0) {
        t.emplace(*this);
    }
    int64_t id = (!t || t->Ok()) && key.writable ? Resolve(key, "") : 0;
    if (id == 0) {
        return false;
    }
    auto& st = m_Db->Statement("DELETE FROM vals WHERE key = ?1 AND name = ?2");
    for (const std::string& name : names) {
        st.Bind(1, id);
        st.Bind(2, name);
        const bool ok = st.Step() == SqliteStatement::Done;
        st.Reset();
        if (!ok) {
            m_LastError = m_Db->ErrorText();
            ++m_FailedWrites;
            return false;
        }
    }
    return !t || t->Commit();
}

bool KeyStore::ReadNumber(Key parent, std::string_view path, std::string_view name,
                          uint32_t& number) {
    Value v;
    if (!ReadValue(parent, path, name, v) || v.data.size() > 4) {
        return false;
    }
    // The type is not checked; fewer than four bytes fill the low end, as a registry read does.
    uint32_t n = 0;
    for (size_t i = 0; i < v.data.size(); ++i) {
        n |= static_cast<uint32_t>(static_cast<unsigned char>(v.data[i])) << (8 * i);
    }
    number = n;
    return true;
}

bool KeyStore::WriteNumber(Key parent, std::string_view path, std::string_view name,
                           uint32_t number) {
    char bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    }
    return WriteValue(parent, path, Value{Text(name), kTypeNumber, std::string(bytes, 4)});
}

bool KeyStore::ReadString(Key parent, std::string_view path, std::string_view name, size_t capacity,
                          std::string& text) {
    Value v;
    if (!ReadValue(parent, path, name, v) || v.data.size() > capacity) {
        return false;
    }
    size_t end = v.data.find('\0');
    text = v.data.substr(0, end);
    // A value stored without its terminator still needs room for one in the reader's buffer.
    return end != std::string::npos || v.data.size() < capacity;
}

bool KeyStore::WriteString(Key parent, std::string_view path, std::string_view name,
                           std::string_view text) {
    std::string data(text);
    data.push_back('\0');
    return WriteValue(parent, path, Value{Text(name), kTypeString, std::move(data)});
}

bool KeyStore::WriteStringIfNew(Key parent, std::string_view path, std::string_view name,
                                std::string_view text) {
    Transaction t(*this);
    bool created = false;
    int64_t id = t.Ok() ? ResolveOrCreate(parent, path, &created) : 0;
    if (id == 0) {
        return false;
    }
    if (!created) {
        // Nothing to write, but a created ancestor must not be lost: commit and report failure.
        t.Commit();
        return false;
    }
    std::string data(text);
    data.push_back('\0');
    return UpsertValue(id, name, kTypeString, data) && t.Commit();
}

bool KeyStore::EnumValues(Key key, std::vector<Value>& values) {
    values.clear();
    if (Resolve(key, "") == 0) {
        return false;
    }
    auto& st = m_Db->Statement("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id");
    st.Bind(1, key.id);
    while (st.Step() == SqliteStatement::Row) {
        values.push_back(
            Value{st.ColumnText(0), static_cast<uint32_t>(st.ColumnInt64(1)), st.ColumnBlob(2)});
    }
    st.Reset();
    return true;
}

bool KeyStore::EnumSubKeys(Key key, std::vector<std::string>& names) {
    names.clear();
    if (Resolve(key, "") == 0) {
        return false;
    }
    auto& st = m_Db->Statement("SELECT name FROM keys WHERE parent = ?1 ORDER BY id");
    st.Bind(1, key.id);
    while (st.Step() == SqliteStatement::Row) {
        names.push_back(st.ColumnText(0));
    }
    st.Reset();
    return true;
}

void KeyStore::CopyValues(Key source, Key destination) {
    if (!destination.writable) {
        return;
    }
    std::vector<Value> values;
    Transaction t(*this);
    if (!t.Ok() || !EnumValues(source, values) || Resolve(destination, "") == 0) {
        return;
    }
    for (const Value& v : values) {
        if (!UpsertValue(destination.id, v.name, v.type, v.data)) {
            return;
        }
    }
    t.Commit();
}

bool KeyStore::RemoveKeyRow(int64_t id) {
    return RunWith("DELETE FROM vals WHERE key = ?1", {id}) &&
           RunWith("DELETE FROM keys WHERE id = ?1", {id});
}

bool KeyStore::RunWith(const char* sql, std::initializer_list<int64_t> params) {
    auto& st = m_Db->Statement(sql);
    int index = 0;
    for (int64_t value : params) {
        st.Bind(++index, value);
    }
    const bool ok = st.Step() == SqliteStatement::Done;
    st.Reset();
    if (!ok) {
        m_LastError = m_Db->ErrorText();
        ++m_FailedWrites;
    }
    return ok;
}

bool KeyStore::DeleteTreesListed(Key parent, const char* sql,
                                 std::initializer_list<int64_t> params) {
    std::vector<std::string> names;
    auto& st = m_Db->Statement(sql);
    int index = 0;
    for (int64_t value : params) {
        st.Bind(++index, value);
    }
    while (st.Step() == SqliteStatement::Row) {
        names.push_back(st.ColumnText(0));
    }
    st.Reset();
    for (const std::string& name : names) {
        if (!DeleteTree(parent, name)) {
            return false;
        }
    }
    return true;
}

bool KeyStore::DeleteKey(Key parent, std::string_view path) {
    if (!parent.writable) {
        return false;
    }
    Transaction t(*this);
    int64_t id = t.Ok() ? Resolve(parent, path) : 0;
    if (id == 0 || id == kHive.id) {
        return false;
    }
    auto& children = m_Db->Statement("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    children.Bind(1, id);
    bool hasChildren = children.Step() == SqliteStatement::Row;
    children.Reset();
    if (hasChildren) {
        return false;
    }
    return RemoveKeyRow(id) && t.Commit();
}

bool KeyStore::DeleteTree(Key parent, std::string_view path) {
    if (!parent.writable) {
        return false;
    }
    Transaction t(*this);
    int64_t id = t.Ok() ? Resolve(parent, path) : 0;
    if (id == 0 || id == kHive.id) {
        return false;
    }
    // The whole sub-tree is collected by SQLite itself, so any depth works without recursion.
    return RunWith("WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
                   "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
                   "DELETE FROM vals WHERE key IN tree",
                   {id}) &&
           RunWith("WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
                   "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
                   "DELETE FROM keys WHERE id IN tree",
                   {id}) &&
           t.Commit();
}

bool KeyStore::RenameSubKey(Key parent, std::string_view from, std::string_view to) {
    if (!parent.writable || to.empty() || to.find('\\') != std::string_view::npos) {
        return false;
    }
    Transaction t(*this);
    if (!t.Ok()) {
        return false;
    }
    int64_t parentId = Resolve(parent, "");
    int64_t id = parentId ? FindChild(parentId, from) : 0;
    if (id == 0 || FindChild(parentId, to) != 0) {
        return false;
    }
    auto& st = m_Db->Statement("UPDATE keys SET name = ?2 WHERE id = ?1");
    st.Bind(1, id);
    st.Bind(2, to);
    bool ok = st.Step() == SqliteStatement::Done;
    st.Reset();
    if (!ok) {
        m_LastError = m_Db->ErrorText();
        ++m_FailedWrites;
    }
    return ok && t.Commit();
}

} // namespace store
