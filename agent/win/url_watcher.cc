#include "common/win/platform.h"
#include <winsock2.h>
#include <ws2tcpip.h>

#include "agent/win/url_watcher.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "agent/core/url_watch.h"
#include "agent/core/url_watch_loop.h"
#include "agent/win/agent_state.h"
#include "common/win/scoped_handle.h"

namespace kestra {
namespace {

constexpr const wchar_t* kLibraryPaths[] = {
    L"C:\\Program Files (x86)\\Corvanta\\Brontel\\qvWirelet.dll",
    L"C:\\Program Files\\Corvanta\\Brontel\\qvWirelet.dll"};
// A lookup that hangs must not hold the watcher: it is left to finish alone,
// and only a few may be left at a time.
constexpr DWORD kLookupLimitMs = 3000;
constexpr int kMaxLookupsLeft = 4;

std::optional<std::string> LookUpNow(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
    return std::nullopt;
  char text[INET_ADDRSTRLEN] = "";
  const auto* v4 = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  bool ok = inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text) != nullptr;
  freeaddrinfo(found);
  return ok ? std::optional<std::string>(text) : std::nullopt;
}

class Win32UrlWatchHost : public UrlWatchHost {
 public:
  std::uint64_t NowMs() override { return GetTickCount64(); }
  std::optional<std::string> Resolve(const std::string& host) override {
    if (lookups_left_->load() >= kMaxLookupsLeft) return std::nullopt;
    auto result = std::make_shared<std::promise<std::optional<std::string>>>();
    std::future<std::optional<std::string>> answer = result->get_future();
    ++*lookups_left_;
    std::thread([result, host, left = lookups_left_] {
      result->set_value(LookUpNow(host));
      --*left;
    }).detach();
    if (answer.wait_for(std::chrono::milliseconds(kLookupLimitMs)) != std::future_status::ready)
      return std::nullopt;
    return answer.get();
  }
  void Broadcast(const std::string& text) override {
    BroadcastToRecords(Agent().records, Agent().work, text.c_str());
  }

 private:
  std::shared_ptr<std::atomic<int>> lookups_left_ = std::make_shared<std::atomic<int>>(0);
};

// Touched only by the watcher thread, inside the library's poll.
UrlWatchState g_watch_state;
Win32UrlWatchHost g_watch_host;

int OnReport(const char* text) {
  return OnMonitorUrl(text, Agent().policy.table, g_watch_state, g_watch_host);
}

class Win32UrlWatchEnv : public UrlWatchEnv {
 public:
  bool Stopping() override { return Agent().stop_flag.load() != 0; }
  bool SupportOutdated() override { return Agent().outdated_support_flag.load() != 0; }
  // By its full path only; loaded once and kept for the life of the agent.
  bool LoadMonitor(MonitorCalls* calls) override {
    if (module_ == nullptr) {
      const wchar_t* path = GetFileAttributesW(kLibraryPaths[0]) != INVALID_FILE_ATTRIBUTES
                                ? kLibraryPaths[0]
                                : kLibraryPaths[1];
      module_ = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
      if (module_ == nullptr) return false;
    }
    Bind(&calls->open_auto, "QVW_MonitorOpenAuto");
    Bind(&calls->close, "QVW_MonitorClose");
    Bind(&calls->error, "QVW_MonitorError");
    Bind(&calls->get_url, "QVW_MonitorGetUrl");
    Bind(&calls->check_url, "QVW_MonitorCheckUrl");
    return true;
  }
  void WriteCaptureCheck(bool opened) override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    LocalTime t{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
    tessal::File file = Agent().base.OpenForUpdate(kCaptureCheckFile);
    if (file.valid()) file.ReplaceContent(CaptureCheckText(opened, t));
  }
  std::string AddressList() override {
    return Agent().policy.table.Read([](const TargetContents& c) { return c.address_list; });
  }
  void Pause(unsigned ms) override { Sleep(ms); }

 private:
  template <typename Fn>
  void Bind(Fn* fn, const char* name) {
    *fn = reinterpret_cast<Fn>(GetProcAddress(module_, name));
  }
  HMODULE module_ = nullptr;
};

DWORD WINAPI WatcherMain(void*) {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  Win32UrlWatchEnv env;
  RunUrlWatcher(env, OnReport);
  return 1;
}

}  // namespace

void StartUrlWatcher() {
  if (Agent().outdated_support_flag.load() != 0) return;
  // The watcher runs for the process's life: its handle is closed at once.
  tessal::ScopedKernelHandle thread(CreateThread(nullptr, 0, WatcherMain, nullptr, 0, nullptr));
}

}  // namespace kestra
