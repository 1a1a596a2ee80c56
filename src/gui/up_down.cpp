// The up-down control: two small arrow buttons beside a number field.
#include "gui/up_down.h"

#include "platform/spin_rules.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

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
    // Connected before anyone else's handler, so that they see the committed value.
    connect(m_Buddy, &QLineEdit::editingFinished, this, [this] { Commit(); });
    m_Buddy->installEventFilter(this);
}

void UpDown::SetRange(int low, int high) {
    m_Low = low;
    m_High = high;
}

int UpDown::Pos() {
    Commit();
    return m_Pos;
}

void UpDown::SetPos(int pos) {
    m_Pos = platform::SpinPosFromRequest(pos, m_Low, m_High);
    m_Buddy->setText(QString::number(m_Pos));
}

void UpDown::Commit() {
    // `isModified` is set by the user's typing only; setText clears it.
    if (!m_Buddy->isModified()) {
        return;
    }
    const int lo = std::min(m_Low, m_High);
    const int hi = std::max(m_Low, m_High);
    bool number = false;
    const qlonglong typed = m_Buddy->text().trimmed().toLongLong(&number);
    int pos = m_Pos;
    if (number) {
        pos = static_cast<int>(std::clamp<qlonglong>(typed, lo, hi));
    }
    m_Pos = pos;
    m_Buddy->setText(QString::number(m_Pos));
}

void UpDown::Step(int delta) {
    Commit();
    int lo = std::min(m_Low, m_High);
    int hi = std::max(m_Low, m_High);
    int step = m_Low <= m_High ? delta : -delta;
    if (m_OnStep) {
        m_OnStep(step);
    }
    SetPos(std::clamp(m_Pos + step, lo, hi));
}

void UpDown::OnBuddyText() {
    if (m_Buddy->isModified()) {
        return; // the user is typing: taken when the field is committed
    }
    int pos = 0;
    if (platform::SpinPosFromText(m_Buddy->text().toStdString(), m_Low, m_High, pos)) {
        m_Pos = pos;
    }
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_Buddy && isEnabled() && m_Buddy->isEnabled()) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
                Step(key->key() == Qt::Key_Up ? 1 : -1);
                return true;
            }
        } else if (event->type() == QEvent::Wheel) {
            // Only the field being edited follows the wheel; over any other the wheel scrolls
            // the panel (the event goes on to the field's parents).
            if (!m_Buddy->hasFocus()) {
                event->ignore();
                return false;
            }
            int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
            if (delta != 0) {
                Step(delta > 0 ? 1 : -1);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace gui
