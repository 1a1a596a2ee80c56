// Files derived from a program's path.
#include "platform/program_files.h"

namespace platform {

std::string DeriveProgramFile(const std::string& programPath, const std::string& extension) {
    static const std::string kExe = ".exe";
    // An unknown program has no files beside it (never a bare name in the current folder).
    if (programPath.empty()) {
        return std::string();
    }
    if (programPath.size() > kExe.size() &&
        programPath.compare(programPath.size() - kExe.size(), kExe.size(), kExe) == 0) {
        // A bare ".exe" is a file name of its own, not an ending.
        char before = programPath[programPath.size() - kExe.size() - 1];
        if (before != '/' && before != '\\') {
            return programPath.substr(0, programPath.size() - kExe.size()) + extension;
        }
    }
    return programPath + extension;
}

} // namespace platform
