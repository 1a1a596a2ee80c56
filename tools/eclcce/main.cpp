// EclCCE: the stand-in runner. `EclCCE -ecl "LIST" -batch` runs the configured encoder on a
// control list; no arguments open the settings window (with a display) or show the
// configuration; --set-cce PATH sets the encoder.
#include "child_process.h"
#include "env/user_files.h"
#include "platform/files.h"
#include "runner.h"
#ifdef VANTAQ_ECLCCE_WINDOW
#include "display.h"
#include "settings_window.h"
#endif

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    enc::InstallSignalForwarding(eclcce::kEncoderGraceSeconds);
    const std::string self = platform::ProgramFilePath();
    if (self.empty()) {
        std::fprintf(stderr, "EclCCE: ERROR: cannot find its own program file\n");
        return eclcce::kExitProfile;
    }
    // Beside the program, or the user's own copy where the program folder is not writable.
    const env::RunnerProfile ini = env::LocateRunnerProfile(self);
    if (argc == 1) {
#ifdef VANTAQ_ECLCCE_WINDOW
        if (eclcce::DisplayAvailable()) {
            return eclcce::RunSettingsWindow(argc, argv, ini);
        }
#endif
        return eclcce::ShowConfiguration(ini, self);
    }
    std::string ecl;
    bool haveEcl = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--set-cce" && i + 1 < argc && argc == 3) {
            return eclcce::SetEncoder(ini, argv[i + 1]);
        }
        if ((a == "-ecl" || a == "/ecl") && i + 1 < argc && !haveEcl) {
            ecl = argv[++i];
            haveEcl = true;
        } else if (a == "-batch" || a == "/batch") {
            continue;
        } else {
            std::fprintf(stderr, "usage: EclCCE -ecl \"LIST.ecl\" -batch\n"
                                 "       EclCCE --set-cce PATH\n"
                                 "       EclCCE            (shows the configuration)\n");
            return eclcce::kExitUsage;
        }
    }
    if (!haveEcl) {
        std::fprintf(stderr, "EclCCE: ERROR: no control list given (-ecl \"LIST.ecl\")\n");
        return eclcce::kExitUsage;
    }
    return eclcce::RunBatch(ini.path, ecl);
}
