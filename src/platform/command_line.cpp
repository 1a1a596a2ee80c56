// Splitting and quoting command lines by the Microsoft C runtime's rules.
#include "platform/command_line.h"

namespace platform {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = line.size();

    // The program name: quotes group and vanish, backslashes mean nothing special.
    std::string program;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(line[i]))) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else {
            program += line[i];
        }
        ++i;
    }
    args.push_back(std::move(program));

    for (;;) {
        while (i < n && IsBlank(line[i])) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        std::string arg;
        quoted = false;
        while (i < n && (quoted || !IsBlank(line[i]))) {
            size_t slashes = 0;
            while (i < n && line[i] == '\\') {
                ++slashes;
                ++i;
            }
            if (i < n && line[i] == '"') {
                arg.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    arg += '"';
                    ++i;
                } else if (quoted && i + 1 < n && line[i + 1] == '"') {
                    // A doubled quote inside quotes is one literal quote; quoting goes on.
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
                continue;
            }
            arg.append(slashes, '\\');
            if (i < n && (quoted || !IsBlank(line[i]))) {
                arg += line[i];
                ++i;
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string QuoteArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string out = "\"";
    size_t i = 0;
    for (;;) {
        size_t slashes = 0;
        while (i < argument.size() && argument[i] == '\\') {
            ++slashes;
            ++i;
        }
        if (i == argument.size()) {
            // Backslashes before the closing quote must be doubled so it stays a quote.
            out.append(slashes * 2, '\\');
            break;
        }
        if (argument[i] == '"') {
            out.append(slashes * 2 + 1, '\\');
            out += '"';
        } else {
            out.append(slashes, '\\');
            out += argument[i];
        }
        ++i;
    }
    out += '"';
    return out;
}

bool BuildCommandLine(const std::vector<std::string>& argv, std::string& line) {
    if (argv.empty() || argv[0].empty() || argv[0].find('"') != std::string::npos) {
        return false;
    }
    std::string out = "\"" + argv[0] + "\"";
    for (size_t k = 1; k < argv.size(); ++k) {
        out += ' ';
        out += QuoteArgument(argv[k]);
    }
    line = std::move(out);
    return true;
}

} // namespace platform
