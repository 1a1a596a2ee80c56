// Two-line rows of the job list.
#include "gui/job_list_delegate.h"

#include <QApplication>
#include <QPainter>

namespace gui {

namespace {

QFont DetailsFont(const QFont& base) {
    QFont font(base);
    font.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() * 0.85 : 8.0);
    return font;
}

} // namespace

QSize JobListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(size.height() + QFontMetrics(DetailsFont(option.font)).height() + 2);
    return size;
}

void JobListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem first(option);
    initStyleOption(&first, index);
    QFont detailsFont = DetailsFont(option.font);
    int detailsHeight = QFontMetrics(detailsFont).height() + 2;
    // The icon and name take the upper part; the selection and focus cover the whole row.
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    QStyleOptionViewItem background(first);
    background.text.clear();
    background.icon = QIcon();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);
    first.rect.setHeight(option.rect.height() - detailsHeight);
    first.state &= ~QStyle::State_HasFocus;
    first.backgroundBrush = Qt::NoBrush;
    first.showDecorationSelected = false;
    first.state &= ~QStyle::State_Selected;
    if (option.state & QStyle::State_Selected) {
        first.palette.setColor(QPalette::Text, option.palette.color(QPalette::HighlightedText));
    }
    style->drawControl(QStyle::CE_ItemViewItem, &first, painter, option.widget);

    QString details = index.data(kJobDetailsRole).toString();
    if (details.isEmpty()) {
        return;
    }
    QRect rect(option.rect.left() + option.decorationSize.width() + 8,
               option.rect.bottom() - detailsHeight + 1,
               option.rect.width() - option.decorationSize.width() - 12, detailsHeight);
    painter->save();
    painter->setFont(detailsFont);
    QPalette::ColorRole role = option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                     : QPalette::PlaceholderText;
    painter->setPen(option.palette.color(role));
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(detailsFont).elidedText(details, Qt::ElideMiddle, rect.width()));
    painter->restore();
}

} // namespace gui
