// Reading and writing keys of .ini files ("[section]" and "key=value" lines).
#include "env/profile_file.h"

#include "platform/files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace env {

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) {
        ++b;
    }
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) {
        --e;
    }
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// A section line gives its name; anything else gives false.
bool SectionName(const std::string& line, std::string& name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') {
        return false;
    }
    name = Trim(t.substr(1, t.size() - 2));
    return true;
}

// A key line gives its trimmed key and value.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';') {
        return false;
    }
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
        return false;
    }
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    return true;
}

// A configuration file is a few lines; anything far larger is not one.
constexpr uint64_t kMaxProfileSize = 16u << 20;

bool ReadLines(const std::string& path, std::vector<std::string>& lines, bool& crlf) {
    // Only a regular file is read: a FIFO in its place would hold the caller until a writer came.
    platform::ReadOnlyFile in;
    std::string text;
    if (!in.Open(path) || in.Size() > kMaxProfileSize || !in.ReadAt(0, in.Size(), text)) {
        return false;
    }
    std::istringstream stream(text);
    std::string line;
    crlf = false;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            crlf = true;
        }
        lines.push_back(line);
    }
    return true;
}

} // namespace

bool ReadProfileString(const std::string& path, const std::string& section, const std::string& key,
                       std::string& value) {
    std::vector<std::string> lines;
    bool crlf = false;
    if (!ReadLines(path, lines, crlf)) {
        return false;
    }
    bool inSection = false;
    for (const std::string& line : lines) {
        std::string name;
        std::string k;
        std::string v;
        if (SectionName(line, name)) {
            inSection = SameName(name, section);
        } else if (inSection && KeyValue(line, k, v) && SameName(k, key)) {
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
                v = v.substr(1, v.size() - 2);
            }
            value = v;
            return true;
        }
    }
    return false;
}

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value, std::string& error) {
    if (value.find_first_of("\r\n") != std::string::npos ||
        key.find_first_of("\r\n=") != std::string::npos) {
        error = "a profile value cannot hold a line break";
        return false;
    }
    if (path.empty()) {
        error = "no configuration file";
        return false;
    }
    std::vector<std::string> lines;
    bool crlf = true; // a new file gets the platform's text line ends
    if (access(path.c_str(), F_OK) == 0 && !ReadLines(path, lines, crlf)) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string newLine = key + "=" + value;
    bool inSection = false;
    bool done = false;
    size_t sectionEnd = std::string::npos; // index after the last line of our section
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        std::string name;
        std::string k;
        std::string v;
        if (SectionName(lines[i], name)) {
            inSection = SameName(name, section);
            if (inSection) {
                sectionEnd = i + 1;
            }
        } else if (inSection) {
            if (KeyValue(lines[i], k, v) && SameName(k, key)) {
                lines[i] = newLine;
                done = true;
            } else if (!Trim(lines[i]).empty()) {
                sectionEnd = i + 1;
            }
        }
    }
    if (!done) {
        if (sectionEnd == std::string::npos) {
            lines.push_back("[" + section + "]");
            lines.push_back(newLine);
        } else {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), newLine);
        }
    }
    std::string text;
    for (const std::string& l : lines) {
        text += l;
        text += crlf ? "\r\n" : "\n";
    }
    const std::string temp = path + ".tmp-" + std::to_string(getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            error = "cannot write " + temp + ": " + std::strerror(errno);
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& fallback, size_t capacity) {
    std::string result = fallback;
    ReadProfileString(path, section, key, result);
    if (capacity == 0) {
        return std::string();
    }
    if (result.size() > capacity - 1) {
        result.resize(capacity - 1);
    }
    return result;
}

} // namespace env
