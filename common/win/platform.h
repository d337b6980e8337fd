// The one way into the Windows headers for this tree. Every source includes this
// before any other system header of Windows, so that each sees the same choices:
// no min/max macros to clash with <algorithm>, and no winsock 1 or OLE pulled in
// behind a file's back (one that needs sockets, the shell or COM says so itself,
// after this header).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
