// `Dialog`: the controls of a dialog window as the logic sees them, addressed by control number.
#pragma once

#include <string>
#include <vector>

namespace platform {

// One row of a list box whose rows come from elsewhere (a long job queue), as it is shown.
struct ListRow {
    std::string text;
    int image = 0;
    std::string details; // a second, smaller line; may be empty
};

// Where a list box reads its rows when it does not hold them itself: only the rows on screen
// are asked for, a page at a time. UI thread only.
class ListRowSource {
public:
    virtual ~ListRowSource() = default;
    virtual int CountRows() = 0;
    // The rows [first, first + count) that exist, in order.
    virtual void ReadRows(int first, int count, std::vector<ListRow>& rows) = 0;
};

enum class ControlKind {
    Button,   // push button: caption, enabled
    CheckBox, // caption, checked
    Radio,    // caption, checked; grouped by number ranges
    Edit,     // text field; may be the buddy of a spin
    Label,    // read-only text
    Spin,     // up-down control with a range and a position, attached to a buddy edit
    ListBox,  // rows of text, each with an image index; one selection; a top visible row
    ComboBox, // drop-down list: rows of text and one selection
    Progress, // progress bar: range and position
};

// Every operation is called on the UI thread only. An id that names no control of the dialog,
// or a control of another kind, makes a setter do nothing and a getter return the empty text,
// false, 0 or -1 as stated.
class Dialog {
public:
    virtual ~Dialog() = default;

    virtual std::string GetTitle() const = 0;
    virtual void SetTitle(const std::string& title) = 0;

    // The caption of a button, check box or radio button, or the text of an edit or label.
    virtual std::string GetText(int id) const = 0;
    // Setting the text of a spin's buddy moves the spin when the text is a number in range.
    virtual void SetText(int id, const std::string& text) = 0;

    virtual bool IsEnabled(int id) const = 0;
    virtual void Enable(int id, bool enabled) = 0;

    // Check boxes and radio buttons.
    virtual bool IsChecked(int id) const = 0;
    virtual void SetCheck(int id, bool checked) = 0;
    // Checks radio `id` and clears every other control numbered `first` to `last`.
    void CheckRadioButton(int first, int last, int id) {
        for (int k = first; k <= last; ++k) {
            SetCheck(k, k == id);
        }
    }
    // The first checked control numbered `first` to `last`, or 0 when none is.
    int GetCheckedRadioButton(int first, int last) const {
        for (int k = first; k <= last; ++k) {
            if (IsChecked(k)) {
                return k;
            }
        }
        return 0;
    }

    // Spins. The range is any two numbers (low may exceed high). The position follows the
    // buddy's text whenever that text is a whole number within the range (see spin_rules.h);
    // otherwise it keeps its last value. GetSpinPos returns 0 for a spin never set.
    virtual void SetSpinRange(int spin, int low, int high) = 0;
    virtual bool GetSpinRange(int spin, int& low, int& high) const = 0;
    virtual int GetSpinPos(int spin) const = 0;
    // Takes the low 16 bits of `pos` as a signed number, clamps it into the range, and writes
    // the result into the buddy as decimal text.
    virtual void SetSpinPos(int spin, int pos) = 0;

    // List boxes and drop-down lists; rows are counted from 0.
    virtual int GetCount(int list) const = 0;
    // Inserts a row before `row` (-1 or the count appends). Returns the new row's index, or -1
    // when `row` is out of range. A selection at or after `row` moves down with its row.
    virtual int InsertRow(int list, int row, const std::string& text, int image = 0) = 0;
    // Removes a row; a selection of it is cleared, a later one moves up. False when out of range.
    virtual bool DeleteRow(int list, int row) = 0;
    virtual void ResetContent(int list) = 0;
    virtual std::string GetRowText(int list, int row) const = 0;
    // The row's image index (list boxes), or -1.
    virtual int GetRowImage(int list, int row) const = 0;
    // The selected row, or -1 when none.
    virtual int GetSelection(int list) const = 0;
    // Selects `row`; -1 or an out-of-range row clears the selection.
    virtual void SetSelection(int list, int row) = 0;
    // Every selected row of a list box that allows several, in ascending order; by default the
    // one selection.
    virtual std::vector<int> GetSelectedRows(int list) const {
        int row = GetSelection(list);
        return row < 0 ? std::vector<int>() : std::vector<int>{row};
    }
    // True when `row` is the one row selected, asked without listing a long selection.
    virtual bool IsOnlySelectedRow(int list, int row) const {
        return GetSelectedRows(list) == std::vector<int>{row};
    }
    // Selects exactly `rows` (out-of-range ones are skipped), the first one current; by default
    // only the first.
    virtual void SetSelectedRows(int list, const std::vector<int>& rows) {
        SetSelection(list, rows.empty() ? -1 : rows.front());
    }
    // The hint a control shows under the pointer, such as why it is disabled.
    virtual void SetToolTip(int /*id*/, const std::string& /*text*/) {}
    virtual std::string GetToolTip(int /*id*/) const { return std::string(); }
    // The top visible row of a list box; SetTopRow scrolls so that `row` (clamped into the
    // rows) is the first one shown.
    virtual int GetTopRow(int list) const = 0;
    virtual void SetTopRow(int list, int row) = 0;

    // List boxes that read their rows from `source` (null: hold them again), from the next
    // ReloadRows on. With a source, a
    // row's text and image come from it; an image given by InsertRow or ReplaceRow stays on its
    // row (moving with it) until ReloadRows. Without support the list keeps its own rows.
    virtual void SetRowSource(int /*list*/, ListRowSource* /*source*/) {}
    // Re-reads the row count from the source and forgets every given image. False when the list
    // has no source (then the caller fills it row by row).
    virtual bool ReloadRows(int /*list*/) { return false; }
    // Shows `text` and `image` in row `row` in place, its selection kept.
    virtual void ReplaceRow(int list, int row, const std::string& text, int image) {
        const bool selected = GetSelection(list) == row;
        DeleteRow(list, row);
        InsertRow(list, row, text, image);
        if (selected) {
            SetSelection(list, row);
        }
    }
    // The row's content changed where it comes from: shown anew.
    virtual void RowChanged(int /*list*/, int /*row*/) {}

    // Progress bars.
    virtual void SetProgressRange(int id, int low, int high) = 0;
    virtual void SetProgressPos(int id, int pos) = 0;
    virtual int GetProgressPos(int id) const = 0;
};

} // namespace platform
