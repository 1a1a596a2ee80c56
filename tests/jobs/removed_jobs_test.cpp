// Deleted jobs kept whole and put back: where they stood while the queue kept its length, after
// the last job once it changed, every value as it was, a run's marks left out.
#include "jobs/job_store.h"
#include "jobs/removed_jobs.h"
#include "store/paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace jobs;
using testing_support::TempStore;

namespace {

std::vector<std::string> RemovedJobNames(store::KeyStore& s) {
    std::vector<std::string> names;
    for (const JobListEntry& e : ReadJobNames(s)) {
        names.push_back(e.name);
    }
    return names;
}

void FillRemovedJobs(store::KeyStore& s, int count) {
    for (int i = 0; i < count; ++i) {
        JobRecord r;
        r.name = std::string(1, static_cast<char>('a' + i));
        r.status = i % 2 ? kStatusComplete : kStatusPending;
        int p = i;
        ASSERT_TRUE(AppendJobRecord(s, r, p, {{kOutputNumber, i + 2}}));
    }
}

} // namespace

TEST(RemovedJobs, UndoPutsJobsBackWhereTheyStood) {
    const struct {
        std::vector<int> gone;
        bool changed; // a job was added after the delete
        std::vector<std::string> after;
    } cases[] = {
        {{0}, false, {"a", "b", "c", "d", "e", "f"}},
        {{5}, false, {"a", "b", "c", "d", "e", "f"}},
        {{1, 2, 4}, false, {"a", "b", "c", "d", "e", "f"}},
        {{0, 1, 2, 3, 4, 5}, false, {"a", "b", "c", "d", "e", "f"}},
        {{1, 4}, true, {"a", "c", "d", "f", "new", "b", "e"}},
    };
    for (const auto& c : cases) {
        TempStore t;
        store::KeyStore& s = t.Store();
        FillRemovedJobs(s, 6);
        RemovedJobs removed;
        ASSERT_TRUE(ReadRemovedJobs(s, c.gone, removed));
        EXPECT_EQ(removed.names.size(), c.gone.size());
        ASSERT_TRUE(DeleteJobsAt(s, c.gone, 6));
        removed.countAfter = JobCount(s);
        // What a run had marked on a job does not come back with it.
        removed.values.front().push_back(store::Value{"Run Key", store::kTypeString, "r1"});
        if (c.changed) {
            JobRecord r;
            r.name = "new";
            int p = 0;
            ASSERT_TRUE(AppendJobRecord(s, r, p));
        }
        std::vector<int> at;
        ASSERT_TRUE(RestoreRemovedJobs(s, removed, at));
        EXPECT_EQ(RemovedJobNames(s), c.after);
        EXPECT_EQ(at == c.gone, !c.changed);
        // Every value came back with its job, status and numbers beside the record included.
        for (size_t k = 0; k < at.size(); ++k) {
            JobRecord r;
            ASSERT_TRUE(ReadJobRecord(s, at[k], r));
            EXPECT_EQ(r.status, c.gone[k] % 2 ? kStatusComplete : kStatusPending);
            int number = 0;
            EXPECT_TRUE(GetJobNumber(s, at[k], kOutputNumber, number));
            EXPECT_EQ(number, c.gone[k] + 2);
        }
        std::string mark;
        EXPECT_FALSE(GetJobString(s, at.front(), "Run Key", kWholeValue, mark));
    }

    // Room that does not fit, or positions out of order, changes nothing.
    TempStore t;
    store::KeyStore& s = t.Store();
    FillRemovedJobs(s, 3);
    store::Key key = s.OpenKey(store::kHive, store::kJobsPath, store::Access::All);
    EXPECT_FALSE(s.OpenPositionsAt(key, {5}, 3));
    EXPECT_FALSE(s.OpenPositionsAt(key, {2, 1}, 3));
    EXPECT_FALSE(s.OpenPositionsAt(key, {1, 1}, 3));
    EXPECT_EQ(RemovedJobNames(s), (std::vector<std::string>{"a", "b", "c"}));
}
