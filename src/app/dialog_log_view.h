// The log list of the main window as the log sees it: rows of a list-box control.
#pragma once

#include "log/log.h"
#include "platform/dialog.h"

namespace app {

// Appends log rows to the list `list` of `dialog`, the row's level as its image.
class DialogLogView : public logging::LogView {
public:
    DialogLogView(platform::Dialog& dialog, int list) : m_Dialog(dialog), m_List(list) {}

    void AppendRow(int level, const std::string& text) override {
        m_Dialog.InsertRow(m_List, -1, text, level);
    }
    int RowCount() const override { return m_Dialog.GetCount(m_List); }
    void SetTopRow(int row) override { m_Dialog.SetTopRow(m_List, row); }

private:
    platform::Dialog& m_Dialog;
    int m_List;
};

} // namespace app
