// The `Dialog` interface over Qt widgets: texts, states, spins, list rows with icons, progress.
#include "gui/widget_dialog.h"

#include "gui/row_source_model.h"
#include "gui/up_down.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>

namespace gui {

using platform::ControlKind;

namespace {

QString Q(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

void WidgetDialog::AddControl(int id, ControlKind kind, QWidget* widget) {
    m_Controls[id] = Entry{kind, widget, widget->isEnabled()};
}

void WidgetDialog::SetUnavailable(int id, bool unavailable) {
    if (unavailable) {
        m_Unavailable.insert(id);
    } else {
        m_Unavailable.erase(id);
    }
    auto it = m_Controls.find(id);
    if (it != m_Controls.end()) {
        it->second.widget->setEnabled(it->second.enabled && !unavailable);
    }
}

QWidget* WidgetDialog::Widget(int id) const {
    auto it = m_Controls.find(id);
    return it == m_Controls.end() ? nullptr : it->second.widget;
}

template <typename W> W* WidgetDialog::Get(int id, ControlKind kind) const {
    return GetAny<W>(id, {kind});
}

template <typename W>
W* WidgetDialog::GetAny(int id, std::initializer_list<ControlKind> kinds) const {
    auto it = m_Controls.find(id);
    if (it == m_Controls.end()) {
        return nullptr;
    }
    for (ControlKind k : kinds) {
        if (it->second.kind == k) {
            return dynamic_cast<W*>(it->second.widget);
        }
    }
    return nullptr;
}

RowSourceModel* WidgetDialog::SourceModel(int list) const {
    auto* view = Get<QListView>(list, ControlKind::ListBox);
    return view ? dynamic_cast<RowSourceModel*>(view->model()) : nullptr;
}

namespace {

// Blocks the signals of a view and of its selection model: only the user's changes of rows
// and selection reach the window's handlers. The view misses the selection's signals meanwhile,
// so it is repainted at the end.
struct ViewSignalBlocker {
    explicit ViewSignalBlocker(QWidget* widget)
        : list(dynamic_cast<QListView*>(widget)), view(widget),
          selection(list && list->selectionModel() ? list->selectionModel() : nullptr) {}
    ~ViewSignalBlocker() {
        if (list) {
            list->viewport()->update();
        }
    }
    QListView* list;
    QSignalBlocker view;
    QSignalBlocker selection;
};

} // namespace

std::string WidgetDialog::GetTitle() const {
    return S(m_Window->windowTitle());
}

void WidgetDialog::SetTitle(const std::string& title) {
    m_Window->setWindowTitle(Q(title));
}

std::string WidgetDialog::GetText(int id) const {
    if (auto* b = GetAny<QAbstractButton>(
            id, {ControlKind::Button, ControlKind::CheckBox, ControlKind::Radio})) {
        return S(b->text());
    }
    if (auto* e = Get<QLineEdit>(id, ControlKind::Edit)) {
        return S(e->text());
    }
    if (auto* e = Get<QPlainTextEdit>(id, ControlKind::Edit)) {
        return S(e->toPlainText());
    }
    if (auto* l = Get<QLabel>(id, ControlKind::Label)) {
        return S(l->text());
    }
    return std::string();
}

void WidgetDialog::SetText(int id, const std::string& text) {
    if (auto* b = GetAny<QAbstractButton>(
            id, {ControlKind::Button, ControlKind::CheckBox, ControlKind::Radio})) {
        b->setText(Q(text));
    } else if (auto* e = Get<QLineEdit>(id, ControlKind::Edit)) {
        e->setText(Q(text));
        e->setCursorPosition(0);
    } else if (auto* e = Get<QPlainTextEdit>(id, ControlKind::Edit)) {
        e->setPlainText(Q(text));
    } else if (auto* l = Get<QLabel>(id, ControlKind::Label)) {
        l->setText(Q(text));
    }
}

bool WidgetDialog::IsEnabled(int id) const {
    auto it = m_Controls.find(id);
    return it != m_Controls.end() && it->second.enabled;
}

void WidgetDialog::Enable(int id, bool enabled) {
    auto it = m_Controls.find(id);
    if (it == m_Controls.end()) {
        return;
    }
    it->second.enabled = enabled;
    it->second.widget->setEnabled(enabled && !IsUnavailable(id));
}

bool WidgetDialog::IsChecked(int id) const {
    auto* b = GetAny<QAbstractButton>(id, {ControlKind::CheckBox, ControlKind::Radio});
    return b != nullptr && b->isChecked();
}

void WidgetDialog::SetCheck(int id, bool checked) {
    if (auto* b = GetAny<QAbstractButton>(id, {ControlKind::CheckBox, ControlKind::Radio})) {
        b->setChecked(checked);
    }
}

void WidgetDialog::SetSpinRange(int spin, int low, int high) {
    if (auto* s = Get<UpDown>(spin, ControlKind::Spin)) {
        s->SetRange(low, high);
    }
}

bool WidgetDialog::GetSpinRange(int spin, int& low, int& high) const {
    auto* s = Get<UpDown>(spin, ControlKind::Spin);
    if (s == nullptr) {
        return false;
    }
    low = s->Low();
    high = s->High();
    return true;
}

int WidgetDialog::GetSpinPos(int spin) const {
    auto* s = Get<UpDown>(spin, ControlKind::Spin);
    return s == nullptr ? 0 : s->Pos();
}

void WidgetDialog::SetSpinPos(int spin, int pos) {
    if (auto* s = Get<UpDown>(spin, ControlKind::Spin)) {
        s->SetPos(pos);
    }
}

int WidgetDialog::GetCount(int list) const {
    if (RowSourceModel* m = SourceModel(list)) {
        return m->rowCount();
    }
    if (auto* l = Get<QListWidget>(list, ControlKind::ListBox)) {
        return l->count();
    }
    if (auto* c = Get<QComboBox>(list, ControlKind::ComboBox)) {
        return c->count();
    }
    return 0;
}

int WidgetDialog::InsertRow(int list, int row, const std::string& text, int image) {
    // Only the user's changes of rows and selection reach the window's handlers.
    ViewSignalBlocker block(Widget(list));
    int count = GetCount(list);
    if (row == -1) {
        row = count;
    }
    if (row < 0 || row > count) {
        return -1;
    }
    if (RowSourceModel* m = SourceModel(list)) {
        m->InsertRow(row, image);
        return row;
    }
    if (auto* l = Get<QListWidget>(list, ControlKind::ListBox)) {
        auto* item = new QListWidgetItem(Q(text));
        item->setData(Qt::UserRole, image);
        auto images = m_Images.find(list);
        if (images != m_Images.end()) {
            item->setIcon(images->second(image));
        }
        l->insertItem(row, item);
        return row;
    }
    if (auto* c = Get<QComboBox>(list, ControlKind::ComboBox)) {
        // Qt makes the first entry of an empty combo box current by itself; a list filled by
        // the program has no selection until someone chooses one.
        const bool none = c->currentIndex() < 0;
        c->insertItem(row, Q(text));
        if (none) {
            c->setCurrentIndex(-1);
        }
        return row;
    }
    return -1;
}

bool WidgetDialog::DeleteRow(int list, int row) {
    // Only the user's changes of rows and selection reach the window's handlers.
    ViewSignalBlocker block(Widget(list));
    if (row < 0 || row >= GetCount(list)) {
        return false;
    }
    if (RowSourceModel* m = SourceModel(list)) {
        auto* view = Get<QListView>(list, ControlKind::ListBox);
        const int selected = GetSelection(list);
        m->RemoveRow(row);
        if (selected == row || selected < 0) {
            view->selectionModel()->clear();
        } else if (selected > row) {
            view->selectionModel()->setCurrentIndex(m->index(selected - 1),
                                                    QItemSelectionModel::ClearAndSelect);
        }
        return true;
    }
    if (auto* l = Get<QListWidget>(list, ControlKind::ListBox)) {
        // Qt hands the current item to a neighbour; here the deleted row takes the selection
        // with it and a selection below it moves up with its row.
        const int selected = GetSelection(list);
        delete l->takeItem(row);
        if (selected == row) {
            l->clearSelection();
            l->setCurrentItem(nullptr);
        } else if (selected > row) {
            l->setCurrentRow(selected - 1, QItemSelectionModel::ClearAndSelect);
        } else if (selected < 0) {
            l->clearSelection();
            l->setCurrentItem(nullptr);
        }
        return true;
    }
    if (auto* c = Get<QComboBox>(list, ControlKind::ComboBox)) {
        c->removeItem(row);
        return true;
    }
    return false;
}

void WidgetDialog::ResetContent(int list) {
    // Only the user's changes of rows and selection reach the window's handlers.
    ViewSignalBlocker block(Widget(list));
    if (RowSourceModel* m = SourceModel(list)) {
        // The rows are the source's; without them the list is empty until the next reload.
        platform::ListRowSource* source = m->Source();
        m->SetSource(nullptr);
        m->SetSourceQuietly(source);
    } else if (auto* l = Get<QListWidget>(list, ControlKind::ListBox)) {
        l->clear();
    } else if (auto* c = Get<QComboBox>(list, ControlKind::ComboBox)) {
        c->clear();
    }
    m_PendingTop.erase(list);
}

std::string WidgetDialog::GetRowText(int list, int row) const {
    if (RowSourceModel* m = SourceModel(list)) {
        return m->Row(row).text;
    }
    if (auto* l = Get<QListWidget>(list, ControlKind::ListBox)) {
        QListWidgetItem* item = l->item(row);
        return item ? S(item->text()) : std::string();
    }
    if (auto* c = Get<QComboBox>(list, ControlKind::ComboBox)) {
        return row >= 0 && row < c->count() ? S(c->itemText(row)) : std::string();
    }
    return std::string();
}

int WidgetDialog::GetRowImage(int list, int row) const {
    if (RowSourceModel* m = SourceModel(list)) {
        return m->Row(row).image;
    }
    auto* l = Get<QListWidget>(list, ControlKind::ListBox);
    QListWidgetItem* item = l ? l->item(row) : nullptr;
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

int WidgetDialog::GetSelection(int list) const {
    if (SourceModel(list) != nullptr) {
        auto* view = Get<QListView>(list, ControlKind::ListBox);
        QModelIndex current = view->currentIndex();
        return current.isValid() && view->selectionModel()->isSelected(current) ? current.row()
                                                                                : -1;
    }
    if (auto* l = Get<QListWidget>(list, ControlKind::ListBox)) {
        QListWidgetItem* item = l->currentItem();
        return item && item->isSelected() ? l->row(item) : -1;
    }
    if (auto* c = Get<QComboBox>(list, ControlKind::ComboBox)) {
        return c->currentIndex();
    }
    return -1;
}

std::vector<int> WidgetDialog::GetSelectedRows(int list) const {
    std::vector<int> rows;
    auto* view = Get<QAbstractItemView>(list, ControlKind::ListBox);
    if (view == nullptr) {
        return Dialog::GetSelectedRows(list);
    }
    for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool WidgetDialog::IsOnlySelectedRow(int list, int row) const {
    auto* view = Get<QAbstractItemView>(list, ControlKind::ListBox);
    if (view == nullptr) {
        return Dialog::IsOnlySelectedRow(list, row);
    }
    // The selection's ranges, not its rows: Ctrl+A on a long list is one range.
    const QItemSelection selection = view->selectionModel()->selection();
    return selection.size() == 1 && selection.front().height() == 1 &&
           selection.front().top() == row;
}

void WidgetDialog::SetSelectedRows(int list, const std::vector<int>& rows) {
    auto* view = Get<QAbstractItemView>(list, ControlKind::ListBox);
    if (view == nullptr) {
        Dialog::SetSelectedRows(list, rows);
        return;
    }
    SetSelection(list, rows.empty() ? -1 : rows.front());
    // One selection of ranges: a long run of rows costs one range, not one change per row.
    ViewSignalBlocker block(view);
    QItemSelection selection;
    QAbstractItemModel* model = view->model();
    const int count = model->rowCount();
    for (size_t k = 1; k < rows.size();) {
        size_t end = k;
        while (end + 1 < rows.size() && rows[end + 1] == rows[end] + 1) {
            ++end;
        }
        if (rows[k] >= 0 && rows[end] < count) {
            selection.select(model->index(rows[k], 0), model->index(rows[end], 0));
        }
        k = end + 1;
    }
    view->selectionModel()->select(selection, QItemSelectionModel::Select);
}

void WidgetDialog::SetToolTip(int id, const std::string& text) {
    if (QWidget* widget = Widget(id)) {
        widget->setToolTip(QString::fromLocal8Bit(text.c_str()));
    }
}

std::string WidgetDialog::GetToolTip(int id) const {
    QWidget* widget = Widget(id);
    return widget ? widget->toolTip().toLocal8Bit().toStdString() : std::string();
}

void WidgetDialog::SetSelection(int list, int row) {
    // Only the user's changes of rows and selection reach the window's handlers.
    ViewSignalBlocker block(Widget(list));
    bool valid = row >= 0 && row < GetCount(list);
    if (RowSourceModel* m = SourceModel(list)) {
        auto* view = Get<QListView>(list, ControlKind::ListBox);
        if (valid) {
            view->selectionModel()->setCurrentIndex(m->index(row),
                                                    QItemSelectionModel::ClearAndSelect);
        } else {
            view->selectionModel()->clear();
        }
    } else if (auto* l = Get<QListWidget>(list, ControlKind::ListBox)) {
        if (valid) {
            l->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        } else {
            l->clearSelection();
            l->setCurrentRow(-1);
        }
    } else if (auto* c = Get<QComboBox>(list, ControlKind::ComboBox)) {
        c->setCurrentIndex(valid ? row : -1);
    }
}

int WidgetDialog::GetTopRow(int list) const {
    auto pending = m_PendingTop.find(list);
    if (pending != m_PendingTop.end()) {
        return pending->second;
    }
    auto* l = Get<QListView>(list, ControlKind::ListBox);
    if (l == nullptr || GetCount(list) == 0) {
        return 0;
    }
    QModelIndex top = l->indexAt(QPoint(2, 2));
    return top.isValid() ? top.row() : 0;
}

void WidgetDialog::SetTopRow(int list, int row) {
    auto* l = Get<QListView>(list, ControlKind::ListBox);
    if (l == nullptr || GetCount(list) == 0) {
        return;
    }
    bool queued = m_PendingTop.count(list) != 0;
    m_PendingTop[list] = std::clamp(row, 0, GetCount(list) - 1);
    if (!queued) {
        QTimer::singleShot(0, l, [this, list] { ApplyTopRow(list); });
    }
}

void WidgetDialog::ApplyTopRow(int list) {
    auto pending = m_PendingTop.find(list);
    auto* l = Get<QListView>(list, ControlKind::ListBox);
    if (pending == m_PendingTop.end() || l == nullptr) {
        return;
    }
    int row = pending->second;
    m_PendingTop.erase(pending);
    QModelIndex index = l->model()->index(row, 0);
    if (index.isValid()) {
        l->scrollTo(index, QAbstractItemView::PositionAtTop);
    }
}

void WidgetDialog::SetRowSource(int list, platform::ListRowSource* source) {
    ViewSignalBlocker block(Widget(list));
    if (RowSourceModel* m = SourceModel(list)) {
        // The rows are read at the next reload; a list left without a source is empty at once.
        if (source == nullptr) {
            m->SetSource(nullptr);
        } else {
            m->SetSourceQuietly(source);
        }
    }
}

bool WidgetDialog::ReloadRows(int list) {
    ViewSignalBlocker block(Widget(list));
    RowSourceModel* m = SourceModel(list);
    if (m == nullptr || m->Source() == nullptr) {
        return false;
    }
    m->Reload();
    m_PendingTop.erase(list);
    return true;
}

void WidgetDialog::ReplaceRow(int list, int row, const std::string& text, int image) {
    if (RowSourceModel* m = SourceModel(list)) {
        if (row >= 0 && row < m->rowCount()) {
            m->ReplaceRow(row, image);
        }
        return;
    }
    ViewSignalBlocker block(Widget(list));
    if (auto* l = Get<QListWidget>(list, ControlKind::ListBox)) {
        if (QListWidgetItem* item = l->item(row)) {
            item->setText(Q(text));
            item->setData(Qt::UserRole, image);
            auto images = m_Images.find(list);
            if (images != m_Images.end()) {
                item->setIcon(images->second(image));
            }
        }
        return;
    }
    platform::Dialog::ReplaceRow(list, row, text, image);
}

void WidgetDialog::RowChanged(int list, int row) {
    if (RowSourceModel* m = SourceModel(list)) {
        m->RowChanged(row);
    }
}

void WidgetDialog::AllRowsChanged(int list) {
    if (RowSourceModel* m = SourceModel(list)) {
        m->AllChanged();
    }
}

void WidgetDialog::SetProgressRange(int id, int low, int high) {
    if (auto* p = Get<QProgressBar>(id, ControlKind::Progress)) {
        p->setRange(low, high);
    }
}

void WidgetDialog::SetProgressPos(int id, int pos) {
    // A position outside the range shows as its nearer end (Qt would ignore it and leave the
    // bar where it was).
    if (auto* p = Get<QProgressBar>(id, ControlKind::Progress)) {
        p->setValue(std::clamp(pos, p->minimum(), p->maximum()));
    }
}

int WidgetDialog::GetProgressPos(int id) const {
    auto* p = Get<QProgressBar>(id, ControlKind::Progress);
    return p == nullptr ? 0 : p->value();
}

} // namespace gui
