// Applying a template to the job editor, and saving the editor's values as a template default.
#include "templates/template_selection.h"

#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "store/key_store.h"
#include "store/paths.h"

#include <cstring>
#include <string>

namespace templates {

using namespace platform::main_window;

namespace {

// A marker counts only after the first character of the input text.
bool HasMarker(const std::string& text, const char* marker) {
    return text.size() > 1 && text.find(marker, 1) != std::string::npos;
}

// The Frame Rate field shows "%2.3f"; only 23.976 lies between these two texts.
bool IsFilmRate(const std::string& rate) {
    return std::strcmp(rate.c_str(), "23.98") < 0 && std::strcmp(rate.c_str(), "23.970") > 0;
}

} // namespace

void ApplySelectedTemplate(platform::Dialog& dialog, store::KeyStore& store) {
    int pos = dialog.GetSelection(kTemplateList);

    if (IsFilmRate(dialog.GetText(kInfoFrameRate))) {
        dialog.Enable(kPulldown, true);
        dialog.SetCheck(kPulldown, true);
        dialog.SetCheck(kConvertToFilm, true);
        dialog.Enable(kConvertToFilm, true);
    }
    dialog.Enable(kChapterBrowse, true);

    std::string input = dialog.GetText(kInputFile);
    bool aspectFromName = false;
    for (int radio : {kAspectSquare, kAspect4x3, kAspect16x9}) {
        dialog.SetCheck(radio, false);
    }
    const std::pair<const char*, int> aspectMarkers[] = {
        {"1~1", kAspectSquare}, {"4~3", kAspect4x3}, {"16~9", kAspect16x9}};
    for (const auto& [marker, radio] : aspectMarkers) {
        if (HasMarker(input, marker)) {
            dialog.CheckRadioButton(kAspectSquare, kAspect16x9, radio);
            aspectFromName = true;
        }
    }
    dialog.Enable(kAddJob, true);

    bool fieldOrderFromName = false;
    if (HasMarker(input, "TFF")) {
        dialog.SetCheck(kTopFieldFirst, true);
        fieldOrderFromName = true;
    }
    if (HasMarker(input, "BFF")) {
        dialog.SetCheck(kTopFieldFirst, false);
        fieldOrderFromName = true;
    }

    store::Key root = store.OpenKey(store::kHive, store::kRootPath, store::Access::Read);
    if (!root) {
        return;
    }
    std::string order;
    if (!store.ReadString(root, "template", "", 255, order) || pos < 0 ||
        static_cast<size_t>(pos) >= order.size()) {
        return;
    }
    std::string sub = std::string("template\\") + order[static_cast<size_t>(pos)];

    auto read = [&](const char* name, int& value) {
        uint32_t n = 0;
        if (!store.ReadNumber(root, sub, name, n)) {
            return false;
        }
        value = static_cast<int>(n);
        return true;
    };
    auto applyNumber = [&](const char* name, int field, int spin) {
        dialog.Enable(field, true);
        int value = 0;
        if (read(name, value)) {
            dialog.SetSpinPos(spin, value);
        }
        dialog.Enable(spin, true);
    };
    auto applyFlag = [&](const char* name, int box) {
        int value = 0;
        if (read(name, value)) {
            dialog.SetCheck(box, value == 1);
        }
        dialog.Enable(box, true);
    };

    applyNumber("VBR Pass #", kPasses, kPassesSpin);
    applyNumber("Q factor", kQFactor, kQFactorSpin);
    applyNumber("Quality", kQuality, kQualitySpin);
    int aspect = 0;
    if (!aspectFromName && read("Aspect ratio", aspect)) {
        dialog.CheckRadioButton(kAspectSquare, kAspect16x9, kAspectSquare + aspect);
    }
    for (int radio : {kAspectSquare, kAspect4x3, kAspect16x9}) {
        dialog.Enable(radio, true);
    }
    applyNumber("VBR Bitrate (min)", kBitrateMin, kBitrateMinSpin);
    applyNumber("VBR Bitrate (max)", kBitrateMax, kBitrateMaxSpin);
    applyNumber("VBR Bitrate (avg)", kBitrateAvg, kBitrateAvgSpin);
    applyNumber("Bias", kBias, kBiasSpin);
    int upper = 0;
    if (!fieldOrderFromName && read("Upper field first", upper)) {
        if (upper == 1) {
            dialog.SetCheck(kTopFieldFirst, true);
        } else if (upper == 0) {
            dialog.SetCheck(kTopFieldFirst, false);
        }
    }
    dialog.Enable(kTopFieldFirst, true);
    applyFlag("Progressive", kProgressive);
    applyFlag("Alternate scan", kAlternateScan);

    dialog.Enable(kSetTemplateDefault, true);
}

void SaveTemplateDefault(platform::Dialog& dialog, store::KeyStore& store) {
    int pos = dialog.GetSelection(kTemplateList);
    if (pos < 0) {
        // No entry: there is no template to write into.
        return;
    }
    store::Key key = store.OpenKey(store::kHive, store::kTemplatePath, store::Access::All);
    if (!key) {
        return;
    }
    std::string sub = std::to_string(pos);
    // One unit: a template is never left with half of its new defaults.
    store::KeyStore::Transaction unit(store);
    bool ok = unit.Ok();
    auto write = [&](const char* name, int value) {
        ok = ok && store.WriteNumber(key, sub, name, static_cast<uint32_t>(value));
    };
    auto flag = [&](int box) { return dialog.IsChecked(box) ? 1 : 0; };
    write("Bias", dialog.GetSpinPos(kBiasSpin));
    write("OPV bitrate (min)", dialog.GetSpinPos(kBitrateMinSpin));
    write("VBR bitrate (min)", dialog.GetSpinPos(kBitrateMinSpin));
    write("OPV bitrate (max)", dialog.GetSpinPos(kBitrateMaxSpin));
    write("VBR bitrate (max)", dialog.GetSpinPos(kBitrateMaxSpin));
    write("CBR bitrate", dialog.GetSpinPos(kBitrateAvgSpin));
    write("VBR bitrate (avg)", dialog.GetSpinPos(kBitrateAvgSpin));
    write("VBR pass #", dialog.GetSpinPos(kPassesSpin));
    write("Q factor", dialog.GetSpinPos(kQFactorSpin));
    write("Quality", dialog.GetSpinPos(kQualitySpin));
    write("Upper field first", flag(kTopFieldFirst));
    write("Progressive", flag(kProgressive));
    write("Alternate scan", flag(kAlternateScan));
    if (ok) {
        unit.Commit();
    }
    store.CloseKey(key);
}

} // namespace templates
