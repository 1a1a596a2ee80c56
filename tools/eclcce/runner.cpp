// The runner's work: show or change its profile file, and run the encoder on a control list.
#include "runner.h"

#include "child_process.h"
#include "ecl_list.h"
#include "env/profile_file.h"
#include "line_output.h"
#include "partial_files.h"
#include "platform/program_files.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace eclcce {

namespace {

void Error(const std::string& text) {
    enc::SayError("EclCCE: ERROR: " + text);
}

// A killed encoder could not remove its unfinished files: the temporaries beside the list's
// outputs and its work folder, which no living encoder holds any more.
void RemoveEncoderLeftovers(const std::string& eclPath) {
    enc::RemoveStaleWorkFolders(enc::TemporaryFolder());
    enc::EclList list;
    std::string error;
    if (!enc::LoadEcl(eclPath, list, error)) {
        return;
    }
    for (const char* key : {"vid_file0", "vaf_file", "aud_file"}) {
        if (!list.Text(key).empty()) {
            enc::RemoveStaleTemporaries(list.Text(key));
        }
    }
}

} // namespace

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

Profile ReadProfile(const std::string& iniPath) {
    Profile p;
    p.hasCce = env::ReadProfileString(iniPath, kSection, "CCE", p.cce);
    p.hasPriority = env::ReadProfileString(iniPath, kSection, "Priority", p.priority);
    return p;
}

bool SaveProfile(const env::RunnerProfile& profile, const std::string& encoderPath, bool idle,
                 std::string& error) {
    return env::WriteRunnerProfileString(profile, kSection, "CCE", AbsolutePath(encoderPath),
                                         error) &&
           env::WriteRunnerProfileString(profile, kSection, "Priority", idle ? "64" : "-1", error);
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).string();
    return ec ? path : absolute;
}

int ShowConfiguration(const env::RunnerProfile& profile, const std::string& selfPath) {
    const std::string& iniPath = profile.path;
    enc::Say("EclCCE runs the encoder named in its profile on an encoder control list:");
    enc::Say("  " + selfPath + " -ecl \"LIST.ecl\" -batch");
    enc::Say("");
    enc::Say("Profile: " + iniPath);
    if (profile.writePath != iniPath) {
        enc::Say("  (its folder is not writable: changes go to " + profile.writePath + ")");
    }
    if (access(iniPath.c_str(), F_OK) != 0) {
        enc::Say("  (missing)");
    } else {
        const Profile keys = ReadProfile(iniPath);
        enc::Say(
            "  [" + std::string(kSection) +
            "] CCE=" + (keys.hasCce ? keys.cce : std::string("(not set)")) +
            (keys.hasCce && !IsExecutableFile(keys.cce) ? "   <- no executable file there" : ""));
        enc::Say("  [" + std::string(kSection) + "] Priority=" +
                 (keys.hasPriority ? keys.priority : std::string("(not set: default)")) +
                 "   (64 idle, -1 default)");
    }
    enc::Say("");
    enc::Say("To point it at an encoder:");
    enc::Say("  " + selfPath + " --set-cce /path/to/cce");
    return 0;
}

int SetEncoder(const env::RunnerProfile& profile, const std::string& encoderPath) {
    const std::string absolute = AbsolutePath(encoderPath);
    std::string error;
    if (!env::WriteRunnerProfileString(profile, kSection, "CCE", absolute, error)) {
        Error(error);
        return kExitWriteFailed;
    }
    enc::Say(profile.writePath + ": [" + kSection + "] CCE=" + absolute);
    if (!IsExecutableFile(absolute)) {
        enc::Say("Warning: there is no executable file at " + absolute + " yet.");
    }
    return 0;
}

int RunBatch(const std::string& iniPath, const std::string& eclPath) {
    if (access(iniPath.c_str(), R_OK) != 0) {
        Error("cannot read the profile " + iniPath + " (" + std::strerror(errno) +
              "); run EclCCE without arguments for help");
        return kExitProfile;
    }
    std::string cce;
    if (!env::ReadProfileString(iniPath, kSection, "CCE", cce) || cce.empty() ||
        cce == "NotFound") {
        Error("the profile " + iniPath + " names no encoder ([" + kSection +
              "] CCE=); set it with: EclCCE --set-cce PATH");
        return kExitProfile;
    }
    if (!IsExecutableFile(cce)) {
        Error("the encoder " + cce + " named in " + iniPath + " is not an executable file");
        return kExitEncoder;
    }
    // The list itself is read only by the encoder; refusing here what it would refuse (a
    // device, a pipe, an absurd size) gives the runner's own status.
    std::string text;
    std::string error;
    if (eclPath.empty() || !enc::ReadListFile(eclPath, text, error)) {
        Error(eclPath.empty() ? "no control list given" : error);
        return kExitList;
    }
    std::string priority;
    env::ReadProfileString(iniPath, kSection, "Priority", priority);
    enc::SpawnOptions options;
    options.captureOutput = true;
    options.mergeStderr = true;
    options.newProcessGroup = true;
    if (priority == "64") {
        // The runner only passes lines on, so it takes the idle priority itself and the
        // encoder inherits it.
        if (!enc::TakeIdlePriority()) {
            enc::Say("EclCCE: the idle priority could not be set: " +
                     std::string(std::strerror(errno)));
        }
    } else if (!priority.empty() && priority != "-1") {
        enc::Say("EclCCE: Priority=" + priority +
                 " is not known (64 idle, -1 default); default used");
    }
    // Killed (SIGKILL) the runner cannot pass a signal on: the encoder gets SIGTERM from the
    // system instead, ends its ffmpeg and removes its unfinished files.
    options.parentDeathSignal = SIGTERM;
    enc::ChildProcess encoder;
    // "--" ends the options, so that no list name is taken for one.
    if (!encoder.Start({cce, "--", eclPath}, options, error)) {
        Error(error);
        return kExitEncoder;
    }
    enc::ForwardTo(encoder.Pid(), true);
    // Once the reader of this output has gone the lines are dropped, but the encoder's pipe
    // is still drained, so that the encode runs to its end.
    encoder.ReadLines([](const std::string& line) { enc::Say(line); });
    const int status = encoder.Wait();
    enc::ForwardTo(0, false);
    const int sig = enc::ReceivedSignal();
    if (sig == 0 || status == 0) {
        return status;
    }
    std::string how = "the encoder ended with status " + std::to_string(status);
    if (enc::KilledAfterGrace()) {
        RemoveEncoderLeftovers(eclPath);
        how = "the encoder did not end within " + std::to_string(kEncoderGraceSeconds) +
              " s and was killed; its unfinished files are removed";
    }
    enc::SayError("EclCCE: stopped by " + enc::SignalName(sig) + "; " + how);
    return 128 + sig;
}

} // namespace eclcce
