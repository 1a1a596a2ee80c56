// libFuzzer target: CCEData job lists as the program reads them, from the file's lines to the
// editor steps of each line, in slices stored as transactions.
#include "jobs/job_builder.h"
#include "platform/control_ids.h"
#include "platform/memory_dialog.h"
#include "run/cce_data.h"
#include "run/cce_data_import.h"
#include "run/job_list_lines.h"
#include "store/key_store.h"
#include "support/fuzz_support.h"

#include <string>

using namespace platform::main_window;

namespace {

// The editor's part, reduced to what the import reads back: a readable source of 1000 frames.
class CountingBuilder : public jobs::JobBuilder {
public:
    explicit CountingBuilder(platform::Dialog& dialog) : m_Dialog(dialog) {}
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
    std::string path = fuzz_support::WriteInput("jobs.txt", data, size);
    // The lines the reader gives are text within the limits.
    run::JobListLines reader;
    std::string error;
    size_t lines = 0;
    bool text = true;
    if (reader.Open(path, error)) {
        std::string line;
        run::JobListLines::Result result;
        while ((result = reader.Next(line)) == run::JobListLines::Result::kLine) {
            ++lines;
            fuzz_support::Check(
                !line.empty() && line != "\r" && line.size() <= run::kMaxJobListLineBytes &&
                    line.find('\0') == std::string::npos && line.find('\n') == std::string::npos,
                "lines are non-empty text within the limit");
            for (const std::string& field : run::CceDataFields(line)) {
                fuzz_support::Check(!field.empty() && field.find(',') == std::string::npos,
                                    "fields are non-empty and hold no comma");
            }
        }
        text = result == run::JobListLines::Result::kEnd;
        fuzz_support::Check(text || !reader.Error().empty(), "a refused line is named");
    }

    // The whole import, with two templates in the list.
    static store::KeyStore* store = [] {
        auto* s = new store::KeyStore();
        if (!s->Open(fuzz_support::ScratchDir() + "/store.sqlite")) {
            std::abort();
        }
        return s;
    }();
    fuzz_support::NullLogView view;
    logging::Log log(view, std::string());
    platform::MemoryDialog dialog(platform::MainWindowControls());
    dialog.InsertRow(kTemplateList, -1, "first");
    dialog.InsertRow(kTemplateList, -1, "second");
    CountingBuilder builder(dialog);
    run::CceDataImport import(path, builder, dialog, log, *store);
    if (import.Begin()) {
        fuzz_support::Check(text, "a file with a refused line is not read");
        while (import.Step(nullptr, 0)) {
        }
        import.End();
    }
    fuzz_support::Check(import.Added() == builder.added, "every job counted is added");
    fuzz_support::Check(import.Added() <= static_cast<int>(lines), "at most a job per line");
    return 0;
}
