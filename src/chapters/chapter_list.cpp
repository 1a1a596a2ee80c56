// Chapter information files: finding one beside a source, reading it into a chapter list, and
// the NTSC-to-film frame conversion.
#include "chapters/chapter_list.h"

#include "log/log.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace chapters {

namespace {

// Every occurrence of `from` replaced by `to`, scanning once from the left; replaced text is
// not scanned again.
std::string ReplaceAll(const std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    size_t pos = 0;
    while (true) {
        size_t hit = text.find(from, pos);
        if (hit == std::string::npos) {
            out.append(text, pos, std::string::npos);
            return out;
        }
        out.append(text, pos, hit - pos);
        out.append(to);
        pos = hit + from.size();
    }
}

// The non-empty pieces of `text` between separators `sep` (runs of separators count as one).
std::vector<std::string> Tokens(const std::string& text, char sep) {
    std::vector<std::string> pieces;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(sep, pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > pos) {
            pieces.push_back(text.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return pieces;
}

std::string Trim(const std::string& text, std::string_view chars) {
    size_t first = text.find_first_not_of(chars);
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = text.find_last_not_of(chars);
    return text.substr(first, last - first + 1);
}

std::string WithoutLineBreaks(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\r' && c != '\n') {
            out.push_back(c);
        }
    }
    return out;
}

// Reads the whole regular file at `path` of at most `limit` bytes. False when it cannot.
bool ReadSmallFile(const std::string& path, size_t limit, std::string& bytes) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return false;
    }
    std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > limit) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    bytes.clear();
    char buffer[4096];
    size_t got = 0;
    bool ok = true;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, got);
        if (bytes.size() > limit) {
            ok = false; // grew while being read
            break;
        }
    }
    ok = ok && std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

} // namespace

int ReadLeadingInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (text[i] - '0');
        }
        ++i;
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

int NtscToFilmFrame(int frame) {
    return static_cast<int>(frame * 0.8);
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FindChapterInfoFile(const std::string& sourcePath) {
    std::string source = ReplaceAll(sourcePath, "\"", "");
    std::string name = FileNameOf(source);
    if (name.empty()) {
        return std::string();
    }
    std::string folder = source.substr(0, source.size() - name.size());
    name = ReplaceAll(name, "__", "_");
    size_t dot = name.find('.');
    std::string base = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    base = ReplaceAll(base, "_P", "_PGC_");
    base = ReplaceAll(base, "A", "_ANGLE_");
    std::string candidate = folder + base + kChapterInfoSuffix;
    std::error_code ec;
    return std::filesystem::is_regular_file(candidate, ec) ? candidate : std::string();
}

bool FitChapterList(std::string& list) {
    if (list.size() <= kMaxChapterListLength) {
        return false;
    }
    // Keep the entries that end before the limit, with the comma after the last of them, so
    // that the cut looks like the list of a shorter file.
    size_t comma = list.rfind(',', kMaxChapterListLength - 1);
    list.resize(comma == std::string::npos ? 0 : comma + 1);
    return true;
}

std::string ReadChapterList(const std::string& path, bool convertToFilm, logging::Log& log) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return std::string();
    }
    std::string text;
    if (!ReadSmallFile(path, kMaxChapterFileSize, text)) {
        log("ERROR: Could not read the chapter file " + path, logging::kLogError);
        return std::string();
    }
    std::vector<std::string> lines = Tokens(text, '\n');
    log("Chapter file lines: " + std::to_string(lines.size()), logging::kLogDebug);

    std::string list;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> pieces = Tokens(lines[i], '=');
        std::string value = pieces.size() >= 2 ? Trim(pieces[1], ";:\r\n") : std::string();
        int frame = ReadLeadingInt(value);
        if (frame < 0) {
            continue;
        }
        if (convertToFilm) {
            value = std::to_string(NtscToFilmFrame(frame));
        }
        // A CR inside a value would end a line of the control list written from it.
        list += WithoutLineBreaks(value);
        if (i + 1 != lines.size()) {
            list += ",";
        }
    }
    if (FitChapterList(list)) {
        log("WARNING: The chapter list of " + FileNameOf(path) + " is longer than " +
                std::to_string(kMaxChapterListLength) +
                " characters; the last entries are left out",
            logging::kLogWarning);
    }
    return list;
}

} // namespace chapters
