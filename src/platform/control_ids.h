// The control numbers of the main window and of the settings dialog, and the list of controls
// each one has.
#pragma once

#include "platform/dialog.h"

#include <vector>

namespace platform {

// One control of a dialog: its number, its kind, the edit it is attached to (spins only), and
// its state when the dialog is created.
struct ControlSpec {
    int id = 0;
    ControlKind kind = ControlKind::Label;
    int buddy = 0;
    bool enabled = true;
    bool visible = true;
    const char* caption = "";
};

namespace main_window {

enum Control : int {
    kInputFile = 1003,          // "In&put File", read-only
    kTemplateList = 1004,       // template drop-down, created disabled
    kCalc = 1005,               // output size "Calc"
    kAspectSquare = 1008,       // "SAR 1:1"
    kAspect4x3 = 1009,          // "4:3"
    kAspect16x9 = 1010,         // "16:9"
    kBitrateMin = 1011,         // field of kBitrateMinSpin
    kBitrateMax = 1013,         // field of kBitrateMaxSpin
    kBitrateAvg = 1015,         // field of kBitrateAvgSpin
    kPulldown = 1021,           // "2:3 Pulldown"
    kPasses = 1022,             // field of kPassesSpin
    kProgressive = 1027,        // "Progressive"
    kAlternateScan = 1028,      // "Alternate Scan"
    kPassesSpin = 1030,         //
    kBitrateMinSpin = 1031,     //
    kBitrateMaxSpin = 1032,     //
    kBitrateAvgSpin = 1033,     //
    kInfoResolution = 1034,     // File Info texts, read-only
    kInfoFrames = 1035,         //
    kInfoFrameRate = 1036,      //
    kInfoLength = 1037,         //
    kInfoType = 1038,           //
    kChapterFile = 1040,        // chapter list file path, read-only
    kChapterBrowse = 1041,      // "&Browse"
    kStart = 1046,              //
    kStop = 1047,               //
    kStopAfterJob = 1090,       // "Stop After This Job": the job going on finishes
    kNewJob = 1049,             // "New &Job"
    kAddJob = 1050,             // "&Add Job" / "&Replace"
    kQFactor = 1051,            // field of kQFactorSpin
    kQFactorSpin = 1052,        //
    kBias = 1053,               // field of kBiasSpin
    kBiasSpin = 1054,           //
    kTemplateOrder = 1055,      // hidden read-only copy of the template order string
    kConvertToFilm = 1057,      // "Convert Chapters to Film"
    kExit = 1059,               // "E&xit"
    kProgress = 1061,           // progress bar
    kSetTemplateDefault = 1063, // "Set as Template Default"
    kTopFieldFirst = 1064,      // "Top Field First"
    kOutputSize = 1073,         // size estimate, read-only
    kTemplateEdit = 1077,       // "&Edit" beside the template list, created disabled
    kChapterList = 1078,        // chapter list text, read-only
    kQuality = 1080,            // field of kQualitySpin
    kQualitySpin = 1081,        //
    kStartFrame = 1085,         // field of kStartFrameSpin
    kEndFrame = 1087,           // field of kEndFrameSpin

    // Controls that the numbers above leave unnamed get numbers of their own from 1100 up.
    kStartFrameSpin = 1100,
    kEndFrameSpin = 1101,
    kJobList = 1102, // job rows with their status images
    kLogList = 1103, // log rows with their level images
    kName = 1104,    // "&Name"
    kAngle = 1105,   // "Angle"
    kMoveUp = 1106,
    kDelete = 1107,
    kMoveDown = 1108,
    kReset = 1109,
    kClear = 1110,
    kCancel = 1111,
    kLogDebugInfo = 1112, // "Log debug info"
    // The job's own Slurm resources, over the settings' (empty: the settings').
    kJobPartition = 1113,
    kJobTimeLimit = 1114,
    kJobCpus = 1115,
    // "Picture": keep the source's, fit to DVD (NTSC), fit to DVD (PAL); rows in that order.
    kPicture = 1116,
};

// Menu commands routed by the main window.
inline constexpr int kMenuSettings = 132;
inline constexpr int kMenuPulldown = 153;

} // namespace main_window

namespace settings_dialog {

enum Control : int {
    kOk = 1,
    kCancel = 2,
    kOutputDirectory = 1003, // read-only
    kHideCceWindow = 1021,
    kEnableLogging = 1027,
    kDeleteMpv = 1057,
    kBrowse = 1058,
    kAutoBias = 1064,
    kOutputSameDir = 1066,  // radio "Place output in same directory as assets"
    kOutputSelected = 1067, // radio "Place output in the directory selected below"
    kCcePriority = 1074,
    // Where the queue's encodes run.
    kRunHere = 1100,        // radio "Run encodes on this machine"
    kRunOnSlurm = 1101,     // radio "Run encodes on a Slurm cluster"
    kSlurmPartition = 1102, // partition, empty for the cluster's default
    kSlurmMaxJobs = 1103,   // at most this many jobs at once
    kSlurmOptions = 1104,   // extra sbatch arguments, one per line
};

} // namespace settings_dialog

// Every control of the main window with its kind, buddy and initial state.
const std::vector<ControlSpec>& MainWindowControls();
// Every control of the settings dialog.
const std::vector<ControlSpec>& SettingsDialogControls();

} // namespace platform
