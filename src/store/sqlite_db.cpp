// RAII wrappers over the SQLite C interface.
#include "store/sqlite_db.h"

#include <sqlite3.h>

namespace store {

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_Stmt);
}

void SqliteStatement::Bind(int index, int64_t value) {
    sqlite3_bind_int64(m_Stmt, index, value);
}

void SqliteStatement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(m_Stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::BindBlob(int index, std::string_view bytes) {
    // A zero-length blob must stay a blob, not become NULL.
    if (bytes.empty()) {
        sqlite3_bind_zeroblob(m_Stmt, index, 0);
    } else {
        sqlite3_bind_blob(m_Stmt, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
    }
}

SqliteStatement::StepResult SqliteStatement::Step() {
    if (!m_Stmt) {
        return Error;
    }
    switch (sqlite3_step(m_Stmt)) {
    case SQLITE_ROW:
        return Row;
    case SQLITE_DONE:
        return Done;
    default:
        return Error;
    }
}

int64_t SqliteStatement::ColumnInt64(int column) {
    return sqlite3_column_int64(m_Stmt, column);
}

std::string SqliteStatement::ColumnText(int column) {
    const unsigned char* text = sqlite3_column_text(m_Stmt, column);
    int size = sqlite3_column_bytes(m_Stmt, column);
    return text ? std::string(reinterpret_cast<const char*>(text), size) : std::string();
}

std::string SqliteStatement::ColumnBlob(int column) {
    const void* blob = sqlite3_column_blob(m_Stmt, column);
    int size = sqlite3_column_bytes(m_Stmt, column);
    return blob ? std::string(static_cast<const char*>(blob), size) : std::string();
}

void SqliteStatement::Reset() {
    if (m_Stmt) {
        sqlite3_reset(m_Stmt);
        sqlite3_clear_bindings(m_Stmt);
    }
}

SqliteDb::~SqliteDb() {
    m_Statements.clear();
    if (m_Db) {
        sqlite3_close(m_Db);
    }
}

bool SqliteDb::Open(const std::string& path, std::string& error) {
    int rc =
        sqlite3_open_v2(path.c_str(), &m_Db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        NoteError(rc);
        error = path + ": " + (m_Db ? sqlite3_errmsg(m_Db) : sqlite3_errstr(rc));
        sqlite3_close(m_Db);
        m_Db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_Db, 10000);
    return true;
}

void SqliteDb::SetBusyTimeout(int milliseconds) {
    if (m_Db) {
        sqlite3_busy_timeout(m_Db, milliseconds);
    }
}

bool SqliteDb::ReadOnly() const {
    return m_Db && sqlite3_db_readonly(m_Db, "main") == 1;
}

bool SqliteDb::Exec(const std::string& sql, std::string& error) {
    char* message = nullptr;
    if (int rc = sqlite3_exec(m_Db, sql.c_str(), nullptr, nullptr, &message); rc != SQLITE_OK) {
        NoteError(rc);
        error = message ? message : sqlite3_errmsg(m_Db);
        sqlite3_free(message);
        return false;
    }
    return true;
}

void SqliteDb::NoteError(int rc) {
    m_ErrorCode = rc & 0xFF;
    m_SystemErrno = m_Db ? sqlite3_system_errno(m_Db) : 0;
}

bool SqliteDb::QueryFirst(const std::string& sql, std::string& error,
                          const std::function<void(sqlite3_stmt*)>& take) {
    sqlite3_stmt* stmt = nullptr;
    if (int rc = sqlite3_prepare_v2(m_Db, sql.c_str(), -1, &stmt, nullptr); rc != SQLITE_OK) {
        NoteError(rc);
        error = sqlite3_errmsg(m_Db);
        return false;
    }
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        take(stmt);
    } else {
        NoteError(sqlite3_errcode(m_Db));
        error = sqlite3_errmsg(m_Db);
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_ROW;
}

bool SqliteDb::QueryInt(const std::string& sql, int& value, std::string& error) {
    return QueryFirst(sql, error,
                      [&value](sqlite3_stmt* stmt) { value = sqlite3_column_int(stmt, 0); });
}

bool SqliteDb::QueryText(const std::string& sql, std::string& value, std::string& error) {
    return QueryFirst(sql, error, [&value](sqlite3_stmt* stmt) {
        const unsigned char* text = sqlite3_column_text(stmt, 0);
        value = text ? reinterpret_cast<const char*>(text) : "";
    });
}

SqliteStatement& SqliteDb::Statement(const char* sql) {
    auto it = m_Statements.find(sql);
    if (it == m_Statements.end()) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(m_Db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
            SQLITE_OK) {
            stmt = nullptr;
        }
        it = m_Statements.emplace(sql, std::make_unique<SqliteStatement>(stmt)).first;
    }
    return *it->second;
}

int64_t SqliteDb::LastInsertId() const {
    return sqlite3_last_insert_rowid(m_Db);
}

int SqliteDb::Changes() const {
    return sqlite3_changes(m_Db);
}

std::string SqliteDb::ErrorText() const {
    return sqlite3_errmsg(m_Db);
}

} // namespace store
