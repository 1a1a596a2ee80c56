// libFuzzer target: profile (.ini) files. The first byte picks a section and a key; the rest is
// the file. Reading never fails on content, and a key written reads back as written while the
// file keeps its other lines.
#include "env/profile_file.h"
#include "support/fuzz_support.h"

#include <string>

namespace {

// The names the programs ask for are their own constants, never taken from a file: the file is
// the outside input.
const char* const kSections[] = {"EclCCE", "eclcce", "Other", "Two Words"};
const char* const kKeys[] = {"CCE", "cce", "Priority", "Long Key"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t pick = size > 0 ? data[0] : 0;
    if (size > 0) {
        ++data;
        --size;
    }
    std::string section = kSections[pick & 3];
    std::string key = kKeys[(pick >> 2) & 3];
    std::string path = fuzz_support::WriteInput("profile.ini", data, size);

    std::string before = "unset";
    bool had = env::ReadProfileString(path, section, key, before);
    std::string cut = env::GetProfileString(path, section, key, "fallback", 8);
    fuzz_support::Check(cut.size() <= 7, "a value fits its buffer");
    if (had) {
        // Lines end at LF; a CR inside a line (not at its end) stays part of the value.
        fuzz_support::Check(before.find('\n') == std::string::npos &&
                                (before.empty() || before.back() != '\r'),
                            "a value holds no line end");
    }

    std::string error;
    if (env::WriteProfileString(path, section, key, "fuzz-value", error)) {
        std::string after;
        fuzz_support::Check(env::ReadProfileString(path, section, key, after) &&
                                after == "fuzz-value",
                            "a written key reads back");
    } else {
        fuzz_support::Check(!error.empty(), "a refused write has a reason");
    }
    return 0;
}
