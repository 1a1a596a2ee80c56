// libFuzzer target: CCEData job lists, from the line split to the editor steps of each line.
#include "jobs/job_builder.h"
#include "platform/control_ids.h"
#include "platform/memory_dialog.h"
#include "run/cce_data.h"
#include "support/fuzz_support.h"

#include <string>

using namespace platform::main_window;

namespace {

// The editor's part, reduced to what the import reads back: a readable source of 1000 frames.
class Builder : public jobs::JobBuilder {
public:
    explicit Builder(platform::Dialog& dialog) : m_Dialog(dialog) {}
    bool ShowSourceInfo(const std::string&) override { return false; }
    void FillNewJob(const std::string& path) override {
        m_Dialog.SetText(kInputFile, path);
        m_Dialog.SetSpinRange(kStartFrameSpin, 0, 999);
        m_Dialog.SetSpinRange(kEndFrameSpin, 1, 1000);
        m_Dialog.SetText(kStartFrame, "0");
        m_Dialog.SetText(kEndFrame, "1000");
    }
    void SelectTemplate(int) override {}
    void ApplyAutoBias() override {}
    void AddOrReplaceJob() override { ++added; }
    int added = 0;

private:
    platform::Dialog& m_Dialog;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines = run::CceDataLines(text);
    size_t first = 0;
    std::string version = run::CceDataVersion(lines, first);
    fuzz_support::Check(first <= lines.size(), "the first data line is a line");
    for (const std::string& line : lines) {
        fuzz_support::Check(!line.empty(), "no empty line");
        for (const std::string& field : run::CceDataFields(line)) {
            fuzz_support::Check(!field.empty() && field.find(',') == std::string::npos,
                                "fields are non-empty and hold no comma");
        }
    }

    // The whole import, with two templates in the list.
    std::string path = fuzz_support::WriteInput("jobs.txt", data, size);
    fuzz_support::NullLogView view;
    logging::Log log(view, std::string());
    platform::MemoryDialog dialog(platform::MainWindowControls());
    dialog.InsertRow(kTemplateList, -1, "first");
    dialog.InsertRow(kTemplateList, -1, "second");
    Builder builder(dialog);
    int added = run::ImportCceData(path, builder, dialog, log, run::SleepFor());
    fuzz_support::Check(added == builder.added, "every job counted is added");
    fuzz_support::Check(added <= static_cast<int>(lines.size()), "at most a job per line");
    return 0;
}
