// The program's key paths below the hive (its string table entries 102, 103 and 106).
#pragma once

namespace store {

inline constexpr const char* kRootPath = "Software\\Pellmoor\\Vantaq";
inline constexpr const char* kJobsPath = "Software\\Pellmoor\\Vantaq\\Jobs";
inline constexpr const char* kTemplatePath = "Software\\Pellmoor\\Vantaq\\template";

// Result codes of a failed load, numbered after the store's messages.
inline constexpr int kErrorOpenKey = 203;    // "Unable to open the Registry Key %s."
inline constexpr int kErrorReadString = 204; // "Unable to read the Registry String %s."

} // namespace store
