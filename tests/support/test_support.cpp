// Shared test helpers.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

} // namespace testing_support
