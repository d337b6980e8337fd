// The session watch: every 30 s, when none of the suite's programs runs, the
// launcher is started for the console user. Ends as soon as the stop event is
// signalled (the thread's parameter).
#pragma once

#include "common/win/platform.h"

namespace keepalive {

DWORD WINAPI SessionWatchThread(void* stop_event);

}  // namespace keepalive
