// The MPEG-2 pulldown processor: options, result codes, callbacks and the processor itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pulldown {

// Log levels of the lines the processor reports (the same numbers as the program's log).
enum PulldownLogLevel : int {
    kPulldownLogInfo = 0,
    kPulldownLogWarning = 1,
    kPulldownLogError = 2,
    kPulldownLogDebug = 3,
};

// Result codes of a run; 0 is success.
enum PulldownResult : int {
    kPulldownOk = 0,
    kPulldownFrameRateError = 1,   // frame-rate index other than 1 to 3 in frame-rate mode
    kPulldownOpenInputFailed = 2,  // source cannot be opened
    kPulldownReadInputFailed = 3,  // source is empty
    kPulldownOpenOutputFailed = 4, // target cannot be opened (or is the source, or a write failed)
    kPulldownNotVideoStream = 6,   // first start code is not a sequence header
    kPulldownGetPosFailed = 7,     // input position cannot be taken for a lookahead
    kPulldownSetPosFailed = 8,     // input position cannot be restored after a lookahead
    kPulldownNextStartCode = 9,    // input ends before the next start code
    kPulldownNotFilmRate = 10,     // 2:3 pulldown on a stream that is not at 23.976
    kPulldownNotProgressive = 11,  // 2:3 pulldown on a picture not coded as a progressive frame
};

// A few words on why a run ended with `code`, for a job's row ("" for success).
const char* PulldownResultReason(int code);

// What to do to the stream; fixed for a whole run. The defaults are a plain 2:3 pulldown to
// 29.97 with recalculated time codes and the drop-frame flag left clear.
struct PulldownOptions {
    bool m_SetFrameRate = false;   // on: no pulldown, stamp the rate of m_FrameRateIndex
    int m_FrameRateIndex = 1;      // 1 = 23.976, 2 = 25, 3 = 29.97 (only with m_SetFrameRate)
    int m_AspectRatio = 0;         // 0 = leave, 1 = 1:1, 2 = 4:3, 3 = 16:9, 4 = 2.21:1
    int m_FieldOrder = 0;          // 0 = by cadence, 1 = every picture top field first, 2 = bottom
    bool m_NoRff = false;          // on: clear repeat_first_field everywhere, no pulldown
    bool m_NoTimecodes = false;    // on: leave GOP time codes as they are
    int m_ProgressiveSequence = 0; // 0 = default (write 0), 1 = progressive, 2 = interlaced
    int m_ProgressiveFrame = 0;    // 0 = by cadence, 1 = all progressive, 2 = all interlaced
    int m_DropFrame = 0;           // 0 = default, 1 = set the drop-frame flag, 2 = clear it
};

// How a run reports. Each member may be empty. All are called on the thread that runs the
// processor: `OnLine` stands for a synchronous hand-over (the run waits until it returns),
// `OnUpdate` and `OnFinished` for posted messages, so they must not block for long.
struct PulldownCallbacks {
    std::function<void(const std::string& line, int level)> OnLine;
    std::function<void(int64_t pictures)> OnUpdate; // pictures processed so far
    std::function<void(int code)> OnFinished;       // exactly once, last act of a run
};

// One run of the pulldown pass from a source stream file to a target file. The source is only
// read; the target is created or truncated and receives the source up to the sequence end code,
// with the frame-rate, aspect, progressive, time-code and field flags rewritten. Memory use is
// constant (under 1 MiB) whatever the size of the stream. The target is written on a helper
// thread that the run starts and ends. A processor serves one run; it is
// not shared between threads.
class PulldownProcessor {
public:
    PulldownProcessor(std::string source, std::string target, const PulldownOptions& options,
                      PulldownCallbacks callbacks);

    // Performs the whole run, reporting lines and progress, and ends by calling OnFinished with
    // the result code, which it also returns. Never throws; any input ends with one of the codes
    // of `PulldownResult`.
    int Run();

    // The time source for the start time and the "Time taken" line (seconds since the epoch);
    // tests replace it to get repeatable lines.
    void SetClock(std::function<int64_t()> clock) { m_Clock = std::move(clock); }

private:
    std::string m_Source;
    std::string m_Target;
    PulldownOptions m_Options;
    PulldownCallbacks m_Callbacks;
    std::function<int64_t()> m_Clock;
};

} // namespace pulldown
