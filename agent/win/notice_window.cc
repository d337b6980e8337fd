#include "win/agent_state.h"
#include "win/inspection_host.h"

namespace kestra {

NoticeWindow* TheNoticeWindow() { return nullptr; }

}  // namespace kestra
