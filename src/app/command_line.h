// The start-up command line: switches after "-" or "/", values after ":", keys lower-cased.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace app {

// Start-up keywords that the program acts on.
inline constexpr const char* kKeyClear = "clear";
inline constexpr const char* kKeySource = "source";
inline constexpr const char* kKeyStart = "start";
inline constexpr const char* kKeyMinimize = "minimize";
inline constexpr const char* kKeyExit = "exit";
inline constexpr const char* kKeyDeleteMpv = "deletempv";

class CommandLineOptions {
public:
    // Parses the whole line, program path included. A key seen again keeps its first value.
    void Parse(const std::string& line);
    // Parses the program's arguments as the system hands them over (the program path is not
    // one of them), each by the same grammar, except that a value after ":" is the rest of its
    // argument, blanks and quotes included; one pair of quotes around all of it is dropped.
    void ParseArguments(const std::vector<std::string>& arguments);

    // Adds a keyword as if it had been on the line (a key seen before keeps its value).
    void Add(const std::string& key, const std::string& value) { Store(key, value); }
    bool Has(const std::string& key) const { return m_Options.count(key) != 0; }
    // The value of `key`, empty when absent or given without one.
    std::string Value(const std::string& key) const;
    const std::map<std::string, std::string>& All() const { return m_Options; }

private:
    void Store(std::string key, std::string value);

    std::map<std::string, std::string> m_Options;
};

} // namespace app
