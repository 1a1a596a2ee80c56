// The in-memory dialog: control state in maps, spin and list rules as the real windows have them.
#include "platform/memory_dialog.h"

#include "platform/spin_rules.h"

#include <algorithm>

namespace platform {

namespace {

constexpr std::initializer_list<ControlKind> kTextKinds = {
    ControlKind::Button, ControlKind::CheckBox, ControlKind::Radio,
    ControlKind::Edit,   ControlKind::Label,    ControlKind::ComboBox};
constexpr std::initializer_list<ControlKind> kAnyKind = {
    ControlKind::Button,  ControlKind::CheckBox, ControlKind::Radio,
    ControlKind::Edit,    ControlKind::Label,    ControlKind::Spin,
    ControlKind::ListBox, ControlKind::ComboBox, ControlKind::Progress};
constexpr std::initializer_list<ControlKind> kCheckKinds = {ControlKind::CheckBox,
                                                            ControlKind::Radio};
constexpr std::initializer_list<ControlKind> kListKinds = {ControlKind::ListBox,
                                                           ControlKind::ComboBox};

} // namespace

MemoryDialog::MemoryDialog(const std::vector<ControlSpec>& controls) {
    for (const ControlSpec& spec : controls) {
        Control c;
        c.spec = spec;
        c.enabled = spec.enabled;
        c.text = spec.caption;
        m_Controls[spec.id] = std::move(c);
    }
    for (auto& [id, c] : m_Controls) {
        if (c.spec.kind == ControlKind::Spin && c.spec.buddy != 0) {
            auto buddy = m_Controls.find(c.spec.buddy);
            if (buddy != m_Controls.end() && buddy->second.spec.kind == ControlKind::Edit) {
                buddy->second.spinOfBuddy = id;
            }
        }
    }
}

MemoryDialog::Control* MemoryDialog::Find(int id, std::initializer_list<ControlKind> kinds) {
    return const_cast<Control*>(static_cast<const MemoryDialog*>(this)->Find(id, kinds));
}

const MemoryDialog::Control* MemoryDialog::Find(int id,
                                                std::initializer_list<ControlKind> kinds) const {
    auto it = m_Controls.find(id);
    if (it != m_Controls.end() &&
        std::find(kinds.begin(), kinds.end(), it->second.spec.kind) != kinds.end()) {
        return &it->second;
    }
    ++m_BadAccesses;
    m_LastBadId = id;
    return nullptr;
}

std::string MemoryDialog::GetText(int id) const {
    const Control* c = Find(id, kTextKinds);
    if (c == nullptr) {
        return std::string();
    }
    if (c->spec.kind == ControlKind::ComboBox) {
        return c->selection >= 0 ? c->rows[static_cast<size_t>(c->selection)].text : "";
    }
    return c->text;
}

void MemoryDialog::SetText(int id, const std::string& text) {
    Control* c = Find(id, kTextKinds);
    if (c == nullptr || c->spec.kind == ControlKind::ComboBox) {
        return;
    }
    c->text = text;
    if (c->spinOfBuddy != 0) {
        Control& spin = m_Controls[c->spinOfBuddy];
        SpinPosFromText(text, spin.low, spin.high, spin.pos);
    }
}

bool MemoryDialog::IsEnabled(int id) const {
    const Control* c = Find(id, kAnyKind);
    return c != nullptr && c->enabled;
}

void MemoryDialog::Enable(int id, bool enabled) {
    if (Control* c = Find(id, kAnyKind)) {
        c->enabled = enabled;
    }
}

bool MemoryDialog::IsVisible(int id) const {
    const Control* c = Find(id, kAnyKind);
    return c != nullptr && c->spec.visible;
}

bool MemoryDialog::IsChecked(int id) const {
    const Control* c = Find(id, kCheckKinds);
    return c != nullptr && c->checked;
}

void MemoryDialog::SetCheck(int id, bool checked) {
    if (Control* c = Find(id, kCheckKinds)) {
        c->checked = checked;
    }
}

void MemoryDialog::SetSpinRange(int spin, int low, int high) {
    if (Control* c = Find(spin, {ControlKind::Spin})) {
        c->low = low;
        c->high = high;
    }
}

bool MemoryDialog::GetSpinRange(int spin, int& low, int& high) const {
    const Control* c = Find(spin, {ControlKind::Spin});
    if (c == nullptr) {
        return false;
    }
    low = c->low;
    high = c->high;
    return true;
}

int MemoryDialog::GetSpinPos(int spin) const {
    const Control* c = Find(spin, {ControlKind::Spin});
    if (c == nullptr) {
        return 0;
    }
    // The buddy is read again, as a spin does: a text that became valid under a new range
    // counts from now on.
    int pos = c->pos;
    auto buddy = m_Controls.find(c->spec.buddy);
    if (buddy != m_Controls.end()) {
        SpinPosFromText(buddy->second.text, c->low, c->high, pos);
    }
    return pos;
}

void MemoryDialog::SetSpinPos(int spin, int pos) {
    Control* c = Find(spin, {ControlKind::Spin});
    if (c == nullptr) {
        return;
    }
    c->pos = SpinPosFromRequest(pos, c->low, c->high);
    auto buddy = m_Controls.find(c->spec.buddy);
    if (buddy != m_Controls.end()) {
        buddy->second.text = std::to_string(c->pos);
    }
}

int MemoryDialog::GetCount(int list) const {
    const Control* c = Find(list, kListKinds);
    return c == nullptr ? 0 : static_cast<int>(c->rows.size());
}

int MemoryDialog::InsertRow(int list, int row, const std::string& text, int image) {
    Control* c = Find(list, kListKinds);
    const int count = c == nullptr ? 0 : static_cast<int>(c->rows.size());
    if (c == nullptr || row < -1 || row > count) {
        return -1;
    }
    if (row == -1) {
        row = count;
    }
    const int stored = c->spec.kind == ControlKind::ListBox ? image : -1;
    c->rows.insert(c->rows.begin() + row, Row{text, stored});
    if (c->selection >= row) {
        ++c->selection;
    }
    return row;
}

bool MemoryDialog::DeleteRow(int list, int row) {
    Control* c = Find(list, kListKinds);
    if (c == nullptr || row < 0 || row >= static_cast<int>(c->rows.size())) {
        return false;
    }
    c->rows.erase(c->rows.begin() + row);
    if (c->selection == row) {
        c->selection = -1;
    } else if (c->selection > row) {
        --c->selection;
    }
    c->top = std::clamp(c->top, 0, std::max(0, static_cast<int>(c->rows.size()) - 1));
    return true;
}

void MemoryDialog::ResetContent(int list) {
    if (Control* c = Find(list, kListKinds)) {
        c->rows.clear();
        c->selection = -1;
        c->top = 0;
    }
}

void MemoryDialog::SetRowSource(int list, ListRowSource* source) {
    if (Control* c = Find(list, {ControlKind::ListBox})) {
        c->source = source;
    }
}

bool MemoryDialog::ReloadRows(int list) {
    Control* c = Find(list, {ControlKind::ListBox});
    if (c == nullptr || c->source == nullptr) {
        return false;
    }
    ResetContent(list);
    std::vector<ListRow> rows;
    c->source->ReadRows(0, c->source->CountRows(), rows);
    for (ListRow& row : rows) {
        c->rows.push_back(Row{std::move(row.text), row.image});
    }
    return true;
}

std::string MemoryDialog::GetRowText(int list, int row) const {
    const Control* c = Find(list, kListKinds);
    if (c == nullptr || row < 0 || row >= static_cast<int>(c->rows.size())) {
        return std::string();
    }
    return c->rows[static_cast<size_t>(row)].text;
}

int MemoryDialog::GetRowImage(int list, int row) const {
    const Control* c = Find(list, kListKinds);
    if (c == nullptr || row < 0 || row >= static_cast<int>(c->rows.size())) {
        return -1;
    }
    return c->rows[static_cast<size_t>(row)].image;
}

int MemoryDialog::GetSelection(int list) const {
    const Control* c = Find(list, kListKinds);
    return c == nullptr ? -1 : c->selection;
}

void MemoryDialog::SetSelection(int list, int row) {
    if (Control* c = Find(list, kListKinds)) {
        c->selection = row >= 0 && row < static_cast<int>(c->rows.size()) ? row : -1;
    }
}

int MemoryDialog::GetTopRow(int list) const {
    const Control* c = Find(list, {ControlKind::ListBox});
    return c == nullptr ? 0 : c->top;
}

void MemoryDialog::SetTopRow(int list, int row) {
    if (Control* c = Find(list, {ControlKind::ListBox})) {
        c->top = std::clamp(row, 0, std::max(0, static_cast<int>(c->rows.size()) - 1));
    }
}

void MemoryDialog::SetProgressRange(int id, int low, int high) {
    if (Control* c = Find(id, {ControlKind::Progress})) {
        c->low = low;
        c->high = high;
        c->pos = std::clamp(c->pos, std::min(low, high), std::max(low, high));
    }
}

void MemoryDialog::SetProgressPos(int id, int pos) {
    if (Control* c = Find(id, {ControlKind::Progress})) {
        c->pos = std::clamp(pos, std::min(c->low, c->high), std::max(c->low, c->high));
    }
}

int MemoryDialog::GetProgressPos(int id) const {
    const Control* c = Find(id, {ControlKind::Progress});
    return c == nullptr ? 0 : c->pos;
}

} // namespace platform
