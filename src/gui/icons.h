// The program's drawn icons: the program icon, the job status and log level images, and the
// icons of the job buttons.
#pragma once

#include <QIcon>

namespace gui {

enum class ButtonIcon { MoveUp, Delete, MoveDown, Reset, Start, Stop, Clear };

QIcon ProgramIcon();
// Job images 0 pending, 1 running, 2 complete, 3 error; other indexes give a null icon.
QIcon JobStatusIcon(int image);
// Log levels 0 information, 1 warning, 2 error, 3 debug.
QIcon LogLevelIcon(int level);
QIcon JobButtonIcon(ButtonIcon which);

} // namespace gui
