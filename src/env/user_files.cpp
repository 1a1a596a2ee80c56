// The program's log file and the runner's profile, beside the program or in the user's folders.
#include "env/user_files.h"

#include "env/profile_file.h"
#include "env/startup_checks.h"
#include "platform/program_files.h"
#include "platform/user_folders.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace env {

namespace {

std::string FileNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// `fileBeside` where its folder takes new files, else its name in `userBase`/vantaq.
std::string BesideOrInUserFolder(const std::string& fileBeside, const std::string& userBase) {
    if (fileBeside.empty() || platform::IsWritableFolder(FolderOf(fileBeside))) {
        return fileBeside;
    }
    return userBase + "/" + kUserFolderName + "/" + FileNameOf(fileBeside);
}

// Copies `from` to `to` unless `to` exists. The copy appears whole or not at all, and a copy
// that another process made meanwhile is kept.
bool StartOwnCopy(const std::string& from, const std::string& to, std::string& error) {
    namespace fs = std::filesystem;
    const std::string temp = to + ".tmp-" + std::to_string(getpid());
    std::error_code ec;
    fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
    if (!ec) {
        // A link never replaces a file that appeared meanwhile; where the file system has no
        // links, a rename does the job.
        fs::create_hard_link(temp, to, ec);
        if (ec == std::errc::file_exists) {
            ec.clear();
        } else if (ec) {
            ec.clear();
            fs::rename(temp, to, ec);
        }
    }
    std::error_code ignored;
    fs::remove(temp, ignored);
    if (ec) {
        error = "cannot copy " + from + " to " + to + " (" + ec.message() + ")";
        return false;
    }
    return true;
}

} // namespace

std::string ChooseLogFile(const std::string& programPath) {
    return BesideOrInUserFolder(platform::DeriveProgramFile(programPath, ".log"),
                                platform::UserStateHome());
}

RunnerProfile LocateRunnerProfile(const std::string& runnerPath) {
    RunnerProfile profile;
    const std::string beside = platform::DeriveProgramFile(runnerPath, ".ini");
    profile.writePath = BesideOrInUserFolder(beside, platform::UserConfigHome());
    std::error_code ec;
    bool ownCopy = profile.writePath != beside && std::filesystem::exists(profile.writePath, ec);
    profile.path = ownCopy ? profile.writePath : beside;
    return profile;
}

bool WriteRunnerProfileString(const RunnerProfile& profile, const std::string& section,
                              const std::string& key, const std::string& value,
                              std::string& error) {
    if (profile.writePath.empty()) {
        error = "the runner's profile is not known";
        return false;
    }
    if (profile.writePath != profile.path) {
        std::error_code ec;
        std::filesystem::create_directories(FolderOf(profile.writePath), ec);
        if (ec) {
            error = "cannot create the folder of " + profile.writePath + " (" + ec.message() + ")";
            return false;
        }
        std::error_code missing;
        if (std::filesystem::is_regular_file(profile.path, missing) &&
            !StartOwnCopy(profile.path, profile.writePath, error)) {
            return false;
        }
    }
    return WriteProfileString(profile.writePath, section, key, value, error);
}

} // namespace env
