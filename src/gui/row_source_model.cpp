// The job list's model: pages of rows read on demand from the store.
#include "gui/row_source_model.h"

#include "gui/job_list_delegate.h"

#include <algorithm>

namespace gui {

RowSourceModel::RowSourceModel(ImageSource images, QObject* parent)
    : QAbstractListModel(parent), m_Images(std::move(images)) {}

void RowSourceModel::SetSource(platform::ListRowSource* source) {
    m_Source = source;
    Reload();
}

void RowSourceModel::Reload() {
    beginResetModel();
    m_Count = m_Source ? std::max(0, m_Source->CountRows()) : 0;
    m_Pages.clear();
    m_Recent.clear();
    m_GivenImages.clear();
    endResetModel();
}

void RowSourceModel::DropPagesFrom(int row) {
    for (auto it = m_Pages.lower_bound(row / kPageRows); it != m_Pages.end();) {
        m_Recent.remove(it->first);
        it = m_Pages.erase(it);
    }
}

void RowSourceModel::ShiftGivenImages(int row, int by) {
    // Only the entries at or after the row move: appending a row costs nothing however many
    // images were given before it.
    std::vector<decltype(m_GivenImages)::node_type> after;
    for (auto it = m_GivenImages.lower_bound(row); it != m_GivenImages.end();) {
        after.push_back(m_GivenImages.extract(it++));
    }
    for (auto& node : after) {
        node.key() += by;
        m_GivenImages.insert(std::move(node));
    }
}

void RowSourceModel::InsertRow(int row, int image) {
    beginInsertRows(QModelIndex(), row, row);
    ShiftGivenImages(row, 1);
    m_GivenImages[row] = image;
    ++m_Count;
    DropPagesFrom(row);
    endInsertRows();
}

void RowSourceModel::RemoveRow(int row) {
    beginRemoveRows(QModelIndex(), row, row);
    m_GivenImages.erase(row);
    ShiftGivenImages(row + 1, -1);
    --m_Count;
    DropPagesFrom(row);
    endRemoveRows();
}

void RowSourceModel::ReplaceRow(int row, int image) {
    m_GivenImages[row] = image;
    RowChanged(row);
}

void RowSourceModel::RowChanged(int row) {
    if (row < 0 || row >= m_Count) {
        return;
    }
    // A kept page gets the one row anew (the run's display changes a row several times a
    // second); a page not kept is read when it is shown.
    const int page = row / kPageRows;
    auto kept = m_Pages.find(page);
    if (kept != m_Pages.end()) {
        std::vector<platform::ListRow> one;
        const size_t at = static_cast<size_t>(row % kPageRows);
        if (m_Source != nullptr) {
            m_Source->ReadRows(row, 1, one);
        }
        if (one.size() == 1 && at < kept->second.size()) {
            kept->second[at] = std::move(one.front());
        } else {
            m_Pages.erase(kept);
            m_Recent.remove(page);
        }
    }
    emit dataChanged(index(row), index(row));
}

void RowSourceModel::AllChanged() {
    m_Pages.clear();
    m_Recent.clear();
    if (m_Count > 0) {
        emit dataChanged(index(0), index(m_Count - 1));
    }
}

const std::vector<platform::ListRow>* RowSourceModel::Page(int page) const {
    auto found = m_Pages.find(page);
    if (found != m_Pages.end()) {
        m_Recent.remove(page);
        m_Recent.push_front(page);
        return &found->second;
    }
    if (m_Source == nullptr) {
        return nullptr;
    }
    std::vector<platform::ListRow> rows;
    int first = page * kPageRows;
    m_Source->ReadRows(first, std::min(kPageRows, m_Count - first), rows);
    if (m_Pages.size() >= kPagesKept && !m_Recent.empty()) {
        m_Pages.erase(m_Recent.back());
        m_Recent.pop_back();
    }
    m_Recent.push_front(page);
    return &m_Pages.emplace(page, std::move(rows)).first->second;
}

platform::ListRow RowSourceModel::Row(int row) const {
    if (row < 0 || row >= m_Count) {
        return platform::ListRow{std::string(), -1, std::string()};
    }
    platform::ListRow shown;
    const std::vector<platform::ListRow>* page = Page(row / kPageRows);
    size_t at = static_cast<size_t>(row % kPageRows);
    if (page != nullptr && at < page->size()) {
        shown = (*page)[at];
    }
    auto given = m_GivenImages.find(row);
    if (given != m_GivenImages.end()) {
        shown.image = given->second;
    }
    return shown;
}

int RowSourceModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_Count;
}

QVariant RowSourceModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_Count) {
        return QVariant();
    }
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLocal8Bit(Row(index.row()).text.c_str());
    case Qt::DecorationRole:
        return m_Images ? QVariant(m_Images(Row(index.row()).image)) : QVariant();
    case Qt::UserRole:
        return Row(index.row()).image;
    case kJobDetailsRole:
        return QString::fromLocal8Bit(Row(index.row()).details.c_str());
    default:
        return QVariant();
    }
}

} // namespace gui
