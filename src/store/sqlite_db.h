// A thin RAII layer over one SQLite connection and its cached prepared statements.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace store {

class SqliteStatement {
public:
    enum StepResult { Row, Done, Error };

    explicit SqliteStatement(sqlite3_stmt* stmt) : m_Stmt(stmt) {}
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void Bind(int index, int64_t value);
    void Bind(int index, std::string_view text);
    void BindBlob(int index, std::string_view bytes);
    StepResult Step();
    int64_t ColumnInt64(int column);
    std::string ColumnText(int column);
    std::string ColumnBlob(int column);
    // Clears bindings and makes the statement ready for its next use.
    void Reset();

private:
    sqlite3_stmt* m_Stmt;
};

class SqliteDb {
public:
    SqliteDb() = default;
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    // Opens or creates the file; waits up to 10 s for another process's lock before failing.
    bool Open(const std::string& path, std::string& error);
    sqlite3* Handle() const { return m_Db; }
    // How long a statement waits for another process's lock before it fails.
    void SetBusyTimeout(int milliseconds);
    // True when the file could only be opened for reading.
    bool ReadOnly() const;
    bool Exec(const std::string& sql, std::string& error);
    bool QueryInt(const std::string& sql, int& value, std::string& error);
    // The first column of the first row as text.
    bool QueryText(const std::string& sql, std::string& value, std::string& error);
    // A prepared statement kept for the connection's lifetime. An SQL text that cannot be
    // prepared yields a statement whose every step reports Error.
    SqliteStatement& Statement(const char* sql);
    int64_t LastInsertId() const;
    // The rows the last statement inserted, changed or deleted.
    int Changes() const;
    std::string ErrorText() const;
    // The primary result code of the last failed call (SQLITE_FULL, SQLITE_CORRUPT, ...).
    int ErrorCode() const { return m_ErrorCode; }
    // The system's error number behind it (ENOSPC, EROFS, ...), 0 when none.
    int SystemErrno() const { return m_SystemErrno; }

private:
    // Records the result code of a failed call and the system's error behind it.
    void NoteError(int rc);
    // Runs `sql` and hands its first row to `take`; false (with the error) when there is none.
    bool QueryFirst(const std::string& sql, std::string& error,
                    const std::function<void(sqlite3_stmt*)>& take);

    sqlite3* m_Db = nullptr;
    int m_ErrorCode = 0;
    int m_SystemErrno = 0;
    std::map<const char*, std::unique_ptr<SqliteStatement>> m_Statements;
};

} // namespace store
