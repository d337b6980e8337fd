#include "win/agent_state.h"

#include "core/file_io.h"

namespace kestra {

AgentState& Agent() {
  static AgentState state;
  return state;
}

int BroadcastToRegisteredRecords(const char* text) {
  if (text == nullptr) return 0;
  AgentState& a = Agent();
  if (a.work_folder.empty()) {
    tessal::MakeFolder(a.base_folder);
    a.work_folder = WorkFolderOf(a.base_folder);
    tessal::MakeFolder(a.work_folder);
  }
  return BroadcastToRecords(a.records, a.work_folder, text);
}

}  // namespace kestra
