// The job list's indexed queries: count, first pending, status counts, pages of rows and
// renumbering deletes, checked against the plain per-key readers, whoever wrote the file.
#include "jobs/job_store.h"
#include "store/paths.h"
#include "store/sqlite_db.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace jobs;
using store::kHive;
using testing_support::TempStore;

namespace {

JobRecord QueryJob(const std::string& name, const std::string& status) {
    JobRecord r;
    r.status = status;
    r.name = name;
    r.input = "/v/" + name + ".avi";
    r.templateKey = "1";
    r.telecide = name.size() % 2;
    return r;
}

void Fill(store::KeyStore& s, const std::vector<std::string>& statuses) {
    store::KeyStore::Transaction unit(s);
    for (size_t i = 0; i < statuses.size(); ++i) {
        ASSERT_TRUE(WriteJobRecord(s, static_cast<int>(i),
                                   QueryJob("job " + std::to_string(i), statuses[i])));
    }
    ASSERT_TRUE(unit.Commit());
}

// The plain reader: one status read per position.
int PlainFirstPending(store::KeyStore& s, int count) {
    for (int j = 0; j < count; ++j) {
        std::string status;
        if (GetJobString(s, j, kStatus, kStatusSearchCapacity, status) && status == "Pending") {
            return j;
        }
    }
    return -1;
}

} // namespace

TEST(JobQueries, PageBoundariesAndRowValues) {
    TempStore t;
    std::vector<std::string> statuses;
    for (int i = 0; i < 130; ++i) {
        statuses.push_back(i % 3 == 0 ? "Pending" : i % 3 == 1 ? "Complete" : "Error");
    }
    Fill(t.Store(), statuses);
    ASSERT_EQ(JobCount(t.Store()), 130);
    // A page that runs past the end holds only the jobs that exist; pages join without a gap.
    std::vector<JobRow> first = ReadJobPage(t.Store(), 0, 64);
    std::vector<JobRow> second = ReadJobPage(t.Store(), 64, 64);
    std::vector<JobRow> last = ReadJobPage(t.Store(), 128, 64);
    ASSERT_EQ(first.size(), 64u);
    ASSERT_EQ(second.size(), 64u);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(first.back().position, 63);
    EXPECT_EQ(second.front().position, 64);
    EXPECT_EQ(last.back().position, 129);
    EXPECT_TRUE(ReadJobPage(t.Store(), 130, 10).empty());
    for (const std::vector<JobRow>* page : {&first, &second, &last}) {
        for (const JobRow& row : *page) {
            EXPECT_EQ(row.name, "job " + std::to_string(row.position));
            EXPECT_EQ(row.image, JobStatusImage(t.Store(), row.position));
            EXPECT_EQ(row.input, "/v/" + row.name + ".avi");
            EXPECT_EQ(row.templateKey, "1");
            EXPECT_EQ(row.telecide, static_cast<int>(row.name.size() % 2));
        }
    }
}

TEST(JobQueries, FirstPendingAndCountsFollowEveryWrite) {
    TempStore t;
    store::KeyStore& s = t.Store();
    Fill(s, {"Complete", "Error", "pending", "Pending", "Pending"});
    EXPECT_EQ(FindFirstPending(s, 5), 3);
    EXPECT_EQ(FindFirstPending(s, 3), -1); // only positions below the count
    // From a position on, as the cluster's run walks the pending jobs past the ones it holds.
    EXPECT_EQ(FindFirstPending(s, 5, 4), 4);
    EXPECT_EQ(FindFirstPending(s, 5, 5), -1);
    EXPECT_EQ(FindFirstPending(s, 4, 4), -1);
    JobStatusCounts c = CountJobStatuses(s, 5);
    EXPECT_EQ(c.pending, 2);
    EXPECT_EQ(c.complete, 1);
    EXPECT_EQ(c.error, 1);
    EXPECT_EQ(c.other, 1);

    // A status with a zero byte inside reads as its text before it; a deleted status is gone.
    ASSERT_TRUE(s.WriteValue(kHive, JobKeyPath(0),
                             {"STATUS", store::kTypeString, std::string("Pending\0x", 9)}));
    EXPECT_EQ(FindFirstPending(s, 5), PlainFirstPending(s, 5));
    EXPECT_EQ(FindFirstPending(s, 5), 0);
    ASSERT_TRUE(s.DeleteTree(kHive, JobKeyPath(0)));
    ASSERT_TRUE(s.WriteNumber(kHive, JobKeyPath(0), "Method", 1));
    EXPECT_EQ(FindFirstPending(s, 5), 3);
    EXPECT_EQ(CountJobStatuses(s, 5).other, 2);

    // Another connection (another program) writes: the answers follow it.
    store::KeyStore other;
    ASSERT_TRUE(other.Open(t.Path()));
    ASSERT_TRUE(SetJobString(other, 1, kStatus, kStatusPending));
    ASSERT_TRUE(SwapJobs(other, 1, 4));
    EXPECT_EQ(FindFirstPending(s, 5), 1);
    ASSERT_TRUE(SetJobString(other, 1, kStatus, kStatusComplete));
    EXPECT_EQ(FindFirstPending(s, 5), 3);
    ASSERT_TRUE(SetJobString(other, 2, kStatus, kStatusPending));
    EXPECT_EQ(FindFirstPending(s, 5), 2);
    EXPECT_EQ(FindFirstPending(s, 5), PlainFirstPending(s, 5));

    // The counts, asked again and again, follow every change, whoever makes it, and a change
    // undone is not counted.
    EXPECT_EQ(JobCount(s), 5);
    EXPECT_EQ(CountJobStatuses(s, 5).pending, 3);
    int added = 0;
    ASSERT_TRUE(AppendJobRecord(other, QueryJob("more", kStatusPending), added));
    EXPECT_EQ(JobCount(s), 6);
    EXPECT_EQ(CountJobStatuses(s, 6).pending, 4);
    {
        store::KeyStore::Transaction undone(s);
        ASSERT_TRUE(WriteJobRecord(s, 6, QueryJob("undone", kStatusPending)));
        EXPECT_EQ(JobCount(s), 7);
        EXPECT_EQ(CountJobStatuses(s, 7).pending, 5);
    }
    EXPECT_EQ(JobCount(s), 6);
    EXPECT_EQ(CountJobStatuses(s, 7).pending, 4);
    ASSERT_TRUE(SetJobString(s, 5, kStatus, kStatusComplete));
    EXPECT_EQ(CountJobStatuses(s, 6).pending, 3);
    ASSERT_TRUE(DeleteJobAt(other, 0, 6));
    EXPECT_EQ(JobCount(s), 5);
}

TEST(JobQueries, CountStopsAtAGapAndIgnoresOtherNames) {
    TempStore t;
    store::KeyStore& s = t.Store();
    Fill(s, {"Pending", "Pending", "Pending", "Pending"});
    store::Key jobs = s.OpenKey(kHive, store::kJobsPath, store::Access::All);
    ASSERT_TRUE(s.WriteNumber(jobs, "Temp", "Method", 0));
    ASSERT_TRUE(s.WriteNumber(jobs, "007", "Method", 0));
    EXPECT_EQ(JobCount(s), 4);
    ASSERT_TRUE(s.DeleteTree(jobs, "2"));
    EXPECT_EQ(JobCount(s), 2);
    ASSERT_TRUE(s.DeleteTree(jobs, "0"));
    EXPECT_EQ(JobCount(s), 0);
}

TEST(JobQueries, DeletingSeveralKeepsTheOrderOfTheRest) {
    TempStore t;
    store::KeyStore& s = t.Store();
    Fill(s, {"Pending", "Complete", "Pending", "Error", "Pending", "Complete"});
    ASSERT_TRUE(DeleteJobsAt(s, {4, 0, 4, 2}, 6));
    std::vector<std::string> names;
    for (const JobListEntry& e : ReadJobNames(s)) {
        names.push_back(e.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"job 1", "job 3", "job 5"}));
    EXPECT_EQ(JobCount(s), 3);
    EXPECT_EQ(FindFirstPending(s, 3), -1);
    EXPECT_FALSE(DeleteJobsAt(s, {3}, 3));
    EXPECT_EQ(JobCount(s), 3);

    // Keys no longer in the order they were written (after moves) are renamed all the same.
    TempStore m;
    store::KeyStore& w = m.Store();
    Fill(w, {"Pending", "Pending", "Pending", "Pending", "Pending", "Pending"});
    ASSERT_TRUE(SwapJobs(w, 1, 4));
    ASSERT_TRUE(SwapJobs(w, 2, 5));
    ASSERT_TRUE(DeleteJobAt(w, 0, 6));
    ASSERT_TRUE(DeleteJobsAt(w, {1}, 5));
    names.clear();
    for (const JobListEntry& e : ReadJobNames(w)) {
        names.push_back(e.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"job 4", "job 3", "job 1", "job 2"}));

    // Runs of deleted jobs among kept ones, the first and the last included, and a job with a
    // sub-key of its own: the rest close up with their own values, nothing of the others stays.
    TempStore u;
    store::KeyStore& v = u.Store();
    std::vector<std::string> statuses(40, "Complete");
    statuses[37] = "Pending";
    Fill(v, statuses);
    ASSERT_TRUE(v.WriteString(kHive, std::string(store::kJobsPath) + "\\5\\extra", "x", "y"));
    std::vector<int> gone = {0, 1, 5, 6, 7, 20, 39};
    ASSERT_TRUE(DeleteJobsAt(v, gone, 40));
    ASSERT_EQ(JobCount(v), 33);
    int position = 0;
    for (int old = 0; old < 40; ++old) {
        if (std::find(gone.begin(), gone.end(), old) != gone.end()) {
            continue;
        }
        JobRecord r;
        ASSERT_TRUE(ReadJobRecord(v, position, r));
        EXPECT_EQ(r.name, "job " + std::to_string(old)) << position;
        EXPECT_EQ(r.input, "/v/job " + std::to_string(old) + ".avi") << position;
        ++position;
    }
    EXPECT_EQ(FindFirstPending(v, 33), 37 - 6);
    EXPECT_EQ(FindFirstPending(v, 33), PlainFirstPending(v, 33));
    std::vector<std::string> keys;
    ASSERT_TRUE(v.EnumSubKeys(v.OpenKey(kHive, store::kJobsPath, store::Access::Read), keys));
    EXPECT_EQ(keys.size(), 33u);
    EXPECT_FALSE(v.OpenKey(kHive, std::string(store::kJobsPath) + "\\33", store::Access::Read));
}

TEST(JobQueries, AnOlderStoreGetsItsIndexWhenOpened) {
    testing_support::TempDir dir;
    std::string path = dir.File("old.sqlite");
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(path));
        Fill(s, {"Complete", "Pending"});
        ASSERT_TRUE(SetJobString(s, 1, "Run Handle", "local pid=1"));
    }
    // Back to the first schema, as an older program left it.
    store::SqliteDb db;
    std::string error;
    ASSERT_TRUE(db.Open(path, error));
    ASSERT_TRUE(
        db.Exec("DROP TRIGGER vals_status_insert; DROP TRIGGER vals_status_update;"
                "DROP TRIGGER vals_status_delete; DROP INDEX keys_position;"
                "DROP INDEX keys_status; DROP INDEX vals_run_key; DROP INDEX vals_run_handle;"
                "DROP INDEX vals_input_stem;"
                " ALTER TABLE keys DROP COLUMN status;"
                "ALTER TABLE keys DROP COLUMN pos; UPDATE meta SET value = 1",
                error))
        << error;
    store::KeyStore s;
    ASSERT_TRUE(s.Open(path)) << s.LastError();
    EXPECT_EQ(JobCount(s), 2);
    EXPECT_EQ(FindFirstPending(s, 2), 1);
    EXPECT_EQ(JobsHoldingValue(s, "Run Handle", 2), std::vector<int>{1});
}
