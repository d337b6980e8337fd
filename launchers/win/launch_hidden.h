// Starts the protected-start program that lies beside this program.
#pragma once

namespace tolven {

// Starts it hidden and does not wait. False when nothing was started: the
// module path was cut or names no folder, or the program is missing.
bool LaunchTarnwickHidden();

}  // namespace tolven
