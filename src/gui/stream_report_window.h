// The stream report of a finished job in a window of its own: the bitrate plot over the buffer
// fill, and the DVD-Video verdict with its reasons.
#pragma once

#include <QDialog>

#include <string>

namespace gui {

// Opens a window on the report file at `reportPath` (written at the end of a job). The window
// deletes itself when closed. Returns null, after a message box, when the file is no report.
QDialog* OpenStreamReportWindow(const std::string& reportPath, QWidget* parent);

} // namespace gui
