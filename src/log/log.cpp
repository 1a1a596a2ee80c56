// Timestamped log lines to the window's list and an append-only file.
#include "log/log.h"

#include "platform/program_files.h"
#include "store/key_store.h"
#include "store/paths.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace logging {

namespace {

constexpr int kRowsInView = 5;
constexpr const char* kDebugInfoValue = "LogDebugInfo";

std::string FormatTime(std::time_t now) {
    std::tm local{};
    char buffer[32];
    if (!localtime_r(&now, &local) ||
        std::strftime(buffer, sizeof buffer, "%H:%M:%S", &local) == 0) {
        return std::string();
    }
    return buffer;
}

} // namespace

Log::Log(LogView& view, std::string filePath, Clock clock)
    : m_View(view), m_FilePath(std::move(filePath)), m_Clock(std::move(clock)) {
    if (!m_Clock) {
        m_Clock = [] { return std::time(nullptr); };
    }
}

void Log::Write(const std::string& message, LogLevel level) {
    if (level == kLogDebug && !m_DebugInfo) {
        return;
    }
    std::string line = FormatTime(m_Clock()) + "  ";
    if (message.size() <= kMaxLogMessageBytes) {
        line += message;
    } else {
        // A message that quotes outside input (a path from a job list, an encoder's line) is
        // cut, at a character's start, so no file can flood the list and the log file.
        size_t cut = kMaxLogMessageBytes;
        while (cut > 0 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        line.append(message, 0, cut);
        line += "... (" + std::to_string(message.size() - cut) + " more bytes left out)";
    }
    // One entry is one line, in the list and in the file, whatever the message holds (a job
    // name or a path may carry line breaks).
    for (char& c : line) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    m_View.AppendRow(level, line);
    int rows = m_View.RowCount();
    if (rows > kRowsInView) {
        m_View.SetTopRow(rows - kRowsInView);
    }
    if (m_EnableLogging) {
        AppendToFile(line);
    }
}

void Log::AppendToFile(const std::string& line) {
    // Opened, appended to and closed per line, so the file is whole whenever the program dies.
    std::FILE* file = std::fopen(m_FilePath.c_str(), "ab");
    if (!file && errno == ENOENT) {
        // A log in the user's state folder may be the first file there.
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(m_FilePath).parent_path(),
                                            ignored);
        file = std::fopen(m_FilePath.c_str(), "ab");
    }
    if (!file) {
        return;
    }
    std::fwrite(line.data(), 1, line.size(), file);
    std::fwrite("\r\n", 1, 2, file);
    std::fclose(file);
}

void Log::DeleteLogFile() {
    struct stat info {};
    if (::stat(m_FilePath.c_str(), &info) == 0) {
        ::unlink(m_FilePath.c_str());
        Write("Log file deleted", kLogInfo);
    } else {
        Write("Log file not found", kLogInfo);
    }
}

void Log::ReportFileSize() {
    struct stat info {};
    if (::stat(m_FilePath.c_str(), &info) != 0) {
        return;
    }
    double kilobytes = static_cast<double>(info.st_size) / 1024.0;
    char text[64];
    std::snprintf(text, sizeof text, "Log file is: %2.2f KB", kilobytes);
    Write(text, kilobytes > 100.0 ? kLogWarning : kLogInfo);
}

std::string LogFilePath(const std::string& programPath) {
    return platform::DeriveProgramFile(programPath, ".log");
}

void OnLogDebugInfo(store::KeyStore& store, Log& log, bool checked) {
    store.WriteNumber(store::kHive, store::kRootPath, kDebugInfoValue, checked ? 1 : 0);
    log.SetDebugInfo(checked);
}

bool ReadLogDebugInfo(store::KeyStore& store) {
    uint32_t value = 0;
    return store.ReadNumber(store::kHive, store::kRootPath, kDebugInfoValue, value) && value == 1;
}

} // namespace logging
