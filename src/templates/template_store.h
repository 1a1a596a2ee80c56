// Encode templates in the key store: the record, the four defaults, their creation and upgrade
// at every start, and the template list read from the order string.
#pragma once

#include "store/key_store.h"

#include <string>
#include <vector>

namespace templates {

inline constexpr const char* kTemplateSetVersion = "1.0.1.3";
inline constexpr const char* kDefaultOrder = "0123";
inline constexpr const char* kVersionValue = "version";
inline constexpr const char* kQmatName = "Qmat name";
inline constexpr int kDefaultTemplateCount = 4;

// One number of the template record with its default; `perTemplate` is set for the four values
// that differ between the default templates.
struct RecordValue {
    const char* name;
    int defaultValue;
    bool perTemplate = false;
    int byTemplate[kDefaultTemplateCount] = {};
};

// The 63 numbers of the record in the order they are written ("Qmat name" follows "Qmat index").
const std::vector<RecordValue>& RecordValues();
// The display names of the default templates "0" to "3".
const char* DefaultTemplateName(int index);
// The default of a record number for default template `index`.
int DefaultValue(const RecordValue& value, int index);

// Creates the template key and the default templates where missing, rewrites templates 2 and
// 3, and upgrades templates of an older set. Does nothing while the root key does not exist.
void InitTemplates(store::KeyStore& store);

// Whether template `key` ("0" to "3" by default) has "DVD compliant" on: its jobs are meant for
// a DVD-Video disc. False for a template that does not exist.
bool TemplateTargetsDvd(store::KeyStore& store, const std::string& key);

// The template list as the window shows it: the order string and one name per character.
struct TemplateList {
    std::string order;
    std::vector<std::string> names;
};

// Reads the order string and the names. 0 on success, 203 when the template key cannot be
// opened, 204 when a string cannot be read; names read before a failure stay in `list`.
int LoadTemplateList(store::KeyStore& store, TemplateList& list);

} // namespace templates
