// Chapter lists: finding a chapter information file beside a source, reading it into a list
// with the NTSC-to-film conversion, and the job editor's chapter steps (source import, Browse).
#include "chapters/chapter_list.h"

#include "chapters/text_fields.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"

#include <filesystem>
#include <vector>

namespace chapters {

using namespace platform::main_window;

int NtscToFilmFrame(int frame) {
    return static_cast<int>(frame * 0.8);
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FindChapterInfoFile(const std::string& sourcePath) {
    std::string source = ReplaceAll(sourcePath, "\"", "");
    std::string name = FileNameOf(source);
    if (name.empty()) {
        return std::string();
    }
    std::string folder = source.substr(0, source.size() - name.size());
    name = ReplaceAll(name, "__", "_");
    size_t dot = name.find('.');
    std::string base = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    base = ReplaceAll(base, "_P", "_PGC_");
    base = ReplaceAll(base, "A", "_ANGLE_");
    std::string candidate = folder + base + kChapterInfoSuffix;
    std::error_code ec;
    return std::filesystem::is_regular_file(candidate, ec) ? candidate : std::string();
}

bool FitChapterList(std::string& list) {
    if (list.size() <= kMaxChapterListLength) {
        return false;
    }
    // Keep the entries that end before the limit, with the comma after the last of them, so
    // that the cut looks like the list of a shorter file.
    size_t comma = list.rfind(',', kMaxChapterListLength - 1);
    list.resize(comma == std::string::npos ? 0 : comma + 1);
    return true;
}

std::string ReadChapterList(const std::string& path, bool convertToFilm, logging::Log& log) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return std::string();
    }
    std::string text;
    if (!ReadSmallFile(path, kMaxChapterFileSize, text)) {
        log("ERROR: Could not read the chapter file " + path, logging::kLogError);
        return std::string();
    }
    std::vector<std::string> lines = SplitNonEmpty(text, '\n');
    log("Chapter file lines: " + std::to_string(lines.size()), logging::kLogDebug);

    std::string list;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> pieces = SplitNonEmpty(lines[i], '=');
        std::string value = pieces.size() >= 2 ? TrimChars(pieces[1], ";:\r\n") : std::string();
        int frame = ReadLeadingInt(value);
        if (frame < 0) {
            continue;
        }
        if (convertToFilm) {
            value = std::to_string(NtscToFilmFrame(frame));
        }
        // A CR inside a value would end a line of the control list written from it.
        list += WithoutLineBreaks(value);
        if (i + 1 != lines.size()) {
            list += ",";
        }
    }
    if (FitChapterList(list)) {
        log("WARNING: The chapter list of " + FileNameOf(path) + " is longer than " +
                std::to_string(kMaxChapterListLength) +
                " characters; the last entries are left out",
            logging::kLogWarning);
    }
    return list;
}

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
