// Shared test helpers: scratch folders, a fresh key store per test, small file utilities.
#pragma once

#include "log/log.h"
#include "store/key_store.h"

#include <functional>
#include <string>
#include <vector>

// The build's folders as the tests have always named them.
#define VANTAQ_PROGRAM_DIR testing_support::ProgramDir()
#define VANTAQ_TEST_BIN_DIR testing_support::TestBinDir()
#define VANTAQ_SOURCE_DIR testing_support::SourceDir()

namespace testing_support {

// Folders of this build and checkout. Only build_paths.cpp knows them, so that every other test
// file compiles to the same object whatever folder the checkout is in (the compiler cache then
// serves a clean clone anywhere on the machine).
const char* ProgramDir();
const char* TestBinDir();
const char* SourceDir();

// Whether the tests run under CI (CI=true in the environment). There a service the tests need
// (a cluster, an X session) that cannot be started fails the test instead of skipping it.
bool UnderCi();

// Skips the running test with `reason`, or fails it with `reason` under CI. Use in a test body
// or SetUp; it returns from the function.
#define VANTAQ_SKIP_OR_FAIL(reason)                                                                \
    do {                                                                                           \
        if (testing_support::UnderCi()) {                                                          \
            FAIL() << "cannot run under CI: " << (reason);                                         \
        }                                                                                          \
        GTEST_SKIP() << (reason);                                                                  \
    } while (false)

// A fresh folder below the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_Path; }
    std::string File(const std::string& name) const { return m_Path + "/" + name; }

private:
    std::string m_Path;
};

// A key store in its own scratch folder, open for the test's lifetime.
class TempStore {
public:
    TempStore();
    store::KeyStore& Store() { return m_Store; }
    const std::string& Path() const { return m_FilePath; }

private:
    TempDir m_Dir;
    std::string m_FilePath;
    store::KeyStore m_Store;
};

// A log list that keeps its rows as "<level> <text>", without the time stamp.
class LogLines : public logging::LogView {
public:
    void AppendRow(int level, const std::string& text) override;
    int RowCount() const override { return static_cast<int>(rows.size()); }
    void SetTopRow(int row) override { top = row; }
    bool Has(const std::string& row) const;

    std::vector<std::string> rows;
    int top = 0;
};

// Makes a FIFO at `path` (mkfifo).
bool MakeFifo(const std::string& path);

// Runs `work` on a thread of its own and waits for it to end, at most `seconds`. Work that has
// not ended by then is stuck on the FIFO at `fifo`: its other end is opened until the work ends,
// and the result is false. So a code path that waits on a FIFO fails its test instead of
// hanging it.
bool EndsWithoutWaitingOn(const std::string& fifo, const std::function<void()>& work,
                          int seconds = 60);

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

} // namespace testing_support
