// Loading the frame-server module from the platform's system folder and asking it for a
// script's clip.
#pragma once

#include "platform/vantaq_fs.h"

#include <string>

namespace platform {

enum FrameServerResult {
    kFrameServerOk = 0,
    kFrameServerMissing = 1,   // no module at the path, or it cannot be loaded
    kFrameServerBadModule = 2, // the module lacks the functions or has another ABI version
    kFrameServerFailed = 3,    // the module refused the script; `error` says why
};

// The folder the running program lives in (from /proc/self/exe); empty when unknown.
std::string RunningProgramFolder();

// The frame-server module of a program folder: "<programDir>/system/libavisynth.so".
std::string FrameServerModulePath(const std::string& programDir);

// Loads the module at `modulePath`, evaluates `scriptPath` into `info` and unloads the module.
// On kFrameServerFailed, `code` holds the module's VANTAQ_FS_* result. Any thread.
FrameServerResult OpenScriptClip(const std::string& modulePath, const std::string& scriptPath,
                                 vantaq_fs_info& info, int& code, std::string& error);

} // namespace platform
