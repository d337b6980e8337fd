// The policy refresh's view of the platform.
#pragma once

#include "common/win/platform.h"

#include "agent/core/policy_refresh.h"
#include "agent/win/comm_library.h"
#include "common/win/scoped_handle.h"

namespace kestra {

class Win32RefreshHost : public RefreshHost {
 public:
  explicit Win32RefreshHost(HWND window) : window_(window) {}

  void SetTimer(unsigned id, unsigned period_ms) override;
  void KillTimer(unsigned id) override;
  void HideMainWindow() override;
  uint64_t NowMs() override;
  LocalTime Now() override;
  void RunProtectedStart() override;
  void Shutdown() override;
  void FatalMessage(const std::string& text) override;
  CommLoad LoadComm(Edition edition, CommLibrary** comm) override;
  std::optional<std::string> ReadServerSettings(Edition edition) override;
  std::optional<std::string> ReadCompanyIdFile() override;
  void MakeWorkFolders() override;
  std::optional<std::string> ReadCache() override;
  void WriteCache(const std::string& reply) override;
  void DeleteCache() override;
  void WriteAddressListFile(const std::string& lower_address_list) override;
  void SetMenu(const MenuModel& menu) override;
  void StartBrowsers() override;
  void CloseBrowsers() override;
  void GuardHostsFile() override;

 private:
  HWND window_;
};

// The communication library bound by the last refresh (the inspection reports through it).
Win32CommLibrary& CurrentComm();

// A popup menu built from the model; texts converted to UTF-16.
tessal::ScopedMenu CreateTrayMenu(const MenuModel& menu);

}  // namespace kestra
