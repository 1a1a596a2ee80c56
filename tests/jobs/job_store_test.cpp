// Job store: record round trip, swap, delete, clear, pending search, status images, names.
#include "jobs/job_store.h"
#include "store/paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace jobs;
using store::Access;
using store::kHive;
using testing_support::TempStore;

namespace {

JobRecord Job(const std::string& name, const std::string& status = kStatusPending) {
    JobRecord r;
    r.status = status;
    r.name = name;
    r.input = "/v/" + name + ".avi";
    r.templateKey = "2";
    r.method = 2;
    r.telecide = 1;
    r.aspectRatio = 3;
    r.bitrateMin = 0;
    r.bitrateMax = 9800;
    r.bitrateAvg = 5000;
    r.qFactor = 300;
    r.bias = 100;
    r.passes = 9;
    r.quality = 100;
    r.startFrame = 5;
    r.endFrame = 1234;
    r.convertToFilm = 1;
    r.topFieldFirst = 1;
    r.progressive = 1;
    r.alternateScan = 1;
    r.angle = 1;
    r.chapters = "0,500,1000";
    return r;
}

std::vector<std::string> Names(store::KeyStore& s) {
    std::vector<std::string> names;
    for (const auto& e : ReadJobNames(s)) {
        names.push_back(e.name);
    }
    return names;
}

void AddJobs(store::KeyStore& s, std::initializer_list<const char*> names) {
    int i = static_cast<int>(ReadJobNames(s).size());
    for (const char* n : names) {
        ASSERT_TRUE(WriteJobRecord(s, i++, Job(n)));
    }
}

} // namespace

TEST(JobStore, RecordRoundTripWritesAllValuesInOrder) {
    TempStore t;
    JobRecord in = Job("Movie");
    ASSERT_TRUE(WriteJobRecord(t.Store(), 4, in));
    EXPECT_EQ(JobKeyPath(4), "Software\\Pellmoor\\Vantaq\\Jobs\\4");
    JobRecord out;
    ASSERT_TRUE(ReadJobRecord(t.Store(), 4, out));
    EXPECT_EQ(out, in);

    std::vector<store::Value> values;
    ASSERT_TRUE(
        t.Store().EnumValues(t.Store().OpenKey(kHive, JobKeyPath(4), Access::Read), values));
    std::vector<std::string> names;
    for (const auto& v : values) {
        names.push_back(v.name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{
                  "Status",   "Name",          "Input",         "Template",      "Method",
                  "Telecide", "Aspect Ratio",  "Bitrate (min)", "Bitrate (max)", "Bitrate (avg)",
                  "Q factor", "Bias",          "Passes",        "Quality",       "StartFrame",
                  "EndFrame", "ConvertToFilm", "TopFieldFirst", "Progressive",   "Alternate Scan",
                  "Angle",    "Chapters"}));
    // Readers use other capitals than the writer.
    int n = 0;
    ASSERT_TRUE(GetJobNumber(t.Store(), 4, "Aspect ratio", n));
    EXPECT_EQ(n, 3);
    ASSERT_TRUE(GetJobNumber(t.Store(), 4, "Alternate scan", n));
    EXPECT_EQ(n, 1);
}

TEST(JobStore, SingleValuesAndCapacities) {
    TempStore t;
    auto& s = t.Store();
    ASSERT_TRUE(SetJobNumber(s, 0, kStartFrame, -1));
    int n = 0;
    ASSERT_TRUE(GetJobNumber(s, 0, kStartFrame, n));
    EXPECT_EQ(n, -1);
    ASSERT_TRUE(SetJobString(s, 0, kName, std::string(259, 'n')));
    std::string name;
    EXPECT_TRUE(GetJobString(s, 0, kName, kNameRowCapacity, name));
    EXPECT_FALSE(GetJobString(s, 0, kName, kEditorTextCapacity, name));
    EXPECT_FALSE(GetJobString(s, 1, kName, kNameRowCapacity, name));
}

TEST(JobStore, DeleteFirstOfThreeKeepsOrder) {
    TempStore t;
    auto& s = t.Store();
    AddJobs(s, {"a", "b", "c"});
    DeleteJobAt(s, 0, 3);
    EXPECT_EQ(Names(s), (std::vector<std::string>{"b", "c"}));
    EXPECT_FALSE(s.OpenKey(kHive, JobKeyPath(2), Access::Read));
    JobRecord r;
    ASSERT_TRUE(ReadJobRecord(s, 0, r));
    EXPECT_EQ(r, Job("b"));
}

TEST(JobStore, DeleteLastAndMiddleAndOutOfRange) {
    TempStore t;
    auto& s = t.Store();
    AddJobs(s, {"a", "b", "c", "d"});
    DeleteJobAt(s, 3, 4);
    EXPECT_EQ(Names(s), (std::vector<std::string>{"a", "b", "c"}));
    DeleteJobAt(s, 1, 3);
    EXPECT_EQ(Names(s), (std::vector<std::string>{"a", "c"}));
    // A position beyond the queue deletes nothing rather than some other job.
    DeleteJobAt(s, 5, 2);
    DeleteJobAt(s, -1, 2);
    EXPECT_EQ(Names(s), (std::vector<std::string>{"a", "c"}));
}

TEST(JobStore, SwapExchangesWholeJobsAndLeavesNoTemp) {
    TempStore t;
    auto& s = t.Store();
    AddJobs(s, {"a", "b", "c", "d"});
    ASSERT_TRUE(SetJobString(s, 3, kChapters, std::string(4000, '7')));
    SwapJobs(s, 2, 3);
    EXPECT_EQ(Names(s), (std::vector<std::string>{"a", "b", "d", "c"}));
    std::string chapters;
    ASSERT_TRUE(GetJobString(s, 2, kChapters, 4001, chapters));
    EXPECT_EQ(chapters.size(), 4000u);
    EXPECT_FALSE(s.OpenKey(kHive, std::string(store::kJobsPath) + "\\Temp", Access::Read));
    // With a missing partner nothing moves.
    SwapJobs(s, 0, 9);
    EXPECT_EQ(Names(s), (std::vector<std::string>{"a", "b", "d", "c"}));
}

TEST(JobStore, SwapClearsAStaleTempKey) {
    TempStore t;
    auto& s = t.Store();
    AddJobs(s, {"a", "b"});
    ASSERT_TRUE(s.WriteString(kHive, std::string(store::kJobsPath) + "\\Temp", "Name", "stale"));
    SwapJobs(s, 0, 1);
    EXPECT_EQ(Names(s), (std::vector<std::string>{"b", "a"}));
    EXPECT_FALSE(s.OpenKey(kHive, std::string(store::kJobsPath) + "\\Temp", Access::Read));
}

TEST(JobStore, ClearLeavesKeysAboveTheCount) {
    TempStore t;
    auto& s = t.Store();
    AddJobs(s, {"a", "b", "c"});
    ClearJobs(s, 2);
    EXPECT_FALSE(s.OpenKey(kHive, JobKeyPath(0), Access::Read));
    EXPECT_FALSE(s.OpenKey(kHive, JobKeyPath(1), Access::Read));
    EXPECT_TRUE(s.OpenKey(kHive, JobKeyPath(2), Access::Read));
}

TEST(JobStore, FindFirstPendingComparesExactly) {
    TempStore t;
    auto& s = t.Store();
    EXPECT_EQ(FindFirstPending(s, 0), -1);
    AddJobs(s, {"a", "b", "c", "d"});
    SetJobString(s, 0, kStatus, kStatusComplete);
    SetJobString(s, 1, kStatus, kStatusError);
    EXPECT_EQ(FindFirstPending(s, 4), 2);
    SetJobString(s, 2, kStatus, "pending");
    SetJobString(s, 3, kStatus, "Pending ");
    EXPECT_EQ(FindFirstPending(s, 4), -1);
    SetJobString(s, 3, kStatus, kStatusPending);
    EXPECT_EQ(FindFirstPending(s, 3), -1); // the count bounds the search
    EXPECT_EQ(FindFirstPending(s, 4), 3);
}

TEST(JobStore, StatusImages) {
    TempStore t;
    auto& s = t.Store();
    AddJobs(s, {"a", "b", "c", "d", "e"});
    SetJobString(s, 1, kStatus, kStatusComplete);
    SetJobString(s, 2, kStatus, kStatusError);
    SetJobString(s, 3, kStatus, "Weird");
    s.WriteString(kHive, JobKeyPath(4), kStatus, std::string(25, 'P')); // too long to read
    EXPECT_EQ(JobStatusImage(s, 0), kImagePending);
    EXPECT_EQ(JobStatusImage(s, 1), kImageComplete);
    EXPECT_EQ(JobStatusImage(s, 2), kImageError);
    EXPECT_EQ(JobStatusImage(s, 3), kImageComplete);
    EXPECT_EQ(JobStatusImage(s, 4), kImageComplete);
    EXPECT_EQ(JobStatusImage(s, 9), kImageComplete);
}

TEST(JobStore, EveryJobIsListedAndReadWholeAndAddNeverOverwrites) {
    TempStore t;
    auto& s = t.Store();
    AddJobs(s, {"a", "b", "c", "d", "e", "f"});
    SetJobString(s, 1, kStatus, kStatusError);
    std::string longName(1024, 'x');
    ASSERT_TRUE(s.WriteString(kHive, JobKeyPath(3), kName, longName));
    auto entries = ReadJobNames(s);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[1].image, kImageError);
    EXPECT_EQ(entries[3].name, longName);
    EXPECT_EQ(entries[5].name, "f");

    // Long values survive a load and a rewrite whole.
    JobRecord job;
    ASSERT_TRUE(ReadJobRecord(s, 3, job));
    job.input = "/" + std::string(273, 'p');
    job.chapters = std::string(3000, '1');
    ASSERT_TRUE(WriteJobRecord(s, 3, job));
    JobRecord back;
    ASSERT_TRUE(ReadJobRecord(s, 3, back));
    EXPECT_EQ(back, job);

    for (int guess : {0, 3, 7, 20}) {
        int position = guess;
        int count = JobCount(s);
        ASSERT_TRUE(AppendJobRecord(s, job, position));
        EXPECT_EQ(position, count) << guess;
        EXPECT_EQ(JobCount(s), count + 1);
    }
}
