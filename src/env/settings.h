// The global settings: their values in the store, the window's in-memory copies, the output
// folder rule, and the loads at start-up and after the settings dialog.
#pragma once

#include <cstddef>
#include <limits>
#include <string>

namespace store {
class KeyStore;
}
namespace logging {
class Log;
}

namespace env {

// Value names in the root key.
inline constexpr const char* kDeleteMpv = "DeleteMPV";
inline constexpr const char* kAutoBias = "AutoBias";
inline constexpr const char* kCcePriority = "CCEPriority";
inline constexpr const char* kHideCceWindow = "HideCCEWindow";
inline constexpr const char* kEnableLogging = "EnableLogging";
inline constexpr const char* kOutputSameDir = "OutputSameDir";
inline constexpr const char* kOutputDirectory = "OutputDirectory";

// Capacities of "OutputDirectory": the window's copy, and the settings dialog's field. A path
// is used whole, however long.
inline constexpr size_t kOutputDirectoryCapacity = std::numeric_limits<size_t>::max();
inline constexpr size_t kOutputDirectoryDialogCapacity = kOutputDirectoryCapacity;

// The main window's copies; a flag is on only when its stored value is exactly 1.
struct Settings {
    bool m_DeleteMpv = false;
    bool m_AutoBias = false;
    int m_CcePriority = 0;
    int m_HideCceWindow = 0;
    bool m_EnableLogging = false;
    bool m_OutputSameDir = true;
    std::string m_OutputDirectory;
};

// The folder for the outputs of `sourcePath`: the source's own folder (no trailing separator;
// "." for a bare file name) when OutputSameDir is on or no directory is set, else the directory.
std::string OutputFolder(const Settings& settings, const std::string& sourcePath);

// "EnableLogging" reads exactly 1.
bool ReadEnableLogging(store::KeyStore& store);

// The start-up load of the five flags and the output directory, with the warning and note
// lines of each missing value and its default. Returns true when any default was used.
bool LoadSettingsAtStartup(store::KeyStore& store, logging::Log& log, Settings& settings);

// The reload after the settings dialog's OK: each unreadable value gets its error line.
void ReloadSettings(store::KeyStore& store, logging::Log& log, Settings& settings);

} // namespace env
