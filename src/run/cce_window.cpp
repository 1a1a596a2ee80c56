// The encoder window search over the platform's top-level windows.
#include "run/cce_window.h"

#include <chrono>
#include <thread>

namespace run {
namespace {

// The title buffer holds 260 characters with its terminator.
constexpr size_t kTitleCapacity = 259;
constexpr int kTryWaitMs = 500;

} // namespace

void SleepMilliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool IsCceWindowTitle(const std::string& title, const std::string& jobName) {
    std::string text = title.substr(0, kTitleCapacity);
    // A title is text up to its first NUL, as the window system hands it over.
    text = text.substr(0, text.find('\0'));
    if (text.find("/ " + jobName, 1) != std::string::npos) {
        return true;
    }
    return text.find("scoding", 1) != std::string::npos;
}

int FindCceWindow(int tries, const std::string& jobName, platform::TopLevelWindows& windows,
                  const SleepFunction& sleep, platform::WindowId& cceWindow) {
    cceWindow = platform::kNoWindow;
    for (int attempt = 1; attempt <= tries; ++attempt) {
        sleep(kTryWaitMs);
        for (const platform::TopLevelWindow& window : windows.List()) {
            if (IsCceWindowTitle(window.title, jobName)) {
                cceWindow = window.id;
            }
        }
        if (cceWindow != platform::kNoWindow) {
            return attempt;
        }
    }
    return 0;
}

} // namespace run
