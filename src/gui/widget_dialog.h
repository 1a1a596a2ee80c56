// The `Dialog` interface over real Qt widgets, addressed by control number.
#pragma once

#include "platform/dialog.h"

#include <QIcon>

#include <functional>
#include <map>
#include <set>

class QWidget;

namespace gui {

class RowSourceModel;

// Controls are registered with their number and kind by the window that creates them. A
// control marked unavailable (its part of the program is not present) keeps the enabled state
// the logic gives it, but its widget stays disabled, so nothing pretends to work. Changes of a
// list's rows or selection made through this interface emit no widget signals: like the
// platform's own list notifications, the window's handlers see only the user's changes.
class WidgetDialog : public platform::Dialog {
public:
    using ImageSource = std::function<QIcon(int image)>;

    explicit WidgetDialog(QWidget* window) : m_Window(window) {}

    // `widget` must match `kind`: QAbstractButton (Button, CheckBox, Radio), QLineEdit (Edit),
    // QLabel (Label), UpDown (Spin), QListWidget or a QListView over a RowSourceModel
    // (ListBox), QComboBox (ComboBox), QProgressBar (Progress). Its current enabled state
    // becomes the logical one.
    void AddControl(int id, platform::ControlKind kind, QWidget* widget);
    // The icons of a list box's rows by image index.
    void SetImages(int list, ImageSource images) { m_Images[list] = std::move(images); }
    void SetUnavailable(int id, bool unavailable);
    bool IsUnavailable(int id) const { return m_Unavailable.count(id) != 0; }
    QWidget* Widget(int id) const;

    std::string GetTitle() const override;
    void SetTitle(const std::string& title) override;
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
    std::vector<int> GetSelectedRows(int list) const override;
    bool IsOnlySelectedRow(int list, int row) const override;
    void SetSelectedRows(int list, const std::vector<int>& rows) override;
    void SetToolTip(int id, const std::string& text) override;
    std::string GetToolTip(int id) const override;
    int GetTopRow(int list) const override;
    void SetTopRow(int list, int row) override;
    void SetRowSource(int list, platform::ListRowSource* source) override;
    bool ReloadRows(int list) override;
    void ReplaceRow(int list, int row, const std::string& text, int image) override;
    void RowChanged(int list, int row) override;
    // Every row of a list over a source shown anew (settings that change every row's details).
    void AllRowsChanged(int list);
    void SetProgressRange(int id, int low, int high) override;
    void SetProgressPos(int id, int pos) override;
    int GetProgressPos(int id) const override;

private:
    struct Entry {
        platform::ControlKind kind;
        QWidget* widget;
        bool enabled;
    };
    template <typename W> W* Get(int id, platform::ControlKind kind) const;
    // The model of a list box that reads its rows from a source, or null.
    RowSourceModel* SourceModel(int list) const;
    template <typename W> W* GetAny(int id, std::initializer_list<platform::ControlKind>) const;
    // Scrolls a list to its wanted top row once the event loop has laid it out; many appends
    // in a row cost one scroll.
    void ApplyTopRow(int list);

    QWidget* m_Window;
    std::map<int, Entry> m_Controls;
    std::map<int, ImageSource> m_Images;
    std::set<int> m_Unavailable;
    std::map<int, int> m_PendingTop;
};

} // namespace gui
