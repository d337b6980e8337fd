#include <winsock2.h>
#include <ws2tcpip.h>

#include "win/url_watcher.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "core/url_watch.h"
#include "win/agent_state.h"

namespace kestra {
namespace {

constexpr const wchar_t* kLibraryPaths[] = {L"C:\\Program Files (x86)\\Corvanta\\Brontel\\qvWirelet.dll",
                                            L"C:\\Program Files\\Corvanta\\Brontel\\qvWirelet.dll"};
constexpr DWORD kRetryMs = 1000;
constexpr int kPollBudgetMs = 100;
constexpr DWORD kPollPauseMs = 50;
// A lookup that hangs must not hold the watcher: it is left to finish alone,
// and only a few may be left at a time.
constexpr DWORD kLookupLimitMs = 3000;
constexpr int kMaxLookupsLeft = 4;

using UrlCallback = int(__cdecl*)(const char*);
struct Wirelet {
  HMODULE module = nullptr;
  int(__cdecl* open_auto)(const char*, int) = nullptr;
  int(__cdecl* close)() = nullptr;
  int(__cdecl* error)(char*) = nullptr;
  int(__cdecl* get_url)(const char*, UrlCallback, int, int) = nullptr;
  int(__cdecl* check_url)(int32_t) = nullptr;
};

// The library by its full path only; one instance for the life of the agent.
bool LoadWirelet(Wirelet* w) {
  if (w->module == nullptr) {
    const wchar_t* path = GetFileAttributesW(kLibraryPaths[0]) != INVALID_FILE_ATTRIBUTES ? kLibraryPaths[0]
                                                                                          : kLibraryPaths[1];
    w->module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (w->module == nullptr) return false;
  }
  auto bind = [w](auto* fn, const char* name) {
    *fn = reinterpret_cast<std::decay_t<decltype(*fn)>>(GetProcAddress(w->module, name));
  };
  bind(&w->open_auto, "QVW_MonitorOpenAuto");
  bind(&w->close, "QVW_MonitorClose");
  bind(&w->error, "QVW_MonitorError");
  bind(&w->get_url, "QVW_MonitorGetUrl");
  bind(&w->check_url, "QVW_MonitorCheckUrl");
  return true;
}

std::optional<std::string> LookUpNow(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
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
    if (answer.wait_for(std::chrono::milliseconds(kLookupLimitMs)) != std::future_status::ready) return std::nullopt;
    return answer.get();
  }
  void Broadcast(const std::string& text) override { BroadcastToRecords(Agent().records, Agent().work, text.c_str()); }

 private:
  std::shared_ptr<std::atomic<int>> lookups_left_ = std::make_shared<std::atomic<int>>(0);
};

// Touched only by the watcher thread, inside the library's poll.
UrlWatchState g_watch_state;
Win32UrlWatchHost g_watch_host;

int __cdecl OnReport(const char* text) { return OnMonitorUrl(text, Agent().policy.table, g_watch_state, g_watch_host); }

void WriteCaptureCheck(bool opened) {
  SYSTEMTIME st;
  GetLocalTime(&st);
  LocalTime t{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  tessal::File file = Agent().base.OpenForUpdate(kCaptureCheckFile);
  if (file.valid()) file.ReplaceContent(CaptureCheckText(opened, t));
}

bool Stopping() { return Agent().stop_flag.load() != 0; }

bool AddressListReady() {
  std::lock_guard<std::mutex> hold(Agent().policy.table.lock);
  return !Agent().policy.table.address_list.empty();
}

void Poll(Wirelet& w) {
  std::string list;
  {
    std::lock_guard<std::mutex> hold(Agent().policy.table.lock);
    list = Agent().policy.table.address_list;
  }
  if (w.get_url) w.get_url(list.c_str(), OnReport, 0, 1);
  while (!Stopping()) {
    if (w.check_url) w.check_url(kPollBudgetMs);
    Sleep(kPollPauseMs);
  }
  if (w.close) w.close();
}

DWORD WINAPI WatcherMain(void*) {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  Wirelet w;
  while (Agent().outdated_support_flag.load() == 0 && !Stopping()) {
    if (!LoadWirelet(&w)) {
      Sleep(kRetryMs);
      continue;
    }
    bool opened = w.open_auto != nullptr && w.open_auto(nullptr, 1) != 0;
    if (!opened && w.error) {
      char error[256] = {};
      w.error(error);
    }
    WriteCaptureCheck(opened);
    if (!opened) {
      Sleep(kRetryMs);
      continue;
    }
    while (!Stopping() && !AddressListReady()) Sleep(kRetryMs);
    if (!Stopping()) Poll(w);
    break;
  }
  return 1;
}

}  // namespace

void StartUrlWatcher() {
  if (Agent().outdated_support_flag.load() != 0) return;
  HANDLE thread = CreateThread(nullptr, 0, WatcherMain, nullptr, 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);
}

}  // namespace kestra
