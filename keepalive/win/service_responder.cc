#include "keepalive/win/service_responder.h"

#include <string>

#include "agent/responder/win/responder_thread.h"
#include "keepalive/core/service_rules.h"
#include "keepalive/win/service_text.h"

namespace keepalive {

tessal::ScopedKernelHandle StartServiceResponder(HANDLE stop_event) {
  std::optional<std::u16string> program = OwnProgramPath();
  std::optional<std::u16string> folder = program ? ProgramFolder(*program) : std::nullopt;
  std::optional<std::string> ansi_folder = folder ? ToAnsi(*folder) : std::nullopt;
  if (!ansi_folder) return {};
  return responder::StartResponderThread({*ansi_folder, stop_event, nullptr});
}

}  // namespace keepalive
