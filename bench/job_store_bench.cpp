// Job store speed: adds, delete at the head, name list and pending search on long queues,
// each beside a plain SQLite baseline measured in the same run.
#include "jobs/job_store.h"
#include "store/key_store.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace {

double Seconds(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

jobs::JobRecord Record(int i) {
    jobs::JobRecord r;
    r.name = "Job number " + std::to_string(i);
    r.input = "/srv/video/source-" + std::to_string(i) + ".avi";
    r.templateKey = "1";
    r.bitrateMax = 8000;
    r.bitrateAvg = 5000;
    r.chapters = "0,1000,2000,3000";
    return r;
}

// The same number of rows as a queue's values, inserted with one prepared statement in one
// transaction on a file with the store's durability settings.
double PlainInserts(const std::string& path, int rows) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                 "CREATE TABLE t (k INTEGER, name TEXT, data BLOB)",
                 nullptr, nullptr, nullptr);
    double s = Seconds([&] {
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?1, ?2, ?3)", -1, &st, nullptr);
        for (int i = 0; i < rows; ++i) {
            sqlite3_bind_int(st, 1, i / 22);
            sqlite3_bind_text(st, 2, "Bitrate (avg)", -1, SQLITE_STATIC);
            sqlite3_bind_blob(st, 3, "abcd", 4, SQLITE_STATIC);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    });
    sqlite3_close(db);
    return s;
}

void Report(const char* what, double seconds, double limit, double baseline) {
    std::printf("%-44s %8.3f s  (limit %.2f s, %s)  %7.1f x baseline\n", what, seconds, limit,
                seconds <= limit ? "ok" : "OVER", seconds / baseline);
}

} // namespace

int main() {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "vantaq-bench-jobs";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);

    double baseline1k = PlainInserts((dir / "plain1.sqlite").string(), 1000 * 22);
    double baseline10k = PlainInserts((dir / "plain10.sqlite").string(), 10000 * 22);
    std::printf("baseline: %d plain inserts in one transaction %.3f s; %d: %.3f s\n", 22000,
                baseline1k, 220000, baseline10k);

    store::KeyStore s;
    if (!s.Open((dir / "store.sqlite").string())) {
        std::fprintf(stderr, "%s\n", s.LastError().c_str());
        return 1;
    }
    double add = Seconds([&] {
        for (int i = 0; i < 1000; ++i) {
            jobs::WriteJobRecord(s, i, Record(i));
        }
    });
    Report("add 1,000 jobs (one unit each)", add, 2.0, baseline1k);

    {
        // Fill the rest of the long queue in one unit; every job but the last is done.
        store::KeyStore::Transaction fill(s);
        for (int i = 1000; i < 10000; ++i) {
            jobs::JobRecord r = Record(i);
            r.status = i == 9999 ? jobs::kStatusPending : jobs::kStatusComplete;
            jobs::WriteJobRecord(s, i, r);
        }
        for (int i = 0; i < 1000; ++i) {
            jobs::SetJobString(s, i, jobs::kStatus, jobs::kStatusComplete);
        }
        fill.Commit();
    }
    double names = 0;
    size_t listed = 0;
    names = Seconds([&] { listed = jobs::ReadJobNames(s).size(); });
    Report("ReadJobNames of 10,000 jobs", names, 0.3, baseline10k);
    int found = -1;
    double pending = Seconds([&] { found = jobs::FindFirstPending(s, 10000); });
    Report("FindFirstPending, only the last pending", pending, 0.1, baseline10k);
    double del = Seconds([&] { jobs::DeleteJobAt(s, 0, 10000); });
    Report("DeleteJobAt 0 of 10,000", del, 0.5, baseline10k);
    size_t after = jobs::ReadJobNames(s).size();

    std::filesystem::remove_all(dir);
    if (listed != 10000 || found != 9999 || after != 9999) {
        std::fprintf(stderr, "wrong results: listed %zu, found %d, after delete %zu\n", listed,
                     found, after);
        return 1;
    }
    return 0;
}
