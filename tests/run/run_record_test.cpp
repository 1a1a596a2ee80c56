// Finding the job a run marked, and what happens to a job that could not be marked.
#include "jobs/job_store.h"
#include "run/run_record.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using testing_support::TempStore;

TEST(RunRecord, AJobIsFoundByItsKeyAndAnUnmarkedOneByItsPositionNeverAtAStrayKey) {
    TempStore t;
    auto& s = t.Store();
    for (int i = 0; i < 4; ++i) {
        jobs::JobRecord r;
        r.name = "job " + std::to_string(i);
        ASSERT_TRUE(jobs::WriteJobRecord(s, i, r));
    }
    ASSERT_TRUE(jobs::SetJobString(s, 2, run::kRunKeyValue, "k2"));
    struct Case {
        const char* key;
        int hint;
        int found;
    };
    for (const Case& c : {Case{"k2", 2, 2}, Case{"k2", 0, 2}, Case{"gone", 2, -1}, Case{"", 3, 3},
                          Case{"", -1, -1}}) {
        EXPECT_EQ(run::FindJobByRunKey(s, c.key, c.hint), c.found) << c.key << " " << c.hint;
    }
    // A job lost from the queue writes nothing: no key "-1" appears beside the jobs.
    EXPECT_FALSE(jobs::SetJobString(s, -1, jobs::kStatus, jobs::kStatusComplete));
    EXPECT_FALSE(jobs::SetJobNumber(s, -1, jobs::kPasses, 2));
    EXPECT_FALSE(jobs::WriteJobRecord(s, -1, jobs::JobRecord{}));
    EXPECT_FALSE(s.OpenKey(store::kHive, jobs::JobKeyPath(-1), store::Access::Read));
    EXPECT_EQ(jobs::JobCount(s), 4);
}
