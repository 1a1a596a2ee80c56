// A child program for the process runner's tests: each mode writes a known pattern.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

// Turns the escapes \n, \r, \0, \\ of an argument into bytes.
std::string Unescape(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\\' && p[1] != '\0') {
            ++p;
            out += *p == 'n' ? '\n' : *p == 'r' ? '\r' : *p == '0' ? '\0' : *p;
        } else {
            out += *p;
        }
    }
    return out;
}

void Pause() {
    usleep(30 * 1000);
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    // Started under the name "list-fds" (a link), it lists its descriptors whatever its
    // arguments: it then stands in for a program that is given other arguments.
    const char* name = std::strrchr(argv[0], '/');
    if (std::strcmp(name ? name + 1 : argv[0], "list-fds") == 0) {
        mode = "fds";
    }
    if (mode == "args") {
        // One line per argument after the mode, bracketed so blanks stay visible.
        for (int i = 2; i < argc; ++i) {
            WriteAll(1, "[" + std::string(argv[i]) + "]\n");
        }
    } else if (mode == "chunks") {
        // Each argument is written by its own call, with a pause between, to stdout or, when
        // it begins with "2:", to stderr.
        for (int i = 2; i < argc; ++i) {
            bool toStderr = std::strncmp(argv[i], "2:", 2) == 0;
            WriteAll(toStderr ? 2 : 1, Unescape(argv[i] + (toStderr ? 2 : 0)));
            Pause();
        }
    } else if (mode == "long") {
        // A line of N letters, then an unterminated tail.
        long n = argc > 2 ? std::atol(argv[2]) : 0;
        WriteAll(1, std::string(static_cast<size_t>(n), 'x') + "\nend");
    } else if (mode == "grandchild") {
        // The child ends at once; a grandchild keeps the inherited pipe for MS milliseconds.
        long ms = argc > 2 ? std::atol(argv[2]) : 300;
        if (fork() == 0) {
            usleep(static_cast<useconds_t>(ms) * 1000);
            WriteAll(1, "grandchild done\n");
            _exit(0);
        }
        WriteAll(1, "child done\n");
    } else if (mode == "fds") {
        // Every open descriptor, except the one reading the folder.
        DIR* dir = opendir("/proc/self/fd");
        if (dir == nullptr) {
            return 2;
        }
        int own = dirfd(dir);
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] != '.' && std::atoi(e->d_name) != own) {
                WriteAll(1, std::string("fd ") + e->d_name + "\n");
            }
        }
        closedir(dir);
    } else if (mode == "stdin") {
        char buffer[64];
        ssize_t n = read(0, buffer, sizeof buffer);
        WriteAll(1, "stdin " + std::to_string(n) + "\n");
    } else if (mode == "killed") {
        WriteAll(1, "partial");
        kill(getpid(), SIGKILL);
    } else if (mode == "quiet") {
        // Closes its output and goes on running for a while.
        close(1);
        close(2);
        usleep(200 * 1000);
    } else {
        WriteAll(2, "unknown mode\n");
        return 1;
    }
    return 0;
}
