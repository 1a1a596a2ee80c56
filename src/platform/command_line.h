// Command lines as one string: splitting into arguments and quoting arguments, by the rules of
// the Microsoft C runtime, so that a command line means the same on every platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits `line` into its arguments. The first argument (the program) ends at the first blank or
// tab outside double quotes; its quotes only group and are dropped, backslashes are plain.
// Every later argument follows the runtime's rules: blanks and tabs outside quotes separate
// arguments; a double quote toggles quoting; inside quotes two double quotes give one literal
// quote; 2n backslashes before a quote give n backslashes and the quote acts as above, 2n+1
// give n backslashes and a literal quote; other backslashes are plain. An unterminated quote
// runs to the end. A line that is empty or begins with a blank gives an empty program name.
// Never fails; bytes other than blank, tab, quote and backslash pass through unchanged.
std::vector<std::string> SplitCommandLine(std::string_view line);

// One argument (not the program) written so that SplitCommandLine gives it back unchanged:
// as it is when it holds no blank, tab, newline or quote and is not empty, else quoted with the
// necessary backslashes.
std::string QuoteArgument(std::string_view argument);

// Joins `argv` into a command line that SplitCommandLine turns back into `argv`. Fails (false,
// `line` untouched) when `argv` is empty or the program name is empty or holds a double quote,
// which no command line can carry.
bool BuildCommandLine(const std::vector<std::string>& argv, std::string& line);

} // namespace platform
