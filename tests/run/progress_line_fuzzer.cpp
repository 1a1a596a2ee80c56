// libFuzzer target: the encoder's progress lines. Any line reads as -1 or as the percentage its
// leading digits spell, and only when "% / " follows them.
#include "run/progress_line.h"
#include "support/fuzz_support.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    int percent = run::ParseProgressLine(line);
    fuzz_support::Check(percent >= -1 && percent <= 100, "a percentage or -1");
    if (percent >= 0) {
        size_t digits = 0;
        int value = 0;
        while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') {
            value = value * 10 + (line[digits] - '0');
            ++digits;
        }
        fuzz_support::Check(digits >= 1 && digits <= 3, "one to three digits");
        fuzz_support::Check(value == percent, "the digits' value");
        fuzz_support::Check(line.substr(digits, 4) == "% / ", "\"% / \" after the digits");
    }
    return 0;
}
