// An up-down control attached to a text field: the spin of the Dialog interface on Qt.
#pragma once

#include <QWidget>

#include <functional>

class QLineEdit;
class QToolButton;

namespace gui {

// Holds a range and a position. Text the program puts into the buddy moves the position at
// once when it is a whole number in the range. What the user types is taken when the field is
// committed (Enter, focus leaving, a step, or the program reading the position): a number is
// brought into the range, anything else gives way to the position, and the buddy then shows
// exactly the position. The arrows, the Up and Down keys and the mouse wheel over the field
// (while it has the focus) step the position by one.
class UpDown : public QWidget {
public:
    UpDown(QLineEdit* buddy, QWidget* parent = nullptr);

    void SetRange(int low, int high);
    int Low() const { return m_Low; }
    int High() const { return m_High; }
    // The position, after committing what the user typed.
    int Pos();
    // Takes the low 16 bits of `pos` as signed, clamps it into the range and writes the buddy.
    void SetPos(int pos);
    QLineEdit* Buddy() const { return m_Buddy; }
    // Called with the step (+1 or -1 in position) just before an arrow moves the position.
    void SetOnStep(std::function<void(int step)> onStep) { m_OnStep = std::move(onStep); }
    // Takes the user's text into the position (see above); nothing when the user typed nothing.
    void Commit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

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
