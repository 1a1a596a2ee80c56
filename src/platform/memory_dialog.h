// An in-memory `Dialog` for tests: every control's state in plain fields, with the same rules
// as the real window.
#pragma once

#include "platform/control_ids.h"
#include "platform/dialog.h"

#include <map>
#include <string>
#include <vector>

namespace platform {

// Built from a control list (MainWindowControls(), SettingsDialogControls() or a test's own).
// Operations on ids that are not in the list, or on a control of the wrong kind, change
// nothing and are counted, so that a test can check that the logic only used real controls.
class MemoryDialog : public Dialog {
public:
    explicit MemoryDialog(const std::vector<ControlSpec>& controls);

    std::string GetTitle() const override { return m_Title; }
    void SetTitle(const std::string& title) override { m_Title = title; }
    std::string GetText(int id) const override;
    void SetText(int id, const std::string& text) override;
    bool IsEnabled(int id) const override;
    void Enable(int id, bool enabled) override;
    bool IsChecked(int id) const override;
    void SetCheck(int id, bool checked) override;
    void SetSpinRange(int spin, int low, int high) override;
    bool GetSpinRange(int spin, int& low, int& high) const override;
    int GetSpinPos(int spin) const override;
    void SetSpinPos(int spin, int pos) override;
    int GetCount(int list) const override;
    int InsertRow(int list, int row, const std::string& text, int image = 0) override;
    bool DeleteRow(int list, int row) override;
    void ResetContent(int list) override;
    std::string GetRowText(int list, int row) const override;
    int GetRowImage(int list, int row) const override;
    int GetSelection(int list) const override;
    void SetSelection(int list, int row) override;
    int GetTopRow(int list) const override;
    void SetTopRow(int list, int row) override;
    // A list with a source reads all its rows from it at each reload, like a plain list filled
    // row by row.
    void SetRowSource(int list, ListRowSource* source) override;
    bool ReloadRows(int list) override;
    void SetToolTip(int id, const std::string& text) override { m_ToolTips[id] = text; }
    std::string GetToolTip(int id) const override {
        auto it = m_ToolTips.find(id);
        return it == m_ToolTips.end() ? std::string() : it->second;
    }
    void SetProgressRange(int id, int low, int high) override;
    void SetProgressPos(int id, int pos) override;
    int GetProgressPos(int id) const override;

    // Test helpers: visibility as created, and the count of calls that named no suitable
    // control (with the last such id).
    bool IsVisible(int id) const;
    int BadAccesses() const { return m_BadAccesses; }
    int LastBadId() const { return m_LastBadId; }

private:
    struct Row {
        std::string text;
        int image = 0;
    };
    struct Control {
        ControlSpec spec;
        std::string text;
        bool enabled = true;
        bool checked = false;
        int low = 0, high = 100, pos = 0; // spins and progress bars
        int spinOfBuddy = 0;              // edits: the spin attached to them
        std::vector<Row> rows;
        int selection = -1;
        int top = 0;
        ListRowSource* source = nullptr;
    };

    // The control `id` if it is one of `kinds`, else nullptr (and the access is counted).
    Control* Find(int id, std::initializer_list<ControlKind> kinds);
    const Control* Find(int id, std::initializer_list<ControlKind> kinds) const;

    std::string m_Title;
    std::map<int, std::string> m_ToolTips;
    std::map<int, Control> m_Controls;
    mutable int m_BadAccesses = 0;
    mutable int m_LastBadId = 0;
};

} // namespace platform
