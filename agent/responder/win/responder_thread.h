// The presence responder's thread in a Windows process: the suite's root
// certificate made trusted by the machine, then the server of
// server/responder.h on port 12500 with the certificate files beside the program.
#pragma once

#include "common/win/platform.h"

#include <functional>
#include <string>

#include "common/win/scoped_handle.h"

namespace responder {

struct ThreadOptions {
  std::string program_folder;  // holds "\jsxCVsc.cer", "\locrt" and "\locrk"
  // Signalled when the responder is to end (the service); null: it runs as
  // long as the process (the agent).
  HANDLE stop_event = nullptr;
  // Called on a responder thread after each accepted connection; must not block.
  std::function<void()> on_connection;
};

// Starts the responder thread. Its handle (it ends soon after the stop event
// is signalled), or an empty one when no thread could be started.
tessal::ScopedKernelHandle StartResponderThread(ThreadOptions options);

}  // namespace responder
