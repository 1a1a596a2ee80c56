// Real faults under a store: a small disk that fills up, a folder on a read-only mount, and
// another process holding the store's write lock.
#pragma once

#include "support/test_support.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

// A tmpfs of `bytes` mounted on a scratch folder. Mounting needs the right to (root in CI);
// without it Mounted() is false and Reason() says why, for GTEST_SKIP.
class SmallDisk {
public:
    explicit SmallDisk(size_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return m_Mounted; }
    const std::string& Reason() const { return m_Reason; }
    std::string File(const std::string& name) const { return m_Dir.File(name); }
    // Writes a filler file until the disk is full; Free() removes it again.
    bool Fill();
    void Free();

private:
    TempDir m_Dir;
    bool m_Mounted = false;
    std::string m_Reason;
};

// `folder` mounted read-only onto itself while the object lives: nobody, root included, can
// create or change files in it; what it held stays readable (and executable). Needs the right to
// mount, like SmallDisk; without it Mounted() is false and Reason() says why.
class ReadOnlyMount {
public:
    explicit ReadOnlyMount(std::string folder);
    ~ReadOnlyMount();
    ReadOnlyMount(const ReadOnlyMount&) = delete;
    ReadOnlyMount& operator=(const ReadOnlyMount&) = delete;

    bool Mounted() const { return m_Mounted; }
    const std::string& Reason() const { return m_Reason; }

private:
    std::string m_Folder;
    bool m_Mounted = false;
    std::string m_Reason;
};

// The sqlite3 program on `storePath`, holding the write lock (BEGIN IMMEDIATE) from Hold() until
// Release() or the end of the object.
class LockHolder {
public:
    explicit LockHolder(std::string storePath) : m_Path(std::move(storePath)) {}
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    // True once the other process has the lock.
    bool Hold();
    void Release();

private:
    std::string m_Path;
    pid_t m_Pid = -1;
    int m_Input = -1;
};

// Runs `argv` (argv[0] found on PATH) to its end with `input` on its standard input; returns
// its exit status (-1 when it could not run) and its standard output and error in `output`.
int RunProgram(const std::vector<std::string>& argv, const std::string& input, std::string& output);

} // namespace testing_support
