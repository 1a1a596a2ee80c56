// The encoder's progress lines, "NN% / TITLE", as the runner passes them on.
#pragma once

#include <string_view>

namespace run {

// The percentage (0 to 100) that `line` reports when it is a progress line: one to three
// decimal digits at its very start, then "% / " and the title (anything, up to the line's end).
// -1 for every other line, including a percentage above 100.
int ParseProgressLine(std::string_view line);

} // namespace run
