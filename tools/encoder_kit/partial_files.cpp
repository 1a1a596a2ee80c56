// The encoder's unfinished files, locked while their encoder lives; removal of those a killed
// encoder left behind.
#include "partial_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace enc {

namespace {

namespace fs = std::filesystem;

// The work folders' full prefix; specific enough that no other program's folder matches.
constexpr const char* kWorkFolderPattern = "cce-pass-logs-";
constexpr size_t kRandomChars = 6; // mkdtemp's XXXXXX

enum class Holder { Alive, Gone, Unknown };

// Whether a live process holds the lock of the open file `fd`. When it does not, this process
// holds it now (until `fd` is closed).
Holder LockHolder(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return Holder::Gone;
    }
    return errno == EWOULDBLOCK ? Holder::Alive : Holder::Unknown;
}

bool SameFile(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

void PauseBriefly() {
    const timespec ms{0, 1000 * 1000};
    nanosleep(&ms, nullptr);
}

// The process id in "BASE.cce-PID.part", or 0 when `name` is no temporary of `base`.
pid_t TemporaryPid(const std::string& name, const std::string& base) {
    const std::string head = base + ".cce-";
    const std::string tail = ".part";
    if (name.size() <= head.size() + tail.size() || name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0) {
        return 0;
    }
    const std::string digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return static_cast<pid_t>(std::atol(digits.c_str()));
}

bool ProcessExists(pid_t pid) {
    return kill(pid, 0) == 0 || errno != ESRCH;
}

// Removes the temporary `path` of process `pid` when no live encoder holds it.
bool RemoveIfStale(const std::string& path, pid_t pid) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool removed = false;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const Holder holder = LockHolder(fd);
        // Without locks on this file system only the process id can tell.
        const bool stale =
            holder == Holder::Gone || (holder == Holder::Unknown && !ProcessExists(pid));
        // Another cleaner may have removed it, and its owner made a new one, meanwhile.
        removed = stale && SameFile(fd, path) && unlink(path.c_str()) == 0;
    }
    close(fd);
    return removed;
}

} // namespace

std::string TemporaryName(const std::string& final, pid_t pid) {
    return final + ".cce-" + std::to_string(pid) + ".part";
}

std::string TemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

HeldPartial::~HeldPartial() {
    Remove();
}

bool HeldPartial::LockNew(const std::string& path, bool folder, std::string& error) {
    const int fd = open(path.c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_WRONLY) | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const Holder holder = LockHolder(fd);
    // A cleaner that locked the new name before this process could removes it; then it is
    // made again. A file system without locks leaves the process id as the only mark.
    if (holder == Holder::Alive || !SameFile(fd, path)) {
        close(fd);
        error.clear();
        return false;
    }
    m_Path = path;
    m_Folder = folder;
    m_Fd = fd;
    return true;
}

bool HeldPartial::CreateFile(const std::string& final, std::string& error) {
    Remove();
    const std::string path = TemporaryName(final, getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            const int openError = errno;
            // A file of an earlier process with this process id, or one a cleaner is about
            // to remove.
            if (openError == EEXIST && attempt < 99) {
                RemoveIfStale(path, getpid());
                PauseBriefly();
                continue;
            }
            error = std::strerror(openError);
            return false;
        }
        close(fd);
        if (LockNew(path, false, error)) {
            return true;
        }
        if (!error.empty()) {
            unlink(path.c_str());
            return false;
        }
        PauseBriefly();
    }
    error = "another process keeps removing " + path;
    return false;
}

bool HeldPartial::CreateFolder(const std::string& parent, std::string& error) {
    Remove();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string pattern = parent + "/" + kWorkFolderPattern + std::string(kRandomChars, 'X');
        if (!mkdtemp(pattern.data())) {
            error = std::strerror(errno);
            return false;
        }
        if (LockNew(pattern, true, error)) {
            return true;
        }
        if (!error.empty()) {
            rmdir(pattern.c_str());
            return false;
        }
    }
    error = "another process keeps removing the new folders in " + parent;
    return false;
}

bool HeldPartial::Publish(const std::string& final, std::string& error) {
    if (std::rename(m_Path.c_str(), final.c_str()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    m_Path.clear();
    Release();
    return true;
}

void HeldPartial::Remove() {
    if (!m_Path.empty()) {
        std::error_code ec;
        if (m_Folder) {
            fs::remove_all(m_Path, ec);
        } else {
            fs::remove(m_Path, ec);
        }
        m_Path.clear();
    }
    Release();
}

void HeldPartial::Release() {
    if (m_Fd >= 0) {
        close(m_Fd);
        m_Fd = -1;
    }
}

std::vector<std::string> RemoveStaleTemporaries(const std::string& final) {
    std::vector<std::string> removed;
    const fs::path target(final);
    const std::string base = target.filename().string();
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (base.empty()) {
        return removed;
    }
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const pid_t pid = TemporaryPid(name, base);
        if (pid > 0 && pid != getpid() && RemoveIfStale(it->path().string(), pid)) {
            removed.push_back(it->path().string());
        }
    }
    return removed;
}

std::vector<std::string> RemoveStaleWorkFolders(const std::string& parent) {
    std::vector<std::string> removed;
    const std::string prefix = kWorkFolderPattern;
    std::error_code ec;
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kRandomChars || name.compare(0, prefix.size(), prefix)) {
            continue;
        }
        const std::string path = it->path().string();
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st {};
        // Another user's folders are theirs to clean; without locks nothing tells.
        if (fstat(fd, &st) == 0 && st.st_uid == getuid() && LockHolder(fd) == Holder::Gone &&
            SameFile(fd, path)) {
            std::error_code removeError;
            fs::remove_all(path, removeError);
            if (!removeError) {
                removed.push_back(path);
            }
        }
        close(fd);
    }
    return removed;
}

} // namespace enc
