// A job list read in slices: a slice the store refuses midway is undone whole and said so; the
// next list is stored whole, with one summary line.
#include "jobs/job_builder.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/memory_dialog.h"
#include "run/cce_data_import.h"
#include "store/sqlite_db.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace platform::main_window;

namespace {

// Builds each job from the source's name alone and stores it as Add does.
class StoringBuilder : public jobs::JobBuilder {
public:
    StoringBuilder(store::KeyStore& store, platform::Dialog& dialog)
        : m_Store(store), m_Dialog(dialog) {}
    bool ShowSourceInfo(const std::string&) override { return false; }
    void FillNewJob(const std::string& path) override { m_Name = path; }
    void SelectTemplate(int) override {}
    void ApplyAutoBias() override {}
    void AddOrReplaceJob() override {
        jobs::JobRecord job;
        job.name = m_Name;
        int position = m_Dialog.GetCount(kJobList);
        if (jobs::AppendJobRecord(m_Store, job, position)) {
            m_Dialog.InsertRow(kJobList, -1, m_Name, jobs::kImagePending);
        }
    }

private:
    store::KeyStore& m_Store;
    platform::Dialog& m_Dialog;
    std::string m_Name;
};

struct ImportRig {
    testing_support::TempStore store;
    testing_support::TempDir dir;
    platform::MemoryDialog dialog{platform::MainWindowControls()};
    testing_support::LogLines lines;
    logging::Log log{lines, ""};
    StoringBuilder builder{store.Store(), dialog};

    ImportRig() { dialog.InsertRow(kTemplateList, -1, "template"); }

    std::string List(int lines) {
        std::string path = dir.File("list.txt");
        std::ofstream out(path);
        for (int i = 0; i < lines; ++i) {
            out << "/v/clip" << i << ".avi,0,9800,5000,0,2\n";
        }
        return path;
    }
    int Import(const std::string& path) {
        run::CceDataImport import(path, builder, dialog, log, store.Store());
        if (!import.Begin()) {
            return -1;
        }
        while (import.Step(nullptr, 0)) {
        }
        import.End();
        return import.Added();
    }
};

} // namespace

TEST(CceDataImport, ASliceRefusedMidwayIsUndoneWhole) {
    ImportRig rig;
    std::string path = rig.List(12);
    // The eighth job of the slice is refused by the store itself.
    store::SqliteDb db;
    std::string error;
    ASSERT_TRUE(db.Open(rig.store.Path(), error));
    ASSERT_TRUE(db.Exec("CREATE TRIGGER refuse AFTER INSERT ON keys WHEN NEW.name = '7' "
                        "BEGIN SELECT RAISE(ABORT, 'refused'); END",
                        error))
        << error;
    EXPECT_EQ(rig.Import(path), 0);
    EXPECT_EQ(jobs::JobCount(rig.store.Store()), 0);
    EXPECT_EQ(rig.dialog.GetCount(kJobList), 0);
    EXPECT_TRUE(rig.lines.Has("2 ERROR: CCEData lines 1 to 12 were not stored (refused); no job "
                              "of them was added."));
    EXPECT_EQ(rig.lines.rows.back(), "2 Job list " + path + ": 0 jobs added, 12 jobs not stored");

    ASSERT_TRUE(db.Exec("DROP TRIGGER refuse", error));
    EXPECT_EQ(rig.Import(path), 12);
    EXPECT_EQ(jobs::JobCount(rig.store.Store()), 12);
    EXPECT_EQ(rig.lines.rows.back(), "0 Job list " + path + ": 12 jobs added");
}

TEST(CceDataImport, LongListsGoInSeveralSlices) {
    ImportRig rig;
    std::string path = rig.List(run::CceDataImport::kSliceLines + 3);
    run::CceDataImport import(path, rig.builder, rig.dialog, rig.log, rig.store.Store());
    ASSERT_TRUE(import.Begin());
    EXPECT_TRUE(import.Step(nullptr, 0));
    EXPECT_EQ(jobs::JobCount(rig.store.Store()), run::CceDataImport::kSliceLines);
    EXPECT_FALSE(import.Step(nullptr, 0));
    import.End();
    EXPECT_EQ(import.Added(), run::CceDataImport::kSliceLines + 3);
    EXPECT_EQ(rig.dialog.GetCount(kJobList), run::CceDataImport::kSliceLines + 3);
}
