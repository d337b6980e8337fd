#include "agent/win/agent_state.h"

namespace kestra {

AgentState& Agent() {
  static AgentState state;
  return state;
}

}  // namespace kestra
