// Two-line rows of the job list.
#include "gui/job_list_delegate.h"

#include "app/job_row_details.h"

#include <QApplication>
#include <QPainter>

namespace gui {

namespace {

QFont DetailsFont(const QFont& base) {
    QFont font(base);
    font.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() * 0.85 : 8.0);
    return font;
}

int DetailsHeight(const QFont& base) {
    return QFontMetrics(DetailsFont(base)).height() + 2;
}

QRect DetailsRect(const QStyleOptionViewItem& option) {
    int height = DetailsHeight(option.font);
    return QRect(option.rect.left() + option.decorationSize.width() + 8,
                 option.rect.bottom() - height + 1,
                 option.rect.width() - option.decorationSize.width() - 12, height);
}

// The details before the verdict, and the verdict ("DVD-Video: yes") or "".
std::pair<QString, QString> SplitVerdict(const QString& details) {
    const QString separator = QString::fromLatin1(app::kJobVerdictSeparator);
    qsizetype at = details.lastIndexOf(separator);
    if (at < 0) {
        return {details, QString()};
    }
    return {details.left(at), details.mid(at + separator.indexOf("DVD"))};
}

} // namespace

QRect JobListDelegate::VerdictRect(const QStyleOptionViewItem& option, const QString& details) {
    QString verdict = SplitVerdict(details).second;
    if (verdict.isEmpty()) {
        return QRect();
    }
    QRect rect = DetailsRect(option);
    int width = QFontMetrics(DetailsFont(option.font)).horizontalAdvance(verdict);
    rect.setLeft(std::max(rect.left(), rect.right() - width));
    return rect;
}

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
    QRect rect = DetailsRect(option);
    painter->save();
    painter->setFont(detailsFont);
    QPalette::ColorRole role = option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                     : QPalette::PlaceholderText;
    painter->setPen(option.palette.color(role));
    // A finished job's verdict keeps its place at the right end, where a double-click opens the
    // report; the rest is shortened in the middle to fit before it.
    auto [text, verdict] = SplitVerdict(details);
    if (!verdict.isEmpty()) {
        QRect verdictRect = VerdictRect(option, details);
        painter->drawText(verdictRect, Qt::AlignRight | Qt::AlignVCenter, verdict);
        rect.setRight(verdictRect.left() - 12);
    }
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(detailsFont).elidedText(text, Qt::ElideMiddle, rect.width()));
    painter->restore();
}

} // namespace gui
