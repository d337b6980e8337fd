// The agent's main window: a small hidden dialog that owns the timers, the tray
// icon and every message other processes send to the agent.
#pragma once

#include "common/win/platform.h"

#include "agent/core/request_queue.h"
#include "agent/win/dialog_base.h"

namespace kestra {

class CqvTessalKestraDlg : public CDialogBase {
 public:
  CqvTessalKestraDlg();

 protected:
  BOOL OnInitDialog() override;
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) override;

 private:
  // The messages of the suite's own programs and of the agent's threads.
  LRESULT OnAgentMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled);
  void AddAboutEntryAndIcons();
  void OnSysCommand(WPARAM id, LPARAM lp, bool* handled);
  void OnPaint(bool* handled);
  void OnWindowPosChanging(WINDOWPOS* pos);
  void OnTimer(UINT_PTR id);
  void OnInspectRecord(WPARAM number);
  void ServeRequests();
  void OnDnsChanged();
  void OnRegisterRecord(WPARAM number);
  void OnReleaseRecord(WPARAM number);
  void SlideInAtTaskbarCorner();

  HICON icon_;  // LoadIcon's shared icon: never destroyed
  int first_paint_ = 0;
  int may_show_ = 1;
  UINT slide_direction_ = 0;
  UINT taskbar_created_ = 0;
  RequestQueue requests_;
  bool serving_ = false;
};

}  // namespace kestra
