// Read-only files with pread, the program's path from /proc, loaded modules from the loader.
#include "platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace platform {

ReadOnlyFile::~ReadOnlyFile() {
    if (m_Fd >= 0) {
        close(m_Fd);
    }
}

bool ReadOnlyFile::Open(const std::string& path) {
    if (m_Fd >= 0) {
        close(m_Fd);
        m_Fd = -1;
    }
    // Without O_NONBLOCK, opening a FIFO would wait for a writer before any check.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    m_Fd = fd;
    m_Size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool ReadOnlyFile::ReadAt(uint64_t offset, uint64_t size, std::string& bytes) const {
    if (m_Fd < 0 || offset > m_Size || size > m_Size - offset) {
        return false;
    }
    bytes.resize(size);
    uint64_t done = 0;
    while (done < size) {
        ssize_t n =
            pread(m_Fd, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<uint64_t>(n);
    }
    return true;
}

std::FILE* CreateRegularFile(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    // Opened without truncating and without waiting, checked, and only then emptied.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ftruncate(fd, 0) != 0 || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        close(fd);
    }
    return file;
}

bool RegularFileFacts(const std::string& path, FileFacts& facts) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    facts.size = static_cast<uint64_t>(st.st_size);
    facts.modified = static_cast<int64_t>(st.st_mtime);
    return true;
}

std::string ProgramFilePath() {
    std::vector<char> buffer(4096);
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) {
        return std::string();
    }
    return std::string(buffer.data(), static_cast<size_t>(n));
}

namespace {

std::string LastComponent(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Matches(const std::string& modulePath, const std::string& name) {
    if (modulePath.empty()) {
        return false;
    }
    return name.find('/') != std::string::npos ? modulePath == name
                                               : LastComponent(modulePath) == name;
}

} // namespace

bool LoadedModulePath(const std::string& name, std::string& path) {
    if (name.empty()) {
        return false;
    }
    std::string program = ProgramFilePath();
    if (Matches(program, name)) {
        path = program;
        return true;
    }
    struct Search {
        const std::string* name;
        std::string found;
    } search{&name, std::string()};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            auto* s = static_cast<Search*>(data);
            std::string modulePath = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (Matches(modulePath, *s->name)) {
                s->found = modulePath;
                return 1;
            }
            return 0;
        },
        &search);
    if (search.found.empty()) {
        return false;
    }
    path = search.found;
    return true;
}

} // namespace platform
