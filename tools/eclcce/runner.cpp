// The runner's work: show or change its profile file, and run the encoder on a control list.
#include "runner.h"

#include "child_process.h"
#include "env/profile_file.h"
#include "env/program_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace eclcce {

namespace {

void Error(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "EclCCE: ERROR: %s\n", text.c_str());
    std::fflush(stderr);
}

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

} // namespace

int ShowConfiguration(const std::string& iniPath, const std::string& selfPath) {
    std::printf("EclCCE runs the encoder named in its profile on an encoder control list:\n"
                "  %s -ecl \"LIST.ecl\" -batch\n\n",
                selfPath.c_str());
    std::printf("Profile: %s\n", iniPath.c_str());
    std::string cce;
    std::string priority;
    if (access(iniPath.c_str(), F_OK) != 0) {
        std::printf("  (missing)\n");
    } else {
        const bool hasCce = env::ReadProfileString(iniPath, kSection, "CCE", cce);
        const bool hasPriority = env::ReadProfileString(iniPath, kSection, "Priority", priority);
        std::printf("  [%s] CCE=%s%s\n", kSection, hasCce ? cce.c_str() : "(not set)",
                    hasCce && !IsExecutableFile(cce) ? "   <- no executable file there" : "");
        std::printf("  [%s] Priority=%s   (64 idle, -1 default)\n", kSection,
                    hasPriority ? priority.c_str() : "(not set: default)");
    }
    std::printf("\nTo point it at an encoder:\n  %s --set-cce /path/to/cce\n", selfPath.c_str());
    std::fflush(stdout);
    return 0;
}

int SetEncoder(const std::string& iniPath, const std::string& encoderPath) {
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(encoderPath, ec).string();
    if (ec) {
        absolute = encoderPath;
    }
    std::string error;
    if (!env::WriteProfileString(iniPath, kSection, "CCE", absolute, error)) {
        Error(error);
        return kExitWriteFailed;
    }
    std::printf("%s: [%s] CCE=%s\n", iniPath.c_str(), kSection, absolute.c_str());
    if (!IsExecutableFile(absolute)) {
        std::printf("Warning: there is no executable file at %s yet.\n", absolute.c_str());
    }
    std::fflush(stdout);
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
    if (eclPath.empty() || access(eclPath.c_str(), R_OK) != 0) {
        Error("cannot read the control list \"" + eclPath + "\"" +
              (eclPath.empty() ? std::string() : std::string(": ") + std::strerror(errno)));
        return kExitList;
    }
    std::string priority;
    env::ReadProfileString(iniPath, kSection, "Priority", priority);
    enc::SpawnOptions options;
    options.captureOutput = true;
    options.mergeStderr = true;
    options.newProcessGroup = true;
    if (priority == "64") {
        options.idlePriority = true;
    } else if (!priority.empty() && priority != "-1") {
        std::printf("EclCCE: Priority=%s is not known (64 idle, -1 default); default used\n",
                    priority.c_str());
    }
    enc::ChildProcess encoder;
    std::string error;
    if (!encoder.Start({cce, eclPath}, options, error)) {
        Error(error);
        return kExitEncoder;
    }
    enc::ForwardTo(encoder.Pid(), true);
    encoder.ReadLines([](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    const int status = encoder.Wait();
    enc::ForwardTo(0, false);
    return status;
}

} // namespace eclcce
