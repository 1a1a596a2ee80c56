// A full small disk, a read-only mount and a second process holding the store's lock, for the
// fault tests.
#include "support/store_faults.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace testing_support {

namespace {

// Starts `argv` with pipes on its standard input and output (error joins output).
pid_t Spawn(const std::vector<std::string>& argv, int& input, int& output) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
        return -1;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    input = in[1];
    output = out[0];
    return pid;
}

// Reads until `marker` has been seen or the output ends.
bool ReadUntil(int fd, const std::string& marker, std::string& seen) {
    char buffer[512];
    while (seen.find(marker) == std::string::npos) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        seen.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

} // namespace

SmallDisk::SmallDisk(size_t bytes) {
    std::string options = "size=" + std::to_string(bytes);
    if (mount("tmpfs", m_Dir.Path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
        m_Reason = "cannot mount a small tmpfs here (" + std::string(std::strerror(errno)) + ")";
        return;
    }
    m_Mounted = true;
}

SmallDisk::~SmallDisk() {
    if (m_Mounted) {
        umount2(m_Dir.Path().c_str(), MNT_DETACH);
    }
}

bool SmallDisk::Fill() {
    int fd = open(File("filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    std::vector<char> block(4096, 'f');
    bool full = false;
    // Whole pages first, then single bytes for whatever is left.
    for (size_t size : {block.size(), size_t{1}}) {
        for (;;) {
            ssize_t n = write(fd, block.data(), size);
            if (n < 0 && errno == ENOSPC) {
                full = true;
                break;
            }
            if (n <= 0) {
                close(fd);
                return false;
            }
        }
    }
    close(fd);
    return full;
}

void SmallDisk::Free() {
    unlink(File("filler").c_str());
}

ReadOnlyMount::ReadOnlyMount(std::string folder) : m_Folder(std::move(folder)) {
    // A bind mount takes its flags only on a second, remounting call.
    if (mount(m_Folder.c_str(), m_Folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        m_Reason = "cannot bind-mount a folder here (" + std::string(std::strerror(errno)) + ")";
        return;
    }
    if (mount(nullptr, m_Folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        m_Reason = "cannot make a bind mount read-only (" + std::string(std::strerror(errno)) + ")";
        umount2(m_Folder.c_str(), MNT_DETACH);
        return;
    }
    m_Mounted = true;
}

ReadOnlyMount::~ReadOnlyMount() {
    if (m_Mounted) {
        umount2(m_Folder.c_str(), MNT_DETACH);
    }
}

bool LockHolder::Hold() {
    int output = -1;
    m_Pid = Spawn({"sqlite3", m_Path}, m_Input, output);
    if (m_Pid < 0) {
        return false;
    }
    const std::string script = "BEGIN IMMEDIATE;\n.print holding\n";
    bool ok = write(m_Input, script.data(), script.size()) == static_cast<ssize_t>(script.size());
    std::string seen;
    ok = ok && ReadUntil(output, "holding", seen);
    close(output);
    return ok;
}

void LockHolder::Release() {
    if (m_Input >= 0) {
        close(m_Input); // end of input: sqlite3 rolls back and exits
        m_Input = -1;
    }
    if (m_Pid > 0) {
        int status = 0;
        waitpid(m_Pid, &status, 0);
        m_Pid = -1;
    }
}

int RunProgram(const std::vector<std::string>& argv, const std::string& input,
               std::string& output) {
    int in = -1;
    int out = -1;
    pid_t pid = Spawn(argv, in, out);
    if (pid < 0) {
        return -1;
    }
    signal(SIGPIPE, SIG_IGN);
    (void)!write(in, input.data(), input.size());
    close(in);
    ReadUntil(out, std::string(1, '\0'), output);
    close(out);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace testing_support
