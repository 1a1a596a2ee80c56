// An up-down control attached to a text field: the spin of the Dialog interface on Qt.
#pragma once

#include <QWidget>

#include <functional>

class QLineEdit;
class QToolButton;

namespace gui {

// Holds a range and a position; the position follows the buddy's text whenever that text is a
// whole number in the range, and the arrows move it by one and write it into the buddy.
class UpDown : public QWidget {
public:
    UpDown(QLineEdit* buddy, QWidget* parent = nullptr);

    void SetRange(int low, int high);
    int Low() const { return m_Low; }
    int High() const { return m_High; }
    int Pos() const { return m_Pos; }
    // Takes the low 16 bits of `pos` as signed, clamps it into the range and writes the buddy.
    void SetPos(int pos);
    QLineEdit* Buddy() const { return m_Buddy; }
    // Called with the step (+1 or -1 in position) just before an arrow moves the position.
    void SetOnStep(std::function<void(int step)> onStep) { m_OnStep = std::move(onStep); }

private:
    void Step(int delta);
    void OnBuddyText();

    QLineEdit* m_Buddy;
    QToolButton* m_Up;
    QToolButton* m_Down;
    int m_Low = 0;
    int m_High = 100;
    int m_Pos = 0;
    std::function<void(int)> m_OnStep;
};

} // namespace gui
