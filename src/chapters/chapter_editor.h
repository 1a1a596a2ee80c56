// The job editor's chapter steps: the import when a source is loaded, the Browse button, and
// the log line of an import.
#pragma once

#include <functional>
#include <string>

namespace logging {
class Log;
}
namespace platform {
class Dialog;
}

namespace chapters {

// The open-file dialog's filter for chapter files (also valid as a Qt name filter).
inline constexpr const char* kChapterFileFilter = "CCE Chapter List (*.txt)";
// The most characters of control 1040 offered as the dialog's initial file name.
inline constexpr size_t kBrowseInitialNameMax = 260;

// Runs an open-file dialog with `filter` and `initialName` (read-only box hidden). Returns true
// with `chosen` set when the user pressed OK, false on Cancel.
using OpenFileChooser = std::function<bool(const std::string& filter,
                                           const std::string& initialName, std::string& chosen)>;

// "Chapter list imported from file <name> (Converted NTSC->Film|No conversion)!!", level 0,
// with the file name of `chapterPath`.
void LogChapterImport(logging::Log& log, const std::string& chapterPath, bool converted);

// The chapter steps of loading a source into the job editor (FillNewJob and the CCEData
// import call it after the File Info fields are filled):
// "Convert Chapters to Film" (1057) is enabled and ticked when the Frame Rate field (1036)
// reads exactly "23.976", else disabled and cleared; the chapter information file beside
// `sourcePath` is looked for; when found, control 1040 gets its path, control 1078 its chapter
// list (converted when 1057 is ticked) and the import is logged; otherwise "No chapter file
// found!" is logged and 1040/1078 keep their text. The Browse button (1041) is enabled.
void ImportChaptersForSource(platform::Dialog& dialog, const std::string& sourcePath,
                             logging::Log& log);

// Handler of the Browse button (1041): offers the open-file dialog through `chooseFile`
// starting at the text of 1040 (cut to kBrowseInitialNameMax characters). On OK, control 1078
// := the chosen file's chapter list (converted when 1057 is ticked) and the import is logged,
// even when the file turned out to be missing; control 1040 keeps its text. Cancel changes
// nothing.
void OnBrowseChapters(platform::Dialog& dialog, logging::Log& log,
                      const OpenFileChooser& chooseFile);

} // namespace chapters
