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

    // Where a finished job's verdict ("DVD-Video: yes") is drawn, at the right end of the details
    // line of the row in `option.rect`; empty when `details` carries none.
    static QRect VerdictRect(const QStyleOptionViewItem& option, const QString& details);
};

} // namespace gui
