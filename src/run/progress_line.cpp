#include "run/progress_line.h"

namespace run {

int ParseProgressLine(std::string_view line) {
    constexpr std::string_view kSeparator = "% / ";
    int percent = 0;
    size_t digits = 0;
    while (digits < line.size() && digits < 4 && line[digits] >= '0' && line[digits] <= '9') {
        percent = percent * 10 + (line[digits] - '0');
        ++digits;
    }
    if (digits == 0 || digits > 3 || percent > 100)
        return -1;
    if (line.substr(digits, kSeparator.size()) != kSeparator)
        return -1;
    return percent;
}

} // namespace run
