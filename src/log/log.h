// The program's single report channel: timestamped lines in the window's log list and,
// when enabled, in a text file (beside the program, or in the user's state folder).
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>

namespace store {
class KeyStore;
}

namespace logging {

// Also the index of the icon drawn before the line.
enum LogLevel { kLogInfo = 0, kLogWarning = 1, kLogError = 2, kLogDebug = 3 };

// The window's log list as the log sees it. Rows are only ever appended.
class LogView {
public:
    virtual ~LogView() = default;
    virtual void AppendRow(int level, const std::string& text) = 0;
    virtual int RowCount() const = 0;
    // Scrolls so that `row` (0-based) is the top visible row.
    virtual void SetTopRow(int row) = 0;
};

// Messages longer than this are cut to it when logged.
inline constexpr size_t kMaxLogMessageBytes = 8192;

// Used on the window's thread only.
class Log {
public:
    using Clock = std::function<std::time_t()>;

    // `filePath` is the log file (see LogFilePath); `clock` defaults to the system time.
    Log(LogView& view, std::string filePath, Clock clock = nullptr);

    // Adds one line, with any CR or LF of `message` shown as a blank and a message longer than
    // kMaxLogMessageBytes cut to that, saying how much was left out; a debug line is dropped
    // while debug output is off. Never fails visibly.
    void Write(const std::string& message, LogLevel level);
    void operator()(const std::string& message, LogLevel level) { Write(message, level); }

    // The "Log debug info" box; takes effect for the next line.
    void SetDebugInfo(bool on) { m_DebugInfo = on; }
    bool DebugInfo() const { return m_DebugInfo; }
    // `m_EnableLogging`: while false nothing is written to the file.
    void SetEnableLogging(bool on) { m_EnableLogging = on; }
    bool EnableLogging() const { return m_EnableLogging; }
    const std::string& FilePath() const { return m_FilePath; }

    // Utilities > Delete Log.
    void DeleteLogFile();
    // The start-up line "Log file is: %2.2f KB", a warning above 100 KB; nothing without a file.
    void ReportFileSize();

private:
    void AppendToFile(const std::string& line);

    LogView& m_View;
    std::string m_FilePath;
    Clock m_Clock;
    bool m_DebugInfo = false;
    bool m_EnableLogging = false;
};

// The log file of a program: its path with the ending ".exe" replaced by ".log", else ".log"
// appended.
std::string LogFilePath(const std::string& programPath);

// The "Log debug info" box was clicked: keep its state in the root value "LogDebugInfo" and
// apply it to the log.
void OnLogDebugInfo(store::KeyStore& store, Log& log, bool checked);

// The box's state at start-up: "LogDebugInfo" reads 1 (unchecked when it cannot be read).
bool ReadLogDebugInfo(store::KeyStore& store);

} // namespace logging
