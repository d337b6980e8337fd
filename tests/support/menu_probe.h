// The tray-menu probe shared by the hook library and the tests that place it.
#pragma once

#include "common/win/platform.h"

inline constexpr WPARAM kMenuProbeMagic = 0x4D454E55;  // "MENU"
