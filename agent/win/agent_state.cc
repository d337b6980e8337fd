#include "win/agent_state.h"


namespace kestra {

AgentState& Agent() {
  static AgentState state;
  return state;
}

int BroadcastToRegisteredRecords(const char* text) {
  AgentState& a = Agent();
  return BroadcastToRecords(a.records, a.work, text);
}

}  // namespace kestra
