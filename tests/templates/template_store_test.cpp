// Templates: defaults on a fresh store, what survives a restart, upgrades, the list.
#include "store/paths.h"
#include "support/test_support.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

using namespace templates;
using store::kHive;
using testing_support::TempStore;

namespace {

const std::string kTemplate = store::kTemplatePath;

uint32_t Number(store::KeyStore& s, int index, const char* name) {
    uint32_t n = 0xDEAD;
    s.ReadNumber(kHive, kTemplate + "\\" + std::to_string(index), name, n);
    return n;
}

void MakeRoot(store::KeyStore& s) {
    ASSERT_TRUE(s.WriteNumber(kHive, store::kRootPath, "X", 1));
}

} // namespace

TEST(Templates, RecordHasSixtyThreeNumbersPlusQmatName) {
    EXPECT_EQ(RecordValues().size(), 63u);
    EXPECT_STREQ(RecordValues().front().name, "Method");
    EXPECT_STREQ(RecordValues().back().name, "Video type");
}

TEST(Templates, NothingWithoutRootKey) {
    TempStore t;
    InitTemplates(t.Store());
    EXPECT_FALSE(t.Store().OpenKey(kHive, "Software", store::Access::Read));
    TemplateList list;
    EXPECT_EQ(LoadTemplateList(t.Store(), list), 203);
    EXPECT_TRUE(list.names.empty());
}

TEST(Templates, FreshStoreGetsTheFourDefaults) {
    TempStore t;
    auto& s = t.Store();
    MakeRoot(s);
    InitTemplates(s);
    std::string text;
    ASSERT_TRUE(s.ReadString(kHive, kTemplate, "", 255, text));
    EXPECT_EQ(text, "0123");
    ASSERT_TRUE(s.ReadString(kHive, kTemplate, "version", 255, text));
    EXPECT_EQ(text, "1.0.1.3");
    for (int i = 0; i < 4; ++i) {
        std::vector<store::Value> values;
        ASSERT_TRUE(s.EnumValues(
            s.OpenKey(kHive, kTemplate + "\\" + std::to_string(i), store::Access::Read), values));
        ASSERT_EQ(values.size(), 65u); // name, 63 numbers, "Qmat name"
        EXPECT_EQ(values[0].name, "");
        EXPECT_EQ(values[44].name, "Qmat index");
        EXPECT_EQ(values[45].name, "Qmat name");
        EXPECT_EQ(values[45].data, std::string(1, '\0'));
    }
    EXPECT_EQ(Number(s, 0, "Method"), 0u);
    EXPECT_EQ(Number(s, 1, "Video mode"), 2u);
    EXPECT_EQ(Number(s, 1, "Video type"), 4u);
    EXPECT_EQ(Number(s, 3, "Video type"), 1u);
    EXPECT_EQ(Number(s, 3, "Bias"), 60u);
    EXPECT_EQ(Number(s, 2, "Packet Size"), 2048u);
    EXPECT_EQ(Number(s, 0, "VBR Bitrate (max)"), 9000u);

    TemplateList list;
    EXPECT_EQ(LoadTemplateList(s, list), 0);
    EXPECT_EQ(list.order, "0123");
    EXPECT_EQ(list.names,
              (std::vector<std::string>{"Reroziz-Urud", "Multipass VBR", "One Pass VBR", "CBR"}));
}

TEST(Templates, RestartKeepsUserTemplatesAndResetsTwoAndThree) {
    TempStore t;
    auto& s = t.Store();
    MakeRoot(s);
    InitTemplates(s);
    s.WriteNumber(kHive, kTemplate + "\\1", "Bias", 77);
    s.WriteNumber(kHive, kTemplate + "\\3", "Bias", 77);
    s.WriteNumber(kHive, kTemplate + "\\3", "USCC", 5);
    s.WriteString(kHive, kTemplate + "\\3", "", "My CBR");
    InitTemplates(s);
    EXPECT_EQ(Number(s, 1, "Bias"), 77u);
    EXPECT_EQ(Number(s, 3, "Bias"), 60u);
    EXPECT_EQ(Number(s, 3, "USCC"), 0u);
    std::string name;
    ASSERT_TRUE(s.ReadString(kHive, kTemplate + "\\3", "", 255, name));
    EXPECT_EQ(name, "CBR");
}

TEST(Templates, UpgradeStepsCompareVersionsAsBytes) {
    struct Case {
        const char* version;
        bool step9;
        bool step10;
    };
    for (const Case& c : {Case{"1.0.1.2", false, true}, Case{"1.0.1.10", true, true},
                          Case{"1.0.1.3", false, false}, Case{"", true, true}}) {
        TempStore t;
        auto& s = t.Store();
        MakeRoot(s);
        InitTemplates(s);
        for (int i = 0; i < 2; ++i) {
            s.WriteNumber(kHive, kTemplate + "\\" + std::to_string(i), "USCC", 9);
            s.WriteNumber(kHive, kTemplate + "\\" + std::to_string(i), "dither_max", 99);
            s.WriteNumber(kHive, kTemplate + "\\" + std::to_string(i), "Video type", 7);
        }
        s.WriteString(kHive, kTemplate, "version", c.version);
        InitTemplates(s);
        EXPECT_EQ(Number(s, 1, "USCC"), c.step10 ? 0u : 9u) << c.version;
        EXPECT_EQ(Number(s, 1, "dither_max"), c.step9 ? 8u : 99u) << c.version;
        EXPECT_EQ(Number(s, 0, "Video type"), c.step9 ? 2u : 7u) << c.version;
        EXPECT_EQ(Number(s, 1, "Video type"), c.step9 ? 4u : 7u) << c.version;
        std::string version;
        ASSERT_TRUE(s.ReadString(kHive, kTemplate, "version", 255, version));
        EXPECT_EQ(version, "1.0.1.3");
    }
}

TEST(Templates, DeletedTemplateIsRecreated) {
    TempStore t;
    auto& s = t.Store();
    MakeRoot(s);
    InitTemplates(s);
    ASSERT_TRUE(s.DeleteKey(kHive, kTemplate + "\\1"));
    InitTemplates(s);
    EXPECT_EQ(Number(s, 1, "Video type"), 4u);
    EXPECT_EQ(Number(s, 1, "Quality"), 16u);
}

TEST(Templates, ListFollowsTheOrderString) {
    TempStore t;
    auto& s = t.Store();
    MakeRoot(s);
    InitTemplates(s);
    TemplateList list;
    s.WriteString(kHive, kTemplate, "", "3210");
    EXPECT_EQ(LoadTemplateList(s, list), 0);
    EXPECT_EQ(list.names,
              (std::vector<std::string>{"CBR", "One Pass VBR", "Multipass VBR", "Reroziz-Urud"}));
    s.WriteString(kHive, kTemplate, "", "");
    EXPECT_EQ(LoadTemplateList(s, list), 0);
    EXPECT_TRUE(list.names.empty());
    s.WriteString(kHive, kTemplate, "", "01x2");
    EXPECT_EQ(LoadTemplateList(s, list), 204);
    EXPECT_EQ(list.names.size(), 2u);
}
