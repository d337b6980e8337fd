// Makes the agent's own program an enabled authorized application of the current
// Windows Firewall profile.
#pragma once

#include "common/win/platform.h"
#include <netfw.h>

#include <functional>
#include <string>

namespace kestra {

// Where the firewall objects come from: the platform's COM classes, or fakes in tests.
class FirewallObjects {
 public:
  virtual ~FirewallObjects() = default;
  virtual HRESULT CreateManager(INetFwMgr** manager) = 0;
  virtual HRESULT CreateApplication(INetFwAuthorizedApplication** app) = 0;
};

// Receives the diagnostic lines ("WinFirewallApp: ..."), without line end.
using DiagnosticSink = std::function<void(const std::string&)>;

HRESULT RegisterFirewallAppWith(FirewallObjects& objects, const wchar_t* image_path,
                                const wchar_t* app_name, const DiagnosticSink& sink);

// The real registration; diagnostics go to standard output.
HRESULT RegisterFirewallApp(const wchar_t* image_path, const wchar_t* app_name);

}  // namespace kestra
