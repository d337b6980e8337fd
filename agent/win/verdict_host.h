// The inspection's view of the platform.
#pragma once

#include "common/win/platform.h"

#include "agent/core/verdict.h"

namespace kestra {

// The toast as the inspection uses it; created on first use.
class Toast {
 public:
  virtual ~Toast() = default;
  virtual bool Ensure(HWND owner) = 0;
  virtual bool showing() const = 0;
  virtual void Show(const std::string& line1, const std::string& line2, const std::string& host,
                    int kind) = 0;
};

class Win32InspectionHost : public InspectionHost {
 public:
  Win32InspectionHost(HWND window, Toast* toast) : window_(window), toast_(toast) {}

  uint64_t NowMs() override;
  void Wait(unsigned ms) override;
  std::optional<std::string> ReadExclusionFile() override;
  std::string MacText() override;
  std::optional<std::string> ReadRecord(int32_t number) override;
  void WriteRecord(int32_t number, const std::string& text) override;
  std::string ReadEvidence(const std::string& host, int32_t number) override;
  bool DeleteEvidence(const std::string& host, int32_t number) override;
  void ShowTrayIconForAWhile() override;
  void SendBrowserAlert() override;
  void CommAccess(const std::string& company_id) override;
  void CommSetCompany(const std::string& company_id) override;
  void CommLog(const std::string& company_id, const std::string& event, int kind) override;
  bool NotifierReady() override;
  bool NotifierShowing() override;
  void ShowNotice(const std::string& line1, const std::string& line2, const std::string& host,
                  int kind) override;
  void GuardHostsFile() override;

 private:
  HWND window_;
  Toast* toast_;
};

// Waits while the window's thread keeps dispatching its messages.
void WaitPumpingMessages(unsigned ms);

}  // namespace kestra
