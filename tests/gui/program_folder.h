// A scratch program folder laid out like the build's: the real vantaq, EclCCE and cce, the
// runner's .ini, the help file and system/, with a store of its own.
#pragma once

#include "gui/program.h"
#include "support/test_support.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace gui_testing {

class ProgramFolder {
public:
    ProgramFolder();

    std::string ProgramPath() const { return m_Dir.File("vantaq"); }
    std::string StorePath() const { return m_Dir.File("store.sqlite"); }
    const testing_support::TempDir& Dir() const { return m_Dir; }

    // Writes `count` pending jobs named "job <n>" in one transaction.
    void WriteJobs(int count);
    // Gives the first `count` jobs readable sources, "media/job N.avi" in the folder (a header
    // of 320 x 240 at 25 frames a second), for tests whose runs must reach the encoder.
    void WriteJobSources(int count);

    // A program over this folder with `arguments` on its command line; not yet started.
    std::unique_ptr<gui::Program> MakeProgram(const std::vector<std::string>& arguments);

    // Exit statuses that the start-up checks asked for (the program would have ended).
    std::vector<int> exits;

private:
    testing_support::TempDir m_Dir;
};

// Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`.
bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// The log list's rows as "<image> <text without time>".
std::vector<std::string> LogRows(gui::Program& program);

// Whether `rows` holds `row`.
bool Has(const std::vector<std::string>& rows, const std::string& row);

// Control `id` of the program's window as a `W`; null when it is another kind.
template <typename W> W* Widget(gui::Program& program, int id) {
    return dynamic_cast<W*>(program.Window().Controls().Widget(id));
}

// Answers the next message box with the button captioned `button` once it is on screen, and
// keeps its text in `seen`. The box is modal: the event that opens it returns only after this.
void AnswerNextBox(const QString& button, QString* seen);

// The help file's text as a reader sees it (tags gone, entities read, blanks collapsed, lower
// case), and whether a control's caption (mnemonic '&', line breaks and
// a closing ':' dropped) is named in it.
QString HelpText(const std::string& helpPath);
bool NamedInHelp(const QString& helpText, QString caption);

// A program over `folder`, started, with its window on screen and active (each wait ends as
// soon as it holds, at most `timeoutMs`).
std::unique_ptr<gui::Program> Started(ProgramFolder& folder, int timeoutMs = 20000);

} // namespace gui_testing
