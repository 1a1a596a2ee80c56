// The default templates, their upgrade steps and the template list.
#include "templates/template_store.h"

#include "store/paths.h"

#include <cstring>

using store::Access;
using store::Key;
using store::KeyStore;
using store::kHive;

namespace templates {

namespace {

RecordValue Same(const char* name, int value) {
    return RecordValue{name, value};
}

RecordValue Per(const char* name, int t0, int t1, int t2, int t3) {
    return RecordValue{name, t0, true, {t0, t1, t2, t3}};
}

const char* const kNames[kDefaultTemplateCount] = {"Reroziz-Urud", "Multipass VBR", "One Pass VBR",
                                                   "CBR"};

// Values that templates of sets before 1.0.1.2 lacked, written again on upgrade.
struct UpgradeValue {
    const char* name;
    int value;
};
const UpgradeValue kUpgrade1012[] = {
    {"Create new vaf", 1},
    {"dither", 0},
    {"dither_max", 8},
    {"Drop frame", 1},
    {"Fixed VBV delay", 0},
    {"Frame rate", 0},
    {"h_filter", 0},
    {"h_filter_idx", 8},
    {"Letterbox hint", 0},
    {"PanScan", 0},
    {"pict_level", 2},
    {"pict_type", 0},
    {"Pulldown detection", 0},
    {"Qmat index", 0},
    {nullptr, 0} /* Qmat name */,
    {"TC ref frame", 0},
    {"v_filter", 0},
    {"v_filter_val", 4},
};
const int kUpgradeVideoType[kDefaultTemplateCount] = {2, 4, 2, 1};

std::string TemplatePath(int index) {
    return "template\\" + std::to_string(index);
}

// Writes every record value of default template `index` below the open root key.
void WriteRecord(KeyStore& store, Key root, int index) {
    std::string path = TemplatePath(index);
    for (const RecordValue& v : RecordValues()) {
        store.WriteNumber(root, path, v.name, static_cast<uint32_t>(DefaultValue(v, index)));
        if (std::strcmp(v.name, "Qmat index") == 0) {
            store.WriteString(root, path, kQmatName, "");
        }
    }
}

} // namespace

const std::vector<RecordValue>& RecordValues() {
    static const std::vector<RecordValue> values = {
        Per("Method", 0, 1, 2, 2),
        Per("Bias", 30, 30, 60, 60),
        Same("All closed GOP", 1),
        Same("Alternate scan", 0),
        Same("Aspect ratio", 2),
        Same("Audio bitrate index", 7),
        Same("Audio mode", 0),
        Same("Audio out", 0),
        Same("CBR bitrate", 3000),
        Same("CRC", 1),
        Same("Create new vaf", 1),
        Same("dither", 0),
        Same("dither_max", 8),
        Same("Drop frame", 1),
        Same("DVD compliant", 0),
        Same("Encode mode", 0),
        Same("Filter value", 6),
        Same("Fixed GOP length", 0),
        Same("Fixed VBV delay", 0),
        Same("Frame rate", 0),
        Same("GOP (M)", 3),
        Same("GOP (N/M)", 4),
        Same("GOP length", 12),
        Same("h_filter", 0),
        Same("h_filter_idx", 8),
        Same("Half height", 0),
        Same("Half width", 0),
        Same("Intra DC precision", 2),
        Same("Letterbox hint", 0),
        Same("Luminance level", 1),
        Same("MPEG-1", 0),
        Same("MPEG-1 cps", 0),
        Same("Non linear", 1),
        Same("OPV bitrate (max)", 9000),
        Same("OPV bitrate (min)", 0),
        Same("Packet size", 2048),
        Same("PanScan", 0),
        Same("pict_level", 2),
        Same("pict_type", 0),
        Same("Progressive", 1),
        Same("Pulldown detection", 0),
        Same("Q factor", 40),
        Same("Quality", 16),
        Same("Qmat index", 0),
        Same("Quick mode", 0),
        Same("Sequence Endcode", 1),
        Same("Sequence header", 1),
        Same("Stereo mode", 2),
        Same("TC ref frame", 0),
        Same("Timecode", 0),
        Same("Upper field first", 1),
        Same("Use filter", 0),
        Same("USCC", 0),
        Same("v_filter", 0),
        Same("v_filter_val", 4),
        Same("Vaf out", 1),
        Same("VBR bitrate (avg)", 3000),
        Same("VBR bitrate (max)", 9000),
        Same("VBR bitrate (min)", 0),
        Same("VBR pass #", 1),
        Same("Video out", 1),
        Per("Video mode", 0, 2, 0, 1),
        Per("Video type", 2, 4, 2, 1),
    };
    return values;
}

const char* DefaultTemplateName(int index) {
    return index >= 0 && index < kDefaultTemplateCount ? kNames[index] : "";
}

int DefaultValue(const RecordValue& value, int index) {
    return value.perTemplate && index >= 0 && index < kDefaultTemplateCount
               ? value.byTemplate[index]
               : value.defaultValue;
}

void InitTemplates(KeyStore& store) {
    Key root = store.OpenKey(kHive, store::kRootPath, Access::All);
    if (!root) {
        return;
    }
    // One unit: a start killed half way must not leave template 0 or 1 named but without its
    // values, since a named template is never written again.
    KeyStore::Transaction unit(store);
    store.WriteStringIfNew(root, "template", "", kDefaultOrder);
    std::string previous;
    if (!store.ReadString(root, "template", kVersionValue, 1024, previous)) {
        previous.clear();
    }
    store.WriteString(root, "template", kVersionValue, kTemplateSetVersion);

    // Templates 0 and 1 are laid down once and then belong to the user; 2 and 3 are rewritten.
    for (int index = 0; index < kDefaultTemplateCount; ++index) {
        bool named = index < 2
                         ? store.WriteStringIfNew(root, TemplatePath(index), "", kNames[index])
                         : store.WriteString(root, TemplatePath(index), "", kNames[index]);
        if (named) {
            WriteRecord(store, root, index);
        }
    }

    // Versions compare as byte strings, so "1.0.1.10" is older than "1.0.1.2".
    if (previous.compare("1.0.1.2") < 0) {
        for (int index = 0; index < kDefaultTemplateCount; ++index) {
            for (const UpgradeValue& v : kUpgrade1012) {
                if (v.name) {
                    store.WriteNumber(root, TemplatePath(index), v.name,
                                      static_cast<uint32_t>(v.value));
                } else {
                    store.WriteString(root, TemplatePath(index), kQmatName, "");
                }
            }
        }
        for (int index = 0; index < kDefaultTemplateCount; ++index) {
            store.WriteNumber(root, TemplatePath(index), "Video type",
                              static_cast<uint32_t>(kUpgradeVideoType[index]));
        }
    }
    if (previous.compare("1.0.1.3") < 0) {
        store.WriteString(root, "template", kVersionValue, kTemplateSetVersion);
        for (int index = 0; index < kDefaultTemplateCount; ++index) {
            store.WriteNumber(root, TemplatePath(index), "USCC", 0);
        }
    }
    unit.Commit();
}

int LoadTemplateList(KeyStore& store, TemplateList& list) {
    list.order.clear();
    list.names.clear();
    Key key = store.OpenKey(kHive, store::kTemplatePath, Access::Read);
    if (!key) {
        return store::kErrorOpenKey;
    }
    std::string order;
    if (!store.ReadString(key, "", "", 255, order)) {
        return store::kErrorReadString;
    }
    list.order = order;
    for (char c : order) {
        std::string name;
        if (!store.ReadString(key, std::string(1, c), "", 255, name)) {
            return store::kErrorReadString;
        }
        list.names.push_back(name);
    }
    return 0;
}

bool TemplateTargetsDvd(store::KeyStore& store, const std::string& key) {
    uint32_t dvd = 0;
    return !key.empty() &&
           store.ReadNumber(store::kHive, std::string(store::kTemplatePath) + "\\" + key,
                            "DVD compliant", dvd) &&
           dvd != 0;
}

} // namespace templates
