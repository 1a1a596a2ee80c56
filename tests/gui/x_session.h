// Reading and driving the test's X session from outside, as a person and the window manager
// would: the X tools of the session, run as child processes.
#pragma once

#include <QPoint>
#include <QStringList>
#include <QWidget>

#include <string>

namespace gui_testing {

// The longest wait of a test in the session, in ms; each wait ends as soon as its condition holds.
constexpr int kLong = 20000;

// Runs `program` with `arguments` and returns its standard output; `status` gets its exit
// status (-1 when it could not run or took longer than 20 seconds).
std::string RunTool(const QString& program, const QStringList& arguments, int* status = nullptr);

// "IsViewable", "IsUnMapped" or "IsUnviewable", as xwininfo reports the window.
std::string MapState(WId window);

// Whether the window manager lists the window among the ones it manages.
bool Managed(WId window);

// Moves the pointer to `at` inside the X window `window` (placed where the server has it now)
// and clicks `button` (1 left, 3 right, 4 wheel up) `times`.
void ClickIn(WId window, QPoint at, int button, int times = 1);

// The X window of the notification-area icon of this process; 0 while none is shown.
WId TrayIconWindow();

} // namespace gui_testing
