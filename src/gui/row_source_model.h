// A list model over a `ListRowSource`: it holds the row count, a few pages of rows and the
// images given to single rows, and reads a page (one query) only when a row of it is shown.
#pragma once

#include "platform/dialog.h"

#include <QAbstractListModel>
#include <QIcon>

#include <functional>
#include <list>
#include <map>
#include <vector>

namespace gui {

class RowSourceModel : public QAbstractListModel {
public:
    using ImageSource = std::function<QIcon(int image)>;
    static constexpr int kPageRows = 64;
    static constexpr size_t kPagesKept = 16;

    RowSourceModel(ImageSource images, QObject* parent);

    // Null: no rows. Either way the rows are read anew.
    void SetSource(platform::ListRowSource* source);
    platform::ListRowSource* Source() const { return m_Source; }
    // Keeps `source` for the next Reload without reading it now.
    void SetSourceQuietly(platform::ListRowSource* source) { m_Source = source; }
    // The count from the source, every page and given image forgotten.
    void Reload();
    // A row was added at `row` (its content is the source's), shown with `image`.
    void InsertRow(int row, int image);
    void RemoveRow(int row);
    // Row `row` shows `image` from now on, with the source's text.
    void ReplaceRow(int row, int image);
    // The source's content of `row` (or of every row) changed.
    void RowChanged(int row);
    void AllChanged();
    // The row as shown (empty text, image -1, when it does not exist).
    platform::ListRow Row(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const std::vector<platform::ListRow>* Page(int page) const;
    void DropPagesFrom(int row);
    // The images given to rows at or after `row` follow their rows `by` places.
    void ShiftGivenImages(int row, int by);

    ImageSource m_Images;
    platform::ListRowSource* m_Source = nullptr;
    int m_Count = 0;
    mutable std::map<int, std::vector<platform::ListRow>> m_Pages;
    mutable std::list<int> m_Recent; // most recent first
    std::map<int, int> m_GivenImages;
};

} // namespace gui
