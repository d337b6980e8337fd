// The windowed launcher's window class, registered from its resources. No window
// of it is ever created: the launcher only starts a program and ends.
#pragma once

#include "common/win/platform.h"

namespace tolven {

// Loads the title and the class name from the string table and registers the
// class with its menu and icons; false when that failed.
bool RegisterLauncherClass(HINSTANCE instance);

}  // namespace tolven
