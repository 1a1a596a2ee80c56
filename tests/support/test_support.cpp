// Shared test helpers.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace testing_support {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantaq-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made) {
        ADD_FAILURE() << "cannot make a scratch folder";
    }
    m_Path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_Path, ignored);
}

TempStore::TempStore() : m_FilePath(m_Dir.File("store.sqlite")) {
    if (!m_Store.Open(m_FilePath)) {
        ADD_FAILURE() << "cannot open store: " << m_Store.LastError();
    }
}

void LogLines::AppendRow(int level, const std::string& text) {
    // "hh:mm:ss  " leads every line.
    rows.push_back(std::to_string(level) + " " + (text.size() >= 10 ? text.substr(10) : text));
}

bool LogLines::Has(const std::string& row) const {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool MakeFifo(const std::string& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

bool EndsWithoutWaitingOn(const std::string& fifo, const std::function<void()>& work, int seconds) {
    // A writer let go with no reader left must get an error, not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    std::promise<void> ended;
    std::future<void> done = ended.get_future();
    std::thread worker([&] {
        work();
        ended.set_value();
    });
    bool inTime = done.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready;
    // Opening both ends at once never waits, and lets a reader or a writer of the FIFO go on.
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    worker.join();
    return inTime;
}

} // namespace testing_support
