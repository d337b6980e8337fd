// The service run: the dispatcher, the control handler and the service main.
#pragma once

#include "common/win/platform.h"

namespace keepalive {

// Hands the service table to the dispatcher; returns when the service has
// stopped. 0, or the platform's error when the dispatcher could not run.
DWORD RunServiceDispatcher();

}  // namespace keepalive
