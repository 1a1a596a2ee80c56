// The start-up checks, in the order the log shows them.
#include "env/startup_checks.h"

#include "env/cce_version.h"
#include "env/file_version_info.h"
#include "env/profile_file.h"
#include "env/user_files.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "platform/message_boxes.h"
#include "platform/program_files.h"
#include "store/key_store.h"
#include "store/paths.h"

using logging::kLogDebug;
using logging::kLogError;
using logging::kLogInfo;
using logging::kLogWarning;
using platform::MessageBoxButtons;
namespace ids = platform::main_window;

namespace env {

namespace {

bool IsFile(const std::string& path) {
    platform::FileFacts facts;
    return platform::RegularFileFacts(path, facts);
}

// "2, 66, 1, 7" as the log shows a runner or frame-server version: "2.66.1.7".
std::string DottedVersion(std::string text) {
    size_t at = 0;
    while ((at = text.find(", ", at)) != std::string::npos) {
        text.replace(at, 2, ".");
        ++at;
    }
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Shows the box of a fatal encoder problem; on OK starts the runner's configuration call so
// the user can point it at an encoder. Then ends the program.
void FatalEncoderExit(StartupServices& s, StartupResult& result, const std::string& text,
                      MessageBoxButtons buttons, const std::string& runner) {
    int answer = s.boxes->ShowError(text, "Vantaq", buttons);
    if (answer == platform::kAnswerOk) {
        if (s.startRunner && !runner.empty()) {
            s.startRunner("\"" + runner + "\"");
        }
        if (s.sleep) {
            s.sleep(500);
        }
    }
    result.exitStatus = kFatalStartupStatus;
    s.exit(kFatalStartupStatus);
}

} // namespace

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string GetEclCcePath(const std::string& programPath) {
    if (programPath.empty()) {
        return std::string();
    }
    std::string folder = FolderOf(programPath);
    std::string path = (folder == "/" ? folder : folder + "/") + kEclCceName;
    return IsFile(path) ? path : std::string();
}

int GetCceVersion(const std::string& programPath) {
    std::string runner = GetEclCcePath(programPath);
    if (runner.empty()) {
        return kCceNotFound;
    }
    std::string ini = LocateRunnerProfile(runner).path;
    if (!IsFile(ini)) {
        return kCceNotFound;
    }
    std::string encoder = GetProfileString(ini, "EclCCE", "CCE", "NotFound", 260);
    if (!IsFile(encoder)) {
        return kCceNotFound;
    }
    CFileVersionInfo info;
    std::string fileVersion = info.OpenFile(encoder) ? info.QueryString("FileVersion") : "";
    return CceVersionFromFileVersion(fileVersion);
}

std::string HelpFilePath(const std::string& programPath) {
    return platform::DeriveProgramFile(programPath, ".html");
}

bool LoadSystemInfo(StartupServices& s, StartupResult& result) {
    logging::Log& log = *s.log;
    store::KeyStore& store = *s.store;
    bool success = true;
    bool defaultsUsed = false;

    // Read first, so that every later line also reaches the file.
    result.settings.m_EnableLogging = ReadEnableLogging(store);
    log.SetEnableLogging(result.settings.m_EnableLogging);

    CFileVersionInfo self;
    if (self.OpenModule(s.programPath) || self.OpenFile(s.programPath)) {
        std::string version = self.QueryString("ProductVersion");
        std::string title = self.QueryString("ProductName") + " " + version;
        if (!EndsWith(version, ".0")) {
            title += " Beta";
        }
        if (s.dialog) {
            s.dialog->SetTitle(title);
        }
        log.Write(title + " Started!!!", kLogInfo);
    } else {
        log.Write("Error getting version info!!!", kLogError);
        success = false;
    }

    std::string os = s.getEnv ? s.getEnv("OS") : std::string();
    if (os == "Windows_NT") {
        log.Write("OS Kernel = " + os + " (Good)", kLogInfo);
    } else {
        log.Write("OS Kernel = " + os + " (Unknown Stability)", kLogWarning);
    }

    std::string runner = GetEclCcePath(s.programPath);
    if (runner.empty()) {
        log.Write("ERROR: ECLCCE Executable not found!!!", kLogError);
        success = false;
    } else {
        CFileVersionInfo info;
        if (info.OpenFile(runner)) {
            log.Write("ECLCCE Executable version " +
                          DottedVersion(info.QueryString("FileVersion")) + " found.",
                      kLogInfo);
        } else {
            log.Write("ECLCCE Executable found, could not get version info!", kLogWarning);
            success = false;
        }
        int code = GetCceVersion(s.programPath);
        if (code >= kCce2_50_1_0 && code <= kCce2_67_0_23) {
            log.Write(CceVersionLine(code), kLogInfo);
        } else if (code == kCceNotFound) {
            log.Write(CceVersionLine(code), kLogError);
            FatalEncoderExit(s, result,
                             "CCE Executable associated with EclCCE could not be found.\n\n"
                             "Please reconfigure EclCCE and restart Vantaq.",
                             MessageBoxButtons::OkCancel, runner);
            return false;
        } else {
            log.Write(CceVersionLine(code), kLogError);
            FatalEncoderExit(s, result,
                             "CCE Executable associated with EclCCE is not supported\nby Vantaq."
                             "\n\nPlease reconfigure EclCCE and restart Vantaq.",
                             MessageBoxButtons::Ok, runner);
            return false;
        }
    }

    std::string frameServer = s.systemDirectory + "/" + kFrameServerName;
    if (IsFile(frameServer)) {
        CFileVersionInfo info;
        if (info.OpenFile(frameServer)) {
            log.Write("Avisynth.dll version " + DottedVersion(info.QueryString("FileVersion")) +
                          " found!",
                      kLogInfo);
        } else {
            log.Write("Could not retreive avisynth.dll version info!", kLogWarning);
        }
    } else {
        log.Write("Warning: Avisynth.dll not found in system directory!", kLogWarning);
        log.Write("Avisynth (.avs) files will not work unless you install Avisynth!", kLogWarning);
        s.boxes->ShowError("Avisynth.dll could not be found.\n\nPlease install Avisynth and "
                           "restart Vantaq.",
                           "Vantaq", MessageBoxButtons::Ok);
        result.exitStatus = kFatalStartupStatus;
        s.exit(kFatalStartupStatus);
        return false;
    }

    std::string help = HelpFilePath(s.programPath);
    if (IsFile(help)) {
        result.helpFile = help;
        log.Write("Help file found.", kLogDebug);
        log.Write(" File: " + help, kLogDebug);
    } else {
        result.helpFile.clear();
        log.Write("Could not find Vantaq.chm (Help File)", kLogWarning);
    }

    uint32_t debugInfo = 0;
    if (store.ReadNumber(store::kHive, store::kRootPath, "LogDebugInfo", debugInfo)) {
        if (s.dialog) {
            s.dialog->SetCheck(ids::kLogDebugInfo, debugInfo == 1);
        }
        log.SetDebugInfo(debugInfo == 1);
    }

    defaultsUsed = LoadSettingsAtStartup(store, log, result.settings);

    // The program's own key, so that a first start on a fresh store lays the default templates
    // down at once rather than at the start after the first write.
    if (!store.CreateKey(store::kHive, store::kRootPath)) {
        log.Write("ERROR: Could not create the program's key in the settings store.", kLogError);
    }
    templates::InitTemplates(store);
    int loaded = templates::LoadTemplateList(store, result.templates);
    if (s.dialog) {
        s.dialog->ResetContent(ids::kTemplateList);
        for (const std::string& name : result.templates.names) {
            s.dialog->InsertRow(ids::kTemplateList, -1, name);
        }
        if (loaded != store::kErrorOpenKey) {
            s.dialog->SetText(ids::kTemplateOrder, result.templates.order);
        }
    }
    if (loaded != 0) {
        success = false;
    }

    if (defaultsUsed) {
        log.Write("WARNING: Some system values were set to default values", kLogWarning);
    }
    log.ReportFileSize();
    return success;
}

} // namespace env
