// Writes whole lines to the standard streams; a broken stream is dropped, not fatal.
#include "line_output.h"

#include <cerrno>
#include <unistd.h>

namespace enc {

namespace {

bool g_Broken[3] = {false, false, false};

} // namespace

bool WriteLine(int fd, const std::string& line) {
    if (fd < 0 || fd > 2 || g_Broken[fd]) {
        return false;
    }
    const std::string bytes = line + "\n";
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // The reader went away (EPIPE), or the stream is closed or unusable.
            g_Broken[fd] = true;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool Say(const std::string& line) {
    return WriteLine(1, line);
}

bool SayError(const std::string& line) {
    return WriteLine(2, line);
}

} // namespace enc
