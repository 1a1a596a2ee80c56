// `CFileVersionInfo` on PE and ELF files written by the tests, on the running program, and on
// truncated or corrupted files.
#include "env/file_version_info.h"

#include "support/test_support.h"
#include "version_files.h"

#include <gtest/gtest.h>

#include <random>

using env::CFileVersionInfo;
using env::VersionDescription;
using testing_support::TempDir;
using testing_support::WriteFile;
using version_files::MakeElf;
using version_files::MakePe;

namespace {

VersionDescription Describe(const std::string& fileVersion) {
    VersionDescription d;
    d.productName = "Cinema Craft Encoder SP";
    d.productVersion = fileVersion;
    d.fileVersion = fileVersion;
    return d;
}

} // namespace

TEST(FileVersionInfo, EncoderReleasesFromPeAndElfFiles) {
    TempDir dir;
    struct Release {
        const char* text;
        uint32_t ms, ls;
    };
    const Release releases[] = {
        {"2, 50, 1, 0", 0x00020032, 0x00010000},  {"2, 66, 1, 7", 0x00020042, 0x00010007},
        {"2, 67, 0, 8", 0x00020043, 0x00000008},  {"2, 67, 0, 9", 0x00020043, 0x00000009},
        {"2, 67, 0, 23", 0x00020043, 0x00000017},
    };
    for (const Release& r : releases) {
        const std::string block = env::BuildVersionBlock(Describe(r.text));
        const std::string files[] = {MakePe(block), MakePe(block, true), MakeElf(block),
                                     MakeElf(block, true)};
        for (const std::string& bytes : files) {
            const std::string path = dir.File("cce");
            ASSERT_TRUE(WriteFile(path, bytes));
            CFileVersionInfo info;
            ASSERT_TRUE(info.OpenFile(path)) << r.text;
            EXPECT_EQ(info.QueryString("FileVersion"), r.text);
            EXPECT_EQ(info.QueryString("fileversion"), r.text); // names without case
            EXPECT_EQ(info.QueryString("ProductName"), "Cinema Craft Encoder SP");
            EXPECT_EQ(info.QueryString("CompanyName"), "");
            EXPECT_EQ(info.Signature(), env::kFixedInfoSignature);
            EXPECT_EQ(info.FileVersionMs(), r.ms);
            EXPECT_EQ(info.FileVersionLs(), r.ls);
            EXPECT_EQ(info.Language(), 0x0409);
            EXPECT_EQ(info.CodePage(), 1252);
        }
    }
}

TEST(FileVersionInfo, StringTableFollowsTheTranslation) {
    TempDir dir;
    const std::string path = dir.File("prog");
    VersionDescription d = Describe("1.0.1.5");
    d.productName = "Vantaq \xC3\xBC \xF0\x9F\x8E\xAC"; // non-ASCII survives as UTF-8
    d.language = 0x0407;
    d.codePage = 0x04B0;
    ASSERT_TRUE(WriteFile(path, MakeElf(env::BuildVersionBlock(d))));
    CFileVersionInfo info;
    ASSERT_TRUE(info.OpenFile(path));
    EXPECT_EQ(info.Language(), 0x0407);
    EXPECT_EQ(info.CodePage(), 0x04B0);
    EXPECT_EQ(info.QueryString("ProductName"), d.productName);

    // Without a translation table the look-up uses code page 1252 and the default language,
    // so a table under another name is not found.
    d.withTranslation = false;
    ASSERT_TRUE(WriteFile(path, MakeElf(env::BuildVersionBlock(d))));
    ASSERT_TRUE(info.OpenFile(path));
    EXPECT_EQ(info.CodePage(), 1252);
    EXPECT_EQ(info.QueryString("ProductName"), "");
    d.language = 0x0409;
    d.codePage = 1252;
    ASSERT_TRUE(WriteFile(path, MakePe(env::BuildVersionBlock(d))));
    ASSERT_TRUE(info.OpenFile(path));
    EXPECT_EQ(info.QueryString("ProductVersion"), "1.0.1.5");
}

TEST(FileVersionInfo, TheRunningProgramCarriesItsGeneratedBlock) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.OpenModule());
    EXPECT_EQ(info.QueryString("ProductName"), "Vantaq env tests");
    EXPECT_EQ(info.QueryString("ProductVersion"), "0.1.0.0");
    EXPECT_EQ(info.QueryString("FileVersion"), "0, 1, 0, 7");
    EXPECT_EQ(info.QueryString("FileDescription"), "Tests of the environment checks");
    EXPECT_EQ(info.FileVersionMs(), 0x00000001u);
    EXPECT_EQ(info.FileVersionLs(), 0x00000007u);

    CFileVersionInfo byName;
    EXPECT_TRUE(byName.OpenModule("vantaq_env_tests"));
    EXPECT_EQ(byName.QueryString("ProductName"), "Vantaq env tests");
    EXPECT_FALSE(byName.OpenModule("no-such-module.so"));
    EXPECT_EQ(byName.QueryString("ProductName"), "");
    EXPECT_EQ(byName.Signature(), 0u);
}

TEST(FileVersionInfo, FilesWithoutAResourceFailAndResetTheObject) {
    TempDir dir;
    CFileVersionInfo info;
    ASSERT_TRUE(
        WriteFile(dir.File("good"), MakePe(env::BuildVersionBlock(Describe("2, 50, 1, 0")))));
    ASSERT_TRUE(info.OpenFile(dir.File("good")));

    ASSERT_TRUE(
        WriteFile(dir.File("text"), "just some text, long enough to have a header or two\n"));
    ASSERT_TRUE(WriteFile(dir.File("empty"), ""));
    ASSERT_TRUE(WriteFile(dir.File("noresource"), MakeElf("")));
    for (const std::string& path : {dir.File("missing"), dir.Path(), dir.File("text"),
                                    dir.File("empty"), dir.File("noresource")}) {
        EXPECT_FALSE(info.OpenFile(path)) << path;
        EXPECT_EQ(info.QueryString("FileVersion"), "") << path;
        EXPECT_EQ(info.Signature(), 0u);
        EXPECT_EQ(info.CodePage(), 1252);
    }
}

TEST(FileVersionInfo, BadSignatureFailsButKeepsTheStrings) {
    TempDir dir;
    std::string block = env::BuildVersionBlock(Describe("2, 67, 0, 9"));
    size_t fixedAt = block.find(std::string("\xBD\x04\xEF\xFE", 4));
    ASSERT_NE(fixedAt, std::string::npos);
    block[fixedAt] = 0;
    ASSERT_TRUE(WriteFile(dir.File("f"), MakeElf(block)));
    CFileVersionInfo info;
    EXPECT_FALSE(info.OpenFile(dir.File("f")));
    EXPECT_EQ(info.QueryString("FileVersion"), "2, 67, 0, 9");
}

TEST(FileVersionInfo, EveryTruncationFailsCleanly) {
    TempDir dir;
    const std::string block = env::BuildVersionBlock(Describe("2, 66, 1, 7"));
    for (const std::string& whole : {MakePe(block), MakeElf(block), MakeElf(block, true)}) {
        for (size_t n = 0; n < whole.size(); ++n) {
            ASSERT_TRUE(WriteFile(dir.File("cut"), whole.substr(0, n)));
            CFileVersionInfo info;
            ASSERT_FALSE(info.OpenFile(dir.File("cut"))) << n;
            ASSERT_EQ(info.QueryString("FileVersion"), "") << n;
        }
    }
}

TEST(FileVersionInfo, OffsetsOutsideTheFileFail) {
    TempDir dir;
    using version_files::Put16;
    using version_files::Put32;
    const std::string block = env::BuildVersionBlock(Describe("2, 67, 0, 8"));
    const std::string pe = MakePe(block);
    const std::string elf = MakeElf(block);
    const size_t sectionAt = 0x40 + 24 + 224;
    const size_t elfTable = elf.size() - 3 * 64;
    struct Patch {
        const char* what;
        std::string bytes;
    };
    std::vector<Patch> patches;
    auto pe32 = [&](const char* what, size_t at, uint32_t v) {
        std::string b = pe;
        Put32(b, at, v);
        patches.push_back({what, b});
    };
    auto elf32 = [&](const char* what, size_t at, uint32_t v) {
        std::string b = elf;
        Put32(b, at, v);
        patches.push_back({what, b});
    };
    pe32("PE header offset", 0x3C, 0xFFFFFFF0u);
    pe32("section raw offset", sectionAt + 20, 0x7FFFFFF0u);
    pe32("section raw size shorter than the tree", sectionAt + 16, 0x20);
    pe32("resource directory RVA", 0x40 + 24 + 96 + 16, 0x9000);
    pe32("type entry offset", 0x200 + 20, 0x80000000u | 0xFFFF0);
    pe32("data entry RVA", 0x200 + 72, 0xFFFFFF00u);
    pe32("data entry size", 0x200 + 76, 0x7FFFFFFFu);
    pe32("data entry looping back", 0x200 + 68, 0x80000000u);
    elf32("section table offset", 0x28, 0xFFFFFF00u);
    elf32("vsversion offset", static_cast<uint32_t>(elfTable + 64 + 0x18), 0xFFFFFF00u);
    elf32("vsversion size", static_cast<uint32_t>(elfTable + 64 + 0x20), 0xFFFFFF);
    elf32("section name", static_cast<uint32_t>(elfTable + 64), 0xFFFFF);
    elf32("string table offset", static_cast<uint32_t>(elfTable + 128 + 0x18), 0xFFFFFF00u);
    {
        std::string b = elf;
        Put16(b, 0x3C, 0xFFFF); // section count
        patches.push_back({"section count", b});
        b = elf;
        Put16(b, 0x3E, 7); // string table index beyond the count
        patches.push_back({"string table index", b});
        b = elf;
        Put16(b, 0x3A, 8); // entry size too small
        patches.push_back({"entry size", b});
    }
    {
        // Block-level faults: the root claims more than there is, a child of length zero.
        std::string bad = block;
        Put16(bad, 0, static_cast<uint32_t>(block.size() + 40));
        patches.push_back({"root length", MakeElf(bad)});
        bad = block;
        Put16(bad, 0, 4);
        patches.push_back({"root too short", MakeElf(bad)});
    }
    for (const Patch& p : patches) {
        ASSERT_TRUE(WriteFile(dir.File("bad"), p.bytes));
        CFileVersionInfo info;
        EXPECT_FALSE(info.OpenFile(dir.File("bad"))) << p.what;
    }
}

TEST(FileVersionInfo, RandomCorruptionNeverReadsOutOfBounds) {
    // Whatever a corrupted file yields, success always means a valid signature; the sanitizer
    // build checks the reads. A failure prints the seed.
    TempDir dir;
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    const std::string block = env::BuildVersionBlock(Describe("2, 67, 0, 23"));
    const std::string originals[] = {MakePe(block), MakeElf(block)};
    for (int round = 0; round < 600; ++round) {
        std::string bytes = originals[round % 2];
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < flips; ++k) {
            bytes[rng() % bytes.size()] = static_cast<char>(rng());
        }
        ASSERT_TRUE(WriteFile(dir.File("fuzz"), bytes));
        CFileVersionInfo info;
        if (info.OpenFile(dir.File("fuzz"))) {
            ASSERT_EQ(info.Signature(), env::kFixedInfoSignature) << "seed " << seed;
        }
        info.QueryString("FileVersion");
    }
}
