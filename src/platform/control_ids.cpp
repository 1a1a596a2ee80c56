// The controls of the main window and of the settings dialog: kinds, buddies, captions and
// initial states, shared by the in-memory dialog and the real windows.
#include "platform/control_ids.h"

namespace platform {

namespace {

ControlSpec Make(int id, ControlKind kind, const char* caption = "", bool enabled = true) {
    ControlSpec c;
    c.id = id;
    c.kind = kind;
    c.caption = caption;
    c.enabled = enabled;
    return c;
}

ControlSpec SpinOf(int id, int buddy) {
    ControlSpec c = Make(id, ControlKind::Spin);
    c.buddy = buddy;
    return c;
}

} // namespace

const std::vector<ControlSpec>& MainWindowControls() {
    using namespace main_window;
    using K = ControlKind;
    static const std::vector<ControlSpec> controls = [] {
        std::vector<ControlSpec> c = {
            Make(kName, K::Edit),
            Make(kInputFile, K::Edit),
            Make(kTemplateList, K::ComboBox, "", false),
            Make(kTemplateEdit, K::Button, "&Edit", false),
            Make(kCalc, K::Button, "Calc"),
            Make(kAspectSquare, K::Radio, "SAR 1:1"),
            Make(kAspect4x3, K::Radio, "4:3"),
            Make(kAspect16x9, K::Radio, "16:9"),
            Make(kPulldown, K::CheckBox, "2:3 Pulldown"),
            Make(kProgressive, K::CheckBox, "Progressive"),
            Make(kAlternateScan, K::CheckBox, "Alternate Scan"),
            Make(kTopFieldFirst, K::CheckBox, "Top Field First"),
            Make(kAngle, K::CheckBox, "Angle"),
            Make(kConvertToFilm, K::CheckBox, "Convert Chapters to Film"),
            Make(kLogDebugInfo, K::CheckBox, "Log debug info"),
            Make(kBitrateMin, K::Edit),
            Make(kBitrateMax, K::Edit),
            Make(kBitrateAvg, K::Edit),
            Make(kPasses, K::Edit),
            Make(kQFactor, K::Edit),
            Make(kBias, K::Edit),
            Make(kQuality, K::Edit),
            Make(kStartFrame, K::Edit),
            Make(kEndFrame, K::Edit),
            SpinOf(kBitrateMinSpin, kBitrateMin),
            SpinOf(kBitrateMaxSpin, kBitrateMax),
            SpinOf(kBitrateAvgSpin, kBitrateAvg),
            SpinOf(kPassesSpin, kPasses),
            SpinOf(kQFactorSpin, kQFactor),
            SpinOf(kBiasSpin, kBias),
            SpinOf(kQualitySpin, kQuality),
            SpinOf(kStartFrameSpin, kStartFrame),
            SpinOf(kEndFrameSpin, kEndFrame),
            Make(kInfoResolution, K::Label),
            Make(kInfoFrames, K::Label),
            Make(kInfoFrameRate, K::Label),
            Make(kInfoLength, K::Label),
            Make(kInfoType, K::Label),
            Make(kChapterFile, K::Edit),
            Make(kChapterList, K::Edit),
            Make(kChapterBrowse, K::Button, "&Browse"),
            Make(kOutputSize, K::Edit),
            Make(kJobPartition, K::Edit),
            Make(kJobTimeLimit, K::Edit),
            Make(kJobCpus, K::Edit),
            Make(kPicture, K::ComboBox, "", false),
            Make(kTemplateOrder, K::Edit),
            Make(kStart, K::Button, "Start"),
            Make(kStop, K::Button, "Stop"),
            Make(kStopAfterJob, K::Button, "Stop After This Job"),
            Make(kNewJob, K::Button, "New &Job"),
            Make(kAddJob, K::Button, "&Add Job"),
            Make(kCancel, K::Button, "Cancel"),
            Make(kExit, K::Button, "E&xit"),
            Make(kSetTemplateDefault, K::Button, "Set as Template Default"),
            Make(kMoveUp, K::Button),
            Make(kDelete, K::Button),
            Make(kMoveDown, K::Button),
            Make(kReset, K::Button),
            Make(kClear, K::Button),
            Make(kProgress, K::Progress),
            Make(kJobList, K::ListBox),
            Make(kLogList, K::ListBox),
        };
        for (ControlSpec& s : c) {
            if (s.id == kTemplateOrder) {
                s.visible = false;
            }
        }
        return c;
    }();
    return controls;
}

const std::vector<ControlSpec>& SettingsDialogControls() {
    using namespace settings_dialog;
    using K = ControlKind;
    static const std::vector<ControlSpec> controls = {
        Make(kOk, K::Button, "OK"),
        Make(kCancel, K::Button, "Cancel"),
        Make(kOutputDirectory, K::Edit),
        Make(kBrowse, K::Button, "B&rowse"),
        Make(kOutputSameDir, K::Radio, "Place output in same directory as assets"),
        Make(kOutputSelected, K::Radio, "Place output in the directory selected below"),
        Make(kDeleteMpv, K::CheckBox, "Delete MPV after successful pulldown"),
        Make(kAutoBias, K::CheckBox, "Auto determine bias setting"),
        Make(kCcePriority, K::CheckBox, "Run CCE at \"Below Normal\" priority"),
        Make(kHideCceWindow, K::CheckBox, "Hide CCE main window on execution."),
        Make(kEnableLogging, K::CheckBox, "Enable Logging"),
        Make(kRunHere, K::Radio, "Run encodes on this machine"),
        Make(kRunOnSlurm, K::Radio, "Run encodes on a Slurm cluster"),
        Make(kSlurmPartition, K::Edit),
        Make(kSlurmMaxJobs, K::Edit),
        Make(kSlurmOptions, K::Edit),
    };
    return controls;
}

} // namespace platform
