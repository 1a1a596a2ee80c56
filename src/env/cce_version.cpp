// Encoder release codes.
#include "env/cce_version.h"

namespace env {

namespace {

struct Release {
    const char* fileVersion;
    int code;
    const char* line;
};

// The lines are the ones users know from earlier releases, the last one included.
const Release kReleases[] = {
    {"2.50.1.0", kCce2_50_1_0, "CCE Version 2.50.1.0 found."},
    {"2.66.1.7", kCce2_66_1_7, "CCE Version 2.66.01.07 found."},
    {"2.67.0.8", kCce2_67_0_8, "CCE Version 2.67.00.08 found."},
    {"2.67.0.9", kCce2_67_0_9, "CCE Version 2.67.00.09 found."},
    {"2.67.0.23", kCce2_67_0_23, "CCE Version 2.66.00.10 found."},
};

} // namespace

std::string NormaliseFileVersion(const std::string& fileVersion) {
    std::string out;
    for (char c : fileVersion) {
        if (c == ',') {
            out.push_back('.');
        } else if (c != ' ') {
            out.push_back(c);
        }
    }
    return out;
}

int CceVersionFromFileVersion(const std::string& fileVersion) {
    std::string normalised = NormaliseFileVersion(fileVersion);
    for (const Release& r : kReleases) {
        if (normalised == r.fileVersion) {
            return r.code;
        }
    }
    return kCceUnsupported;
}

std::string CceVersionLine(int code) {
    for (const Release& r : kReleases) {
        if (r.code == code) {
            return r.line;
        }
    }
    return code == kCceNotFound ? "CCE Executable not found."
                                : "Unknown or unsupported CCE Executable found!";
}

} // namespace env
