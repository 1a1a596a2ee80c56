// Applying templates to the job editor and saving its values back, over an in-memory window.
#include "jobs/job_panels.h"
#include "platform/control_ids.h"
#include "platform/memory_dialog.h"
#include "store/paths.h"
#include "support/test_support.h"
#include "templates/template_selection.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

using namespace platform::main_window;
using store::kHive;

namespace {

struct EditorRig {
    // With `withTemplates` the default templates exist and the list shows them.
    explicit EditorRig(bool withTemplates = true) {
        jobs::SetJobSpinRanges(dialog);
        jobs::ResetJobEditor(dialog);
        if (withTemplates) {
            store().WriteNumber(kHive, store::kRootPath, "AutoBias", 0);
            templates::InitTemplates(store());
        }
        templates::TemplateList list;
        templates::LoadTemplateList(store(), list);
        for (const std::string& name : list.names) {
            dialog.InsertRow(kTemplateList, -1, name);
        }
        dialog.SetText(kTemplateOrder, list.order);
    }
    store::KeyStore& store() { return temp.Store(); }
    void Choose(int position, const std::string& input, const std::string& rate = "29.970") {
        dialog.SetText(kInputFile, input);
        dialog.SetText(kInfoFrameRate, rate);
        dialog.SetSelection(kTemplateList, position);
        templates::ApplySelectedTemplate(dialog, store());
    }
    uint32_t Number(const std::string& sub, const char* name) {
        uint32_t n = 0xDEAD;
        store().ReadNumber(kHive, std::string(store::kTemplatePath) + "\\" + sub, name, n);
        return n;
    }

    testing_support::TempStore temp;
    platform::MemoryDialog dialog{platform::MainWindowControls()};
};

} // namespace

TEST(TemplateSelection, DefaultTemplateFillsAndEnablesTheEditor) {
    EditorRig rig;
    ASSERT_EQ(rig.dialog.GetRowText(kTemplateList, 2), templates::DefaultTemplateName(2));
    rig.Choose(2, "/videos/plain.avi");
    EXPECT_EQ(rig.dialog.GetText(kBias), "60");
    EXPECT_EQ(rig.dialog.GetSpinPos(kPassesSpin), 1);
    EXPECT_EQ(rig.dialog.GetSpinPos(kQFactorSpin), 40);
    EXPECT_EQ(rig.dialog.GetSpinPos(kQualitySpin), 16);
    EXPECT_EQ(rig.dialog.GetText(kBitrateMin), "0");
    EXPECT_EQ(rig.dialog.GetText(kBitrateMax), "9000");
    EXPECT_EQ(rig.dialog.GetText(kBitrateAvg), "3000");
    EXPECT_EQ(rig.dialog.GetCheckedRadioButton(kAspectSquare, kAspect16x9), kAspect16x9);
    EXPECT_TRUE(rig.dialog.IsChecked(kTopFieldFirst));
    EXPECT_TRUE(rig.dialog.IsChecked(kProgressive));
    EXPECT_FALSE(rig.dialog.IsChecked(kAlternateScan));
    for (int id : {kPasses, kPassesSpin, kBias, kBiasSpin, kBitrateAvgSpin, kAspect4x3,
                   kTopFieldFirst, kAlternateScan, kAddJob, kSetTemplateDefault, kChapterBrowse}) {
        EXPECT_TRUE(rig.dialog.IsEnabled(id)) << id;
    }
    // 29.970 leaves the film boxes as they were.
    EXPECT_FALSE(rig.dialog.IsChecked(kPulldown));
    EXPECT_FALSE(rig.dialog.IsEnabled(kConvertToFilm));
    EXPECT_EQ(rig.dialog.BadAccesses(), 0);
}

TEST(TemplateSelection, FilmRateChecksBothFilmBoxes) {
    EditorRig rig;
    rig.Choose(3, "/videos/film.avi", "23.976");
    EXPECT_TRUE(rig.dialog.IsChecked(kPulldown));
    EXPECT_TRUE(rig.dialog.IsEnabled(kPulldown));
    EXPECT_TRUE(rig.dialog.IsChecked(kConvertToFilm));
    EXPECT_TRUE(rig.dialog.IsEnabled(kConvertToFilm));

    // Other rates leave a checked box checked and an unchecked one unchecked.
    EditorRig pal;
    pal.dialog.SetCheck(kConvertToFilm, true);
    pal.Choose(3, "/videos/pal.avi", "25.000");
    EXPECT_TRUE(pal.dialog.IsChecked(kConvertToFilm));
    EXPECT_FALSE(pal.dialog.IsChecked(kPulldown));
    pal.Choose(3, "/videos/pal.avi", "23.980");
    EXPECT_FALSE(pal.dialog.IsChecked(kPulldown));
}

TEST(TemplateSelection, NameMarkersWinOverTheTemplate) {
    EditorRig rig;
    rig.store().WriteNumber(kHive, std::string(store::kTemplatePath) + "\\2", "Aspect ratio", 0);
    rig.Choose(2, "/videos/wide 16~9.avi");
    EXPECT_EQ(rig.dialog.GetCheckedRadioButton(kAspectSquare, kAspect16x9), kAspect16x9);
    rig.Choose(2, "/videos/plain.avi");
    EXPECT_EQ(rig.dialog.GetCheckedRadioButton(kAspectSquare, kAspect16x9), kAspectSquare);

    // Both field markers: the last one wins and the template's field order is not applied.
    rig.Choose(2, "/videos/TFF then BFF.avi");
    EXPECT_FALSE(rig.dialog.IsChecked(kTopFieldFirst));
    EXPECT_TRUE(rig.dialog.IsEnabled(kTopFieldFirst));

    // A marker in the first character does not count: the template's "Upper field first" (1).
    rig.dialog.SetCheck(kTopFieldFirst, false);
    rig.Choose(2, "BFF.avi");
    EXPECT_TRUE(rig.dialog.IsChecked(kTopFieldFirst));
}

TEST(TemplateSelection, OrderStringMapsApplyButNotSave) {
    EditorRig rig;
    rig.store().WriteString(kHive, store::kTemplatePath, "", "3210");
    rig.store().WriteNumber(kHive, std::string(store::kTemplatePath) + "\\3", "Q factor", 77);
    rig.Choose(0, "/videos/a.avi");
    EXPECT_EQ(rig.dialog.GetSpinPos(kQFactorSpin), 77);

    rig.dialog.SetText(kBitrateAvg, "4000");
    uint32_t aspectBefore = rig.Number("0", "Aspect ratio");
    templates::SaveTemplateDefault(rig.dialog, rig.store());
    EXPECT_EQ(rig.Number("0", "CBR bitrate"), 4000u);
    EXPECT_EQ(rig.Number("0", "VBR bitrate (avg)"), 4000u);
    EXPECT_EQ(rig.Number("0", "Q factor"), 77u);
    EXPECT_EQ(rig.Number("0", "Aspect ratio"), aspectBefore);
    EXPECT_EQ(rig.Number("3", "CBR bitrate"), rig.Number("2", "CBR bitrate"));

    // A field whose text is no number saves the spin's last valid position.
    rig.dialog.SetText(kBias, "abc");
    templates::SaveTemplateDefault(rig.dialog, rig.store());
    EXPECT_EQ(rig.Number("0", "Bias"), static_cast<uint32_t>(rig.dialog.GetSpinPos(kBiasSpin)));
}

TEST(TemplateSelection, NothingSelectedOrNoStore) {
    EditorRig rig;
    rig.dialog.SetSelection(kTemplateList, -1);
    templates::SaveTemplateDefault(rig.dialog, rig.store());
    std::vector<std::string> subKeys;
    store::Key key = rig.store().OpenKey(kHive, store::kTemplatePath, store::Access::Read);
    rig.store().EnumSubKeys(key, subKeys);
    EXPECT_EQ(subKeys.size(), 4u); // no "-1" template appeared

    // Without a root key the hints still apply and the numbers stay as they were.
    EditorRig bare(false);
    bare.dialog.SetText(kQFactor, "12");
    bare.Choose(0, "/v/x 4~3 TFF.avi", "23.976");
    EXPECT_EQ(bare.dialog.GetSpinPos(kQFactorSpin), 12);
    EXPECT_FALSE(bare.dialog.IsEnabled(kQFactor));
    EXPECT_FALSE(bare.dialog.IsEnabled(kSetTemplateDefault));
    EXPECT_TRUE(bare.dialog.IsChecked(kAspect4x3));
    EXPECT_TRUE(bare.dialog.IsChecked(kTopFieldFirst));
    EXPECT_TRUE(bare.dialog.IsChecked(kPulldown));
    EXPECT_TRUE(bare.dialog.IsEnabled(kAddJob));
}
