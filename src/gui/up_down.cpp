// The up-down control: two small arrow buttons beside a number field.
#include "gui/up_down.h"

#include "platform/spin_rules.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace gui {

UpDown::UpDown(QLineEdit* buddy, QWidget* parent) : QWidget(parent), m_Buddy(buddy) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_Up = new QToolButton(this);
    m_Down = new QToolButton(this);
    m_Up->setArrowType(Qt::UpArrow);
    m_Down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {m_Up, m_Down}) {
        b->setFixedSize(16, 11);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
    }
    setFixedWidth(16);
    connect(m_Up, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_Down, &QToolButton::clicked, this, [this] { Step(-1); });
    connect(m_Buddy, &QLineEdit::textChanged, this, [this] { OnBuddyText(); });
}

void UpDown::SetRange(int low, int high) {
    m_Low = low;
    m_High = high;
}

void UpDown::SetPos(int pos) {
    m_Pos = platform::SpinPosFromRequest(pos, m_Low, m_High);
    m_Buddy->setText(QString::number(m_Pos));
}

void UpDown::Step(int delta) {
    int lo = std::min(m_Low, m_High);
    int hi = std::max(m_Low, m_High);
    int step = m_Low <= m_High ? delta : -delta;
    if (m_OnStep) {
        m_OnStep(step);
    }
    SetPos(std::clamp(m_Pos + step, lo, hi));
}

void UpDown::OnBuddyText() {
    int pos = 0;
    if (platform::SpinPosFromText(m_Buddy->text().toStdString(), m_Low, m_High, pos)) {
        m_Pos = pos;
    }
}

} // namespace gui
