// The encoder's unfinished files: temporaries beside each output and a work folder for the pass
// logs, each held by a lock for as long as its encoder lives, and the removal of those that a
// killed encoder left behind.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace enc {

// The temporary name of `final` written by process `pid`: "FINAL.cce-PID.part".
std::string TemporaryName(const std::string& final, pid_t pid);

// A file or folder that this process is writing, locked (flock) while the object lives, so
// that another encoder can tell it from one a killed encoder left. Not copyable; the
// destructor removes what is still held.
class HeldPartial {
public:
    HeldPartial() = default;
    ~HeldPartial();
    HeldPartial(const HeldPartial&) = delete;
    HeldPartial& operator=(const HeldPartial&) = delete;

    // Creates the empty file TemporaryName(final, getpid()) (it must not exist) and locks it.
    // False with the reason in `error`.
    bool CreateFile(const std::string& final, std::string& error);
    // Creates and locks a new work folder "cce-pass-logs-XXXXXX" in `parent`. False with the
    // reason.
    bool CreateFolder(const std::string& parent, std::string& error);

    // The path held, or empty text.
    const std::string& Path() const { return m_Path; }

    // Renames the held file to `final` and lets it go. False with the reason; the file is
    // still held then.
    bool Publish(const std::string& final, std::string& error);
    // Removes the held file or folder (with its content) and lets it go.
    void Remove();

private:
    bool LockNew(const std::string& path, bool folder, std::string& error);
    void Release();

    std::string m_Path;
    bool m_Folder = false;
    int m_Fd = -1;
};

// Removes the temporaries of `final` ("FINAL.cce-PID.part") that no living encoder holds: their
// lock is free (the holder has died, also when its process id is in use again), or, on a file
// system without locks, no process PID exists. Returns the paths removed.
std::vector<std::string> RemoveStaleTemporaries(const std::string& final);

// Removes the work folders ("cce-pass-logs-XXXXXX") of this user in `parent` whose lock is free.
// Returns the paths removed.
std::vector<std::string> RemoveStaleWorkFolders(const std::string& parent);

// The folder for work files: $TMPDIR, else /tmp.
std::string TemporaryFolder();

} // namespace enc
