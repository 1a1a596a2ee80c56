// Names of the files that live beside a program: its log, help file and configuration.
#pragma once

#include <string>

namespace platform {

// The program's path with its ending ".exe" replaced by `extension` (".log", ".ini", ".chm"),
// or with `extension` appended where the path does not end in ".exe". Never the program itself;
// empty for an empty path.
std::string DeriveProgramFile(const std::string& programPath, const std::string& extension);

} // namespace platform
