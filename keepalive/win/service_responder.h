// The presence responder run by the service.
#pragma once

#include "common/win/platform.h"

#include "common/win/scoped_handle.h"

namespace keepalive {

// Starts the responder with the certificate files of the service's folder; it
// ends soon after the stop event. Its thread handle, or an empty one.
tessal::ScopedKernelHandle StartServiceResponder(HANDLE stop_event);

}  // namespace keepalive
