// Shared test helpers: scratch folders, a fresh key store per test, small file utilities.
#pragma once

#include "store/key_store.h"

#include <string>

namespace testing_support {

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

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

} // namespace testing_support
