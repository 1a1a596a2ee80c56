// Joins the templates to the job editor: applying the chosen template to the editor's fields,
// and writing the editor's numbers back into a template.
#pragma once

namespace platform {
class Dialog;
}
namespace store {
class KeyStore;
}

namespace templates {

// Applies the template at the template list's selection to the editor. Hints in the Frame Rate
// text (23.976: "2:3 Pulldown" and "Convert Chapters to Film" checked and enabled) and in the
// input file text ("1~1", "4~3", "16~9", "TFF", "BFF" after its first character) come first
// and win over the template's aspect and field order. Then, when the order string has a
// character at the selection, the template's passes, Q factor, quality, aspect, bitrates, bias
// and field flags are set and enabled, and "Set as Template Default" is enabled. A value
// missing from the template leaves its field as it was (still enabled). Enables "&Browse" and
// "&Add Job" in any case. Writes nothing, logs nothing.
void ApplySelectedTemplate(platform::Dialog& dialog, store::KeyStore& store);

// Writes the editor's spin positions and three field flags into template sub-key "<selection>"
// (the list position in decimal, not mapped through the order string). Does nothing when no
// entry is selected or the template key cannot be opened; a failed write does not stop the
// following ones. "Aspect ratio" and the other values stay as they are.
void SaveTemplateDefault(platform::Dialog& dialog, store::KeyStore& store);

} // namespace templates
