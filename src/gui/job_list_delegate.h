// The job list's rows in two lines: the status icon and the job's name, and below them, smaller,
// the job's details (state, template, output stream) kept in the row's `kJobDetailsRole`.
#pragma once

#include <QStyledItemDelegate>

namespace gui {

inline constexpr int kJobDetailsRole = Qt::UserRole + 1;

class JobListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace gui
