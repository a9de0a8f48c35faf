// The application icon, built into the program in the sizes the desktop asks for.
#pragma once

#include <QIcon>

namespace app {

QIcon applicationIcon();

}  // namespace app
