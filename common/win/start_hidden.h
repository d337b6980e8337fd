// Starting a program with its window hidden, without waiting for it.
#pragma once

#include "common/win/platform.h"

#include <string>

namespace tessal {

// Starts the program; its process and thread handles are closed at once. With
// `application` set, that file is started and nothing is searched along the
// command line. False when nothing was started.
bool StartHidden(const wchar_t* application, std::wstring command_line,
                 bool inherit_handles = false, DWORD creation_flags = 0);

}  // namespace tessal
