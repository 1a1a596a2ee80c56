// The job editor's chapter steps: the import when a source is loaded, the Browse button, and
// the log line of an import.
#include "chapters/chapter_editor.h"

#include "chapters/chapter_list.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"

namespace chapters {

using namespace platform::main_window;

void LogChapterImport(logging::Log& log, const std::string& chapterPath, bool converted) {
    log("Chapter list imported from file " + FileNameOf(chapterPath) + " (" +
            (converted ? "Converted NTSC->Film" : "No conversion") + ")!!",
        logging::kLogInfo);
}

void ImportChaptersForSource(platform::Dialog& dialog, const std::string& sourcePath,
                             logging::Log& log) {
    bool film = dialog.GetText(kInfoFrameRate) == "23.976";
    dialog.Enable(kConvertToFilm, film);
    dialog.SetCheck(kConvertToFilm, film);

    std::string path = FindChapterInfoFile(sourcePath);
    if (!path.empty()) {
        dialog.SetText(kChapterFile, path);
        bool convert = dialog.IsChecked(kConvertToFilm);
        dialog.SetText(kChapterList, ReadChapterList(path, convert, log));
        LogChapterImport(log, path, convert);
    } else {
        log("No chapter file found!", logging::kLogInfo);
    }
    dialog.Enable(kChapterBrowse, true);
}

void OnBrowseChapters(platform::Dialog& dialog, logging::Log& log,
                      const OpenFileChooser& chooseFile) {
    if (!chooseFile) {
        return;
    }
    std::string initial = dialog.GetText(kChapterFile).substr(0, kBrowseInitialNameMax);
    std::string chosen;
    if (!chooseFile(kChapterFileFilter, initial, chosen)) {
        return;
    }
    bool convert = dialog.IsChecked(kConvertToFilm);
    dialog.SetText(kChapterList, ReadChapterList(chosen, convert, log));
    LogChapterImport(log, chosen, convert);
}

} // namespace chapters
