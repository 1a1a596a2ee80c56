// Parsing the start-up command line.
#include "app/command_line.h"

#include <cctype>

namespace app {

void CommandLineOptions::Store(std::string key, std::string value) {
    if (key.empty()) {
        return;
    }
    for (char& c : key) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    m_Options.emplace(std::move(key), std::move(value));
}

std::string CommandLineOptions::Value(const std::string& key) const {
    auto it = m_Options.find(key);
    return it == m_Options.end() ? std::string() : it->second;
}

void CommandLineOptions::Parse(const std::string& line) {
    size_t c = 0;
    while (true) {
        size_t sw = line.find_first_of("-/", c);
        if (sw == std::string::npos || sw + 1 >= line.size()) {
            return;
        }
        size_t keyStart = sw + 1;
        size_t delim = line.find_first_of(" :", keyStart);
        if (delim == std::string::npos) {
            Store(line.substr(keyStart), std::string());
            return;
        }
        std::string key = line.substr(keyStart, delim - keyStart);
        if (line[delim] == ' ' || delim + 1 == line.size()) {
            Store(key, std::string());
            c = delim + 1;
            continue;
        }
        size_t valueStart = delim + 1;
        size_t end;
        if (line[valueStart] == '"') {
            ++valueStart;
            end = line.find('"', valueStart);
        } else {
            end = line.find(' ', valueStart);
        }
        if (end == std::string::npos) {
            Store(key, line.substr(valueStart));
            return;
        }
        Store(key, line.substr(valueStart, end - valueStart));
        c = end + 1;
    }
}

void CommandLineOptions::ParseArguments(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        size_t c = 0;
        while (true) {
            size_t sw = argument.find_first_of("-/", c);
            if (sw == std::string::npos || sw + 1 >= argument.size()) {
                break;
            }
            size_t keyStart = sw + 1;
            size_t delim = argument.find_first_of(" :", keyStart);
            if (delim == std::string::npos) {
                Store(argument.substr(keyStart), std::string());
                break;
            }
            std::string key = argument.substr(keyStart, delim - keyStart);
            if (argument[delim] == ' ') {
                Store(key, std::string());
                c = delim + 1;
                continue;
            }
            // The system has already split the arguments: the value is all that follows.
            std::string value = argument.substr(delim + 1);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            Store(key, value);
            break;
        }
    }
}

} // namespace app
