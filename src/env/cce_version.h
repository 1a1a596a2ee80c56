// The encoder release codes: from a version resource's "FileVersion" to the code the ECL writer
// and the run test, and the start-up line for each code.
#pragma once

#include <string>

namespace env {

enum CceVersionCode {
    kCceNotFound = 0,
    kCce2_50_1_0 = 1,
    kCce2_66_1_7 = 2,
    kCce2_67_0_8 = 3,
    kCce2_67_0_9 = 4,
    kCce2_67_0_23 = 5,
    kCceUnsupported = 99,
};

// Every "," becomes "." and every blank goes: "2, 66, 1, 7" gives "2.66.1.7".
std::string NormaliseFileVersion(const std::string& fileVersion);

// The code of a "FileVersion" text (normalised first); 99 for any other text, the empty one too.
int CceVersionFromFileVersion(const std::string& fileVersion);

// The start-up log line of a code, e.g. "CCE Version 2.66.01.07 found.".
std::string CceVersionLine(int code);

} // namespace env
