// Loading the global settings into the window's copies.
#include "env/settings.h"

#include "log/log.h"
#include "store/key_store.h"
#include "store/paths.h"

using logging::kLogError;
using logging::kLogInfo;
using store::Access;
using store::kHive;

namespace env {

namespace {

bool ReadRoot(store::KeyStore& store, store::Key root, const char* name, int& value) {
    uint32_t n = 0;
    if (!store.ReadNumber(root, "", name, n)) {
        return false;
    }
    value = static_cast<int>(n);
    return true;
}

} // namespace

std::string OutputFolder(const Settings& settings, const std::string& sourcePath) {
    if (settings.m_OutputSameDir || settings.m_OutputDirectory.empty()) {
        size_t slash = sourcePath.rfind('/');
        if (slash == std::string::npos) {
            return ".";
        }
        return sourcePath.substr(0, slash);
    }
    return settings.m_OutputDirectory;
}

bool ReadEnableLogging(store::KeyStore& store) {
    uint32_t n = 0;
    return store.ReadNumber(kHive, store::kRootPath, kEnableLogging, n) && n == 1;
}

bool LoadSettingsAtStartup(store::KeyStore& store, logging::Log& log, Settings& s) {
    store::Key root = store.OpenKey(kHive, store::kRootPath, Access::Read);
    bool defaultsUsed = false;
    int value = 0;
    auto missing = [&](const char* warning, const char* note) {
        log.Write(warning, kLogError);
        log.Write(note, kLogInfo);
        defaultsUsed = true;
    };
    if (ReadRoot(store, root, kDeleteMpv, value)) {
        s.m_DeleteMpv = value == 1;
    } else {
        missing("WARNING: Could not retreive the DeleteMPV value from the registry.",
                "Setting DeleteMPV value to false.");
        s.m_DeleteMpv = false;
    }
    if (ReadRoot(store, root, kAutoBias, value)) {
        s.m_AutoBias = value == 1;
    } else {
        missing("WARNING: Could not retreive the AutoBias value from the registry.",
                "Setting AutoBias value to false.");
        s.m_AutoBias = false;
    }
    if (ReadRoot(store, root, kCcePriority, value)) {
        s.m_CcePriority = value;
    } else {
        missing("WARNING: Could not retreive the CCE Priority value from the registry.",
                "Setting CCE priority value to Normal.");
        s.m_CcePriority = 0;
    }
    if (ReadRoot(store, root, kHideCceWindow, value)) {
        s.m_HideCceWindow = value;
    } else {
        missing("WARNING: Could not retreive the Hide CCE Window value from the registry.",
                "Setting Hide CCE Window value to false.");
        s.m_HideCceWindow = 0;
    }
    if (ReadRoot(store, root, kOutputSameDir, value)) {
        s.m_OutputSameDir = value == 1;
    } else {
        missing("WARNING: Could not retreive the OutputSameDir value from the registry.",
                "Setting OutputSameDir value to true.");
        s.m_OutputSameDir = true;
    }
    std::string folder;
    if (store.ReadString(root, "", kOutputDirectory, kOutputDirectoryCapacity, folder)) {
        s.m_OutputDirectory = folder;
    } else {
        s.m_OutputDirectory.clear();
        log.Write("WARNING: Could not retreive the OutputDir value from the registry.", kLogError);
        log.Write("Setting OutputDir value to NULL.", kLogInfo);
        if (!s.m_OutputSameDir) {
            log.Write("Setting OutputSameDir value to true.", kLogInfo);
            s.m_OutputSameDir = true;
        }
        defaultsUsed = true;
    }
    return defaultsUsed;
}

void ReloadSettings(store::KeyStore& store, logging::Log& log, Settings& s) {
    store::Key root = store.OpenKey(kHive, store::kRootPath, Access::Read);
    if (!root) {
        return;
    }
    int value = 0;
    if (ReadRoot(store, root, kDeleteMpv, value)) {
        s.m_DeleteMpv = value == 1;
    } else {
        log.Write("  ERROR: Could not set DeleteMPV value from Settings dialog!", kLogError);
    }
    if (ReadRoot(store, root, kAutoBias, value)) {
        s.m_AutoBias = value == 1;
    } else {
        log.Write("  ERROR: Could not set AutoBias value from Settings dialog!", kLogError);
    }
    if (ReadRoot(store, root, kCcePriority, value)) {
        s.m_CcePriority = value;
    } else {
        log.Write("  ERROR: Could not set CCE Priority value from Settings dialog!", kLogError);
        s.m_CcePriority = 0;
    }
    if (ReadRoot(store, root, kHideCceWindow, value)) {
        s.m_HideCceWindow = value;
    } else {
        log.Write("  ERROR: Could not set Hide CCE Window value from Settings dialog!", kLogError);
        s.m_HideCceWindow = 0;
    }
    if (ReadRoot(store, root, kEnableLogging, value)) {
        s.m_EnableLogging = value == 1;
    } else {
        log.Write("  ERROR: Could not set the Enable Logging value from Settings dialog!",
                  kLogError);
        s.m_EnableLogging = false;
    }
    log.SetEnableLogging(s.m_EnableLogging);
    if (ReadRoot(store, root, kOutputSameDir, value)) {
        s.m_OutputSameDir = value == 1;
    } else {
        log.Write("  ERROR: Unable to retrieve the 'Output Same Directory' value from Settings "
                  "dialog!",
                  kLogError);
    }
    std::string folder;
    if (store.ReadString(root, "", kOutputDirectory, kOutputDirectoryCapacity, folder)) {
        s.m_OutputDirectory = folder;
    } else {
        log.Write("  ERROR: Unable to retrieve the 'Output Directory' string from the Settings "
                  "Dialog!",
                  kLogError);
    }
}

} // namespace env
