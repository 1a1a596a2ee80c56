// The store's lock file, locked with flock().
#include "platform/instance_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

namespace platform {

InstanceLock::~InstanceLock() {
    if (m_Fd >= 0) {
        close(m_Fd);
    }
}

std::string InstanceLock::LockFilePath(const std::string& storePath) {
    return storePath + ".lock";
}

InstanceLock::Result InstanceLock::Take(const std::string& storePath, std::string& error) {
    std::error_code ignored;
    std::filesystem::path folder = std::filesystem::path(storePath).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ignored);
    }
    std::string path = LockFilePath(storePath);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return kFailed;
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        int failure = errno;
        close(fd);
        if (failure == EWOULDBLOCK) {
            return kHeldElsewhere;
        }
        error = path + ": " + std::strerror(failure);
        return kFailed;
    }
    if (m_Fd >= 0) {
        close(m_Fd);
    }
    m_Fd = fd;
    return kTaken;
}

} // namespace platform
