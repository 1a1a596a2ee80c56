// Reading and writing keys of .ini files.
#include "env/profile_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace env {

namespace {

std::string Trim(const std::string& s) {
    size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return true;
}

// The section name of a "[name]" line, or false for any other line.
bool SectionOf(const std::string& line, std::string& name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') {
        return false;
    }
    size_t close = t.find(']');
    if (close == std::string::npos) {
        return false;
    }
    name = Trim(t.substr(1, close - 1));
    return true;
}

// The key and value of a "key=value" line, or false for any other line.
bool EntryOf(const std::string& line, std::string& key, std::string& value) {
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

} // namespace

std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& fallback, size_t capacity) {
    std::vector<std::string> lines;
    std::string result = fallback;
    if (ReadLines(path, lines)) {
        bool inSection = false;
        for (const std::string& line : lines) {
            std::string name, k, v;
            if (SectionOf(line, name)) {
                inSection = SameName(name, section);
            } else if (inSection && EntryOf(line, k, v) && SameName(k, key)) {
                if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
                    v = v.substr(1, v.size() - 2);
                }
                result = v;
                break;
            }
        }
    }
    if (capacity == 0) {
        return std::string();
    }
    if (result.size() > capacity - 1) {
        result.resize(capacity - 1);
    }
    return result;
}

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
    std::vector<std::string> lines;
    ReadLines(path, lines);
    std::string entry = key + "=" + value;
    bool inSection = false;
    bool written = false;
    size_t sectionEnd = std::string::npos;
    for (size_t i = 0; i < lines.size() && !written; ++i) {
        std::string name, k, v;
        if (SectionOf(lines[i], name)) {
            if (inSection) {
                break;
            }
            inSection = SameName(name, section);
            if (inSection) {
                sectionEnd = i + 1;
            }
        } else if (inSection) {
            if (EntryOf(lines[i], k, v) && SameName(k, key)) {
                lines[i] = entry;
                written = true;
            } else if (!Trim(lines[i]).empty()) {
                sectionEnd = i + 1;
            }
        }
    }
    if (!written) {
        if (sectionEnd == std::string::npos) {
            lines.push_back("[" + section + "]");
            lines.push_back(entry);
        } else {
            lines.insert(lines.begin() + static_cast<long>(sectionEnd), entry);
        }
    }
    std::ostringstream text;
    for (const std::string& line : lines) {
        text << line << "\r\n";
    }
    // Write beside the file and rename, so a reader never sees half a file.
    std::string temp = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text.str();
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace env
