// TEMPORARY, for the keepalive branch only: stands in for the responder thread
// until its implementation is merged; delete this file (and its line in
// CMakeLists.txt) at the merge.
#include "win/responder_thread.h"

namespace responder {

HANDLE StartResponderThread(ThreadOptions) { return nullptr; }

}  // namespace responder
