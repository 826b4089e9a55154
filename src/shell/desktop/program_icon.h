// The program's own icon, for every window and message box.
#pragma once

#include <QIcon>

namespace skelmar::desktop {

/// The installed icon's picture (built into the program) at the sizes
/// window managers and task bars ask for.
QIcon MakeProgramIcon();

}  // namespace skelmar::desktop
