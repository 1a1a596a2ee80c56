// Key store semantics: numbers, strings and capacities, names without case, key creation.
#include "store/key_store.h"
#include "store/reg_file.h"
#include "store/sqlite_db.h"
#include "support/store_faults.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

using store::Access;
using store::KeyStore;
using store::kHive;
using testing_support::TempStore;

namespace {
const char* const kRoot = "Software\\Pellmoor\\Vantaq";
}

TEST(KeyStore, ReadOfMissingPathFailsAndCreatesNothing) {
    TempStore t;
    uint32_t n = 77;
    EXPECT_FALSE(t.Store().ReadNumber(kHive, kRoot, "EnableLogging", n));
    EXPECT_EQ(n, 77u);
    EXPECT_FALSE(t.Store().OpenKey(kHive, "Software", Access::Read));
}

TEST(KeyStore, WriteCreatesAncestorsInOneCall) {
    TempStore t;
    ASSERT_TRUE(t.Store().WriteNumber(kHive, std::string(kRoot) + "\\Jobs\\7", "Passes", 3));
    EXPECT_TRUE(t.Store().OpenKey(kHive, kRoot, Access::Read));
    EXPECT_TRUE(t.Store().OpenKey(kHive, std::string(kRoot) + "\\Jobs", Access::Read));
    uint32_t n = 0;
    ASSERT_TRUE(t.Store().ReadNumber(kHive, std::string(kRoot) + "\\jobs\\7", "passes", n));
    EXPECT_EQ(n, 3u);
}

TEST(KeyStore, NumbersAreFourLittleEndianBytes) {
    TempStore t;
    ASSERT_TRUE(t.Store().WriteNumber(kHive, kRoot, "N", 0xFFFFFFFEu));
    store::Value v;
    ASSERT_TRUE(t.Store().ReadValue(kHive, kRoot, "N", v));
    EXPECT_EQ(v.type, store::kTypeNumber);
    EXPECT_EQ(v.data, std::string("\xFE\xFF\xFF\xFF", 4));
    uint32_t n = 0;
    ASSERT_TRUE(t.Store().ReadNumber(kHive, kRoot, "N", n));
    EXPECT_EQ(static_cast<int32_t>(n), -2);

    // A string longer than four bytes is not a number; a short one is read as one.
    ASSERT_TRUE(t.Store().WriteString(kHive, kRoot, "S", "abcd"));
    EXPECT_FALSE(t.Store().ReadNumber(kHive, kRoot, "S", n));
    ASSERT_TRUE(t.Store().WriteString(kHive, kRoot, "T", "ab"));
    ASSERT_TRUE(t.Store().ReadNumber(kHive, kRoot, "T", n));
    EXPECT_EQ(n, 0x6261u);
}

TEST(KeyStore, StringCapacityCountsTheTerminator) {
    TempStore t;
    std::string s24(24, 'x'), s25(25, 'y');
    ASSERT_TRUE(t.Store().WriteString(kHive, kRoot, "A", s24));
    ASSERT_TRUE(t.Store().WriteString(kHive, kRoot, "B", s25));
    std::string out = "kept";
    ASSERT_TRUE(t.Store().ReadString(kHive, kRoot, "A", 25, out));
    EXPECT_EQ(out, s24);
    out = "kept";
    EXPECT_FALSE(t.Store().ReadString(kHive, kRoot, "B", 25, out));
    EXPECT_EQ(out, "kept");
    store::Value v;
    ASSERT_TRUE(t.Store().ReadValue(kHive, kRoot, "A", v));
    EXPECT_EQ(v.data.size(), 25u);
    EXPECT_EQ(v.data.back(), '\0');
}

TEST(KeyStore, NamesCompareWithoutCaseAndKeepFirstSpelling) {
    TempStore t;
    ASSERT_TRUE(t.Store().WriteNumber(kHive, kRoot, "Aspect Ratio", 2));
    uint32_t n = 0;
    ASSERT_TRUE(t.Store().ReadNumber(kHive, kRoot, "Aspect ratio", n));
    EXPECT_EQ(n, 2u);
    ASSERT_TRUE(t.Store().WriteNumber(kHive, "SOFTWARE\\pellmoor\\VANTAQ", "ASPECT RATIO", 3));
    std::vector<store::Value> values;
    ASSERT_TRUE(t.Store().EnumValues(t.Store().OpenKey(kHive, kRoot, Access::Read), values));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "Aspect Ratio");
    ASSERT_TRUE(t.Store().ReadNumber(kHive, kRoot, "aspect ratio", n));
    EXPECT_EQ(n, 3u);
    std::vector<std::string> keys;
    ASSERT_TRUE(t.Store().EnumSubKeys(t.Store().OpenKey(kHive, "Software", Access::Read), keys));
    EXPECT_EQ(keys, std::vector<std::string>{"Pellmoor"});
}

TEST(KeyStore, EmptyNameIsTheDefaultValue) {
    TempStore t;
    ASSERT_TRUE(t.Store().WriteString(kHive, std::string(kRoot) + "\\template", "", "0123"));
    std::string s;
    ASSERT_TRUE(t.Store().ReadString(kHive, std::string(kRoot) + "\\template", "", 25, s));
    EXPECT_EQ(s, "0123");
    EXPECT_FALSE(t.Store().ReadString(kHive, kRoot, "", 25, s));
}

TEST(KeyStore, WriteStringIfNewOnlyOnCreatedKey) {
    TempStore t;
    std::string path = std::string(kRoot) + "\\template\\0";
    EXPECT_TRUE(t.Store().WriteStringIfNew(kHive, path, "", "Reroziz-Urud"));
    EXPECT_FALSE(t.Store().WriteStringIfNew(kHive, path, "", "Other"));
    // The key exists, the value does not: still nothing is written.
    EXPECT_FALSE(t.Store().WriteStringIfNew(kHive, path, "Missing", "x"));
    std::string s;
    EXPECT_FALSE(t.Store().ReadString(kHive, path, "Missing", 255, s));
    ASSERT_TRUE(t.Store().ReadString(kHive, path, "", 255, s));
    EXPECT_EQ(s, "Reroziz-Urud");
}

TEST(KeyStore, CopyValuesAddsAndReplacesLongValuesWhole) {
    TempStore t;
    auto& s = t.Store();
    std::string longText(5000, 'c');
    ASSERT_TRUE(s.WriteString(kHive, "A", "Chapters", longText));
    ASSERT_TRUE(s.WriteNumber(kHive, "A", "Passes", 4));
    ASSERT_TRUE(s.WriteNumber(kHive, "B", "passes", 1));
    ASSERT_TRUE(s.WriteNumber(kHive, "B", "Only in B", 9));
    ASSERT_TRUE(s.WriteNumber(kHive, "Empty\\x", "y", 1));
    store::Key a = s.OpenKey(kHive, "A", Access::Read);
    store::Key b = s.OpenKey(kHive, "B", Access::All);
    s.CopyValues(s.OpenKey(kHive, "Empty", Access::Read), b);
    std::vector<store::Value> before;
    s.EnumValues(b, before);
    EXPECT_EQ(before.size(), 2u);

    s.CopyValues(a, b);
    std::string out;
    ASSERT_TRUE(s.ReadString(kHive, "B", "chapters", 5001, out));
    EXPECT_EQ(out, longText);
    uint32_t n = 0;
    ASSERT_TRUE(s.ReadNumber(kHive, "B", "Passes", n));
    EXPECT_EQ(n, 4u);
    ASSERT_TRUE(s.ReadNumber(kHive, "B", "Only in B", n));
    EXPECT_EQ(n, 9u);
}

TEST(KeyStore, DeleteKeyOnlyWithoutSubKeys) {
    TempStore t;
    auto& s = t.Store();
    ASSERT_TRUE(s.WriteNumber(kHive, "P\\C", "v", 1));
    ASSERT_TRUE(s.WriteNumber(kHive, "P", "v", 1));
    EXPECT_FALSE(s.DeleteKey(kHive, "P"));
    EXPECT_TRUE(s.DeleteKey(kHive, "P\\C"));
    EXPECT_TRUE(s.DeleteKey(kHive, "P"));
    EXPECT_FALSE(s.OpenKey(kHive, "P", Access::Read));
    // Writing below a handle whose key is gone fails rather than resurrecting it.
    ASSERT_TRUE(s.WriteNumber(kHive, "Q", "v", 1));
    store::Key q = s.OpenKey(kHive, "Q", Access::All);
    ASSERT_TRUE(s.DeleteKey(kHive, "Q"));
    EXPECT_FALSE(s.WriteNumber(q, "", "v", 2));
}

TEST(KeyStore, ReadOnlyKeyRefusesWrites) {
    TempStore t;
    auto& s = t.Store();
    ASSERT_TRUE(s.WriteNumber(kHive, "R", "v", 1));
    store::Key r = s.OpenKey(kHive, "R", Access::Read);
    EXPECT_FALSE(s.WriteNumber(r, "", "v", 2));
    uint32_t n = 0;
    ASSERT_TRUE(s.ReadNumber(r, "", "v", n));
    EXPECT_EQ(n, 1u);
}

TEST(KeyStore, TransactionRollsBackWhenNotCommitted) {
    TempStore t;
    auto& s = t.Store();
    {
        KeyStore::Transaction unit(s);
        ASSERT_TRUE(unit.Ok());
        ASSERT_TRUE(s.WriteNumber(kHive, "X", "a", 1));
        {
            KeyStore::Transaction inner(s);
            ASSERT_TRUE(s.WriteNumber(kHive, "X", "b", 2));
        }
        uint32_t n = 0;
        EXPECT_FALSE(s.ReadNumber(kHive, "X", "b", n));
        EXPECT_TRUE(s.ReadNumber(kHive, "X", "a", n));
    }
    EXPECT_FALSE(s.OpenKey(kHive, "X", Access::Read));
}

TEST(KeyStore, IndexesSetAsideComeBackWhicheverUnitsAreKeptOrUndone) {
    // Set aside in an inner unit that is undone, in one that is kept, and in an outer unit that
    // is undone: every later commit must find the statuses mirrored and counted.
    struct Case {
        bool keepInner;
        bool commitOuter;
        int pending;
    };
    for (const Case& c : {Case{false, true, 1}, Case{true, true, 2}, Case{true, false, 0}}) {
        TempStore t;
        auto& s = t.Store();
        store::Key jobs = s.CreateKey(kHive, "Q");
        {
            KeyStore::Transaction outer(s);
            ASSERT_TRUE(s.WriteString(jobs, "0", "Status", "Pending"));
            {
                KeyStore::Transaction inner(s);
                ASSERT_TRUE(s.DeferDerived());
                ASSERT_TRUE(s.WriteString(jobs, "1", "Status", "Pending"));
                if (c.keepInner) {
                    ASSERT_TRUE(inner.Commit());
                }
            }
            ASSERT_TRUE(s.WriteString(jobs, c.keepInner ? "2" : "1", "Status", "Done"));
            if (c.commitOuter) {
                ASSERT_TRUE(outer.Commit()) << s.LastError();
            }
        }
        ASSERT_TRUE(s.WriteString(jobs, "9", "Status", "Pending"));
        std::vector<std::pair<std::string, int>> counts;
        ASSERT_TRUE(s.CountStatuses(jobs, 3, counts));
        int pending = 0;
        for (const auto& [status, n] : counts) {
            pending += status == "Pending" ? n : 0;
        }
        EXPECT_EQ(pending, c.pending) << c.keepInner << c.commitOuter;
        EXPECT_FALSE(s.DeferDerived()) << "only inside a unit";
    }
}

TEST(KeyStore, SchemaRowGuardsTheFile) {
    testing_support::TempDir dir;
    std::string path = dir.File("store.sqlite");
    {
        KeyStore s;
        ASSERT_TRUE(s.Open(path));
        ASSERT_TRUE(s.WriteNumber(kHive, kRoot, "Kept", 5));
    }
    store::SqliteDb db;
    std::string error;
    ASSERT_TRUE(db.Open(path, error));
    int version = 0;
    ASSERT_TRUE(db.QueryInt("SELECT value FROM meta WHERE name = 'schema'", version, error));
    EXPECT_EQ(version, KeyStore::kSchemaVersion);

    // A store written by a later version is refused, not rewritten.
    ASSERT_TRUE(db.Exec("UPDATE meta SET value = 99", error));
    KeyStore newer;
    EXPECT_FALSE(newer.Open(path));
    EXPECT_NE(newer.LastError().find("newer"), std::string::npos);
    ASSERT_TRUE(
        db.Exec("UPDATE meta SET value = " + std::to_string(KeyStore::kSchemaVersion), error));
    KeyStore again;
    ASSERT_TRUE(again.Open(path));
    uint32_t n = 0;
    ASSERT_TRUE(again.ReadNumber(kHive, kRoot, "Kept", n));
    EXPECT_EQ(n, 5u);

    // Some other program's database is left alone.
    std::string other = dir.File("other.sqlite");
    store::SqliteDb foreign;
    ASSERT_TRUE(foreign.Open(other, error));
    ASSERT_TRUE(foreign.Exec("CREATE TABLE notes (t TEXT)", error));
    KeyStore s;
    EXPECT_FALSE(s.Open(other));
    EXPECT_NE(s.LastError().find("not a Vantaq store"), std::string::npos);
}

// A file that cannot serve as a store is refused with what is wrong with it, and left as it was.
TEST(KeyStore, OpenSaysWhatIsWrongAndLeavesTheFileAsItWas) {
    auto makeStore = [](const std::string& path) {
        KeyStore s;
        ASSERT_TRUE(s.Open(path));
        for (int i = 0; i < 200; ++i) {
            ASSERT_TRUE(s.WriteString(kHive, "Software\\Fill\\" + std::to_string(i), "V",
                                      std::string(1000, 'a' + i % 26)));
        }
    };
    auto overwrite = [](const std::string& path, size_t at, const std::string& bytes) {
        std::string data = testing_support::ReadFile(path);
        data.replace(at, bytes.size(), bytes);
        return testing_support::WriteFile(path, data);
    };
    struct Case {
        const char* fault;
        std::function<bool(const std::string&)> make;
        const char* says;
    };
    const Case cases[] = {
        {"not a database",
         [](const std::string& p) { return testing_support::WriteFile(p, std::string(5000, 't')); },
         "not a Vantaq store (not an SQLite database)"},
        {"truncated",
         [&](const std::string& p) {
             makeStore(p);
             std::string data = testing_support::ReadFile(p);
             return testing_support::WriteFile(p, data.substr(0, data.size() / 2));
         },
         "the store is damaged"},
        {"corrupt page",
         [&](const std::string& p) {
             makeStore(p);
             return overwrite(p, 3 * 4096, std::string(64, '\xA5'));
         },
         "the store is damaged"},
        {"read-only",
         [&](const std::string& p) {
             makeStore(p);
             // File modes do not stop root; the immutable attribute does.
             return std::system(("chattr +i '" + p + "' 2>/dev/null").c_str()) == 0;
         },
         "read-only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        testing_support::TempDir dir;
        std::string path = dir.File("store.sqlite");
        if (!c.make(path)) {
            std::printf("skipped: %s cannot be made here\n", c.fault);
            continue;
        }
        std::string before = testing_support::ReadFile(path);
        KeyStore s;
        EXPECT_FALSE(s.Open(path));
        EXPECT_NE(s.LastError().find(c.says), std::string::npos) << s.LastError();
        if (std::string(c.says).find("not a Vantaq store") == std::string::npos) {
            EXPECT_EQ(s.LastError().find("not a Vantaq store"), std::string::npos) << s.LastError();
        }
        EXPECT_EQ(testing_support::ReadFile(path), before);
        std::system(("chattr -i '" + path + "' 2>/dev/null").c_str());
    }

    // A new store on a full disk.
    testing_support::SmallDisk disk(1 << 20);
    if (!disk.Mounted()) {
        VANTAQ_SKIP_OR_FAIL(disk.Reason());
    }
    {
        KeyStore existing;
        ASSERT_TRUE(existing.Open(disk.File("old.sqlite")));
        ASSERT_TRUE(existing.WriteNumber(kHive, kRoot, "N", 1));
    }
    ASSERT_TRUE(disk.Fill());
    std::string before = testing_support::ReadFile(disk.File("old.sqlite"));
    for (const char* name : {"store.sqlite", "old.sqlite"}) {
        KeyStore s;
        EXPECT_FALSE(s.Open(disk.File(name)));
        EXPECT_NE(s.LastError().find("the disk is full"), std::string::npos) << s.LastError();
    }
    EXPECT_EQ(testing_support::ReadFile(disk.File("old.sqlite")), before);
}

// Trees of any depth are deleted and exported without recursion; an export refuses keys
// deeper than an import accepts.
TEST(KeyStore, DeepTreesAreDeletedAndRefusedByExportWithoutRecursion) {
    TempStore t;
    KeyStore& s = t.Store();
    std::string deep = "Software\\Deep";
    for (int i = 0; i < 100000; ++i) {
        deep += "\\k";
    }
    ASSERT_TRUE(s.CreateKey(kHive, deep));
    ASSERT_TRUE(s.WriteNumber(kHive, deep, "Bottom", 1));
    std::string out;
    std::string error;
    EXPECT_FALSE(store::ExportRegFile(s, "Software", out, error));
    EXPECT_NE(error.find("deeper than 512 levels"), std::string::npos) << error;
    EXPECT_TRUE(s.DeleteTree(kHive, "Software\\Deep"));
    EXPECT_FALSE(s.OpenKey(kHive, "Software\\Deep", Access::Read));
    ASSERT_TRUE(store::ExportRegFile(s, "Software", out, error)) << error;
}

TEST(KeyStore, ALongClearSetsTheKeyAsideAndPurgeRemovesItASliceAtATime) {
    // Enough positions for the set-aside path, with what must stay: positions at and past the
    // end, a key that is no position, the key's own value; and a position with a sub-key.
    TempStore t;
    auto& s = t.Store();
    const int n = KeyStore::kSetAsideFrom + 100;
    {
        KeyStore::Transaction unit(s);
        for (int i = 0; i < n + 2; ++i) {
            ASSERT_TRUE(s.WriteString(kHive, "Q\\" + std::to_string(i), "Status", "Done"));
        }
        ASSERT_TRUE(s.WriteNumber(kHive, "Q\\7\\Deep", "x", 1));
        ASSERT_TRUE(s.WriteNumber(kHive, "Q\\Temp", "y", 2));
        ASSERT_TRUE(s.WriteNumber(kHive, "Q", "own", 3));
        ASSERT_TRUE(unit.Commit());
    }
    auto rows = [&t](const char* sql) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(t.Path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        int64_t n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
        sqlite3_finalize(st);
        sqlite3_close(db);
        return n;
    };
    const int64_t keysBefore = rows("SELECT count(*) FROM keys");
    store::Key old = s.OpenKey(kHive, "Q", Access::All);

    {
        // Undone with its unit, it leaves everything where it was.
        KeyStore::Transaction unit(s);
        ASSERT_TRUE(s.DeletePositions(old, n));
    }
    EXPECT_EQ(s.CountPositions(s.OpenKey(kHive, "Q", Access::Read)), n + 2);

    ASSERT_TRUE(s.DeletePositions(old, n));
    store::Key q = s.OpenKey(kHive, "Q", Access::All);
    ASSERT_TRUE(q);
    EXPECT_EQ(s.CountPositions(q), 0);
    EXPECT_EQ(s.LastPosition(q), n + 1);
    std::vector<std::string> names;
    ASSERT_TRUE(s.EnumSubKeys(q, names));
    EXPECT_EQ(names, (std::vector<std::string>{std::to_string(n), std::to_string(n + 1), "Temp"}));
    uint32_t number = 0;
    EXPECT_TRUE(s.ReadNumber(q, "", "own", number));
    EXPECT_EQ(number, 3u);
    EXPECT_TRUE(s.ReadNumber(q, "Temp", "y", number));
    // The old handle names no key any more: nothing can be written into what was set aside.
    EXPECT_FALSE(s.WriteNumber(old, "", "late", 1));
    std::string file, error;
    ASSERT_TRUE(ExportRegFile(s, "", file, error));
    EXPECT_EQ(file.find("\\Q\\0]"), std::string::npos);
    EXPECT_EQ(file.find("Deep"), std::string::npos);

    int slices = 0;
    for (int removed; (removed = s.PurgeSetAside(200)) > 0; ++slices) {
        EXPECT_LE(removed, 200);
    }
    EXPECT_EQ(s.PurgeSetAside(200), 0);
    EXPECT_GE(slices, n / 200);
    EXPECT_EQ(rows("SELECT count(*) FROM keys"), keysBefore - n - 1);
    EXPECT_EQ(rows("SELECT count(*) FROM keys WHERE parent IS NULL"), 1);
    EXPECT_EQ(rows("SELECT count(*) FROM vals WHERE key NOT IN (SELECT id FROM keys)"), 0);
    EXPECT_EQ(rows("SELECT count(*) FROM vals"), 4);
}
