// Chapter times for DVD authoring.
#include "chapters/authoring_chapters.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace chapters {

namespace {

// The frame number of a chapter entry, or -1 when it is none.
int64_t EntryFrame(const std::string& entry) {
    std::string t = entry;
    while (!t.empty() && (t.back() == ':' || t.back() == ' ')) {
        t.pop_back();
    }
    const size_t start = t.find_first_not_of(' ');
    if (start == std::string::npos) {
        return -1;
    }
    t = t.substr(start);
    char* end = nullptr;
    errno = 0;
    const long long frame = std::strtoll(t.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || frame < 0) {
        return -1;
    }
    return frame;
}

std::string TimeText(int64_t milliseconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(milliseconds / 3600000),
                  static_cast<long long>(milliseconds / 60000 % 60),
                  static_cast<long long>(milliseconds / 1000 % 60),
                  static_cast<long long>(milliseconds % 1000));
    return text;
}

} // namespace

std::string AuthoringChapterTimes(const std::vector<std::string>& entries, int64_t first,
                                  int64_t end, int rateNum, int rateDen) {
    if (rateNum <= 0 || rateDen <= 0 || end <= first || first < 0) {
        return std::string();
    }
    std::vector<int64_t> offsets{0};
    for (const std::string& entry : entries) {
        const int64_t frame = EntryFrame(entry);
        if (frame >= first && frame < end) {
            offsets.push_back(frame - first);
        }
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    std::string times;
    for (int64_t offset : offsets) {
        // Whole milliseconds, rounded up: offset x den x 1000 / num, in integers.
        const int64_t scaled = offset * rateDen * 1000;
        const int64_t ms = (scaled + rateNum - 1) / rateNum;
        times += (times.empty() ? "" : ",") + TimeText(ms);
    }
    return times;
}

std::string AuthoringChaptersPath(const std::string& streamPath) {
    return streamPath + kAuthoringChaptersSuffix;
}

bool WriteAuthoringChapters(const std::string& streamPath, const std::string& times,
                            std::string& error) {
    const std::string path = AuthoringChaptersPath(streamPath);
    const std::string temp = path + ".part-" + std::to_string(getpid());
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = "cannot write " + temp + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = times + "\n";
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int writeErrno = errno;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        error = "cannot write " + temp + ": " + std::strerror(writeErrno ? writeErrno : errno);
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + temp + " to " + path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace chapters
