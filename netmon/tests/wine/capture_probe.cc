// Drives qvWirelet.dll on live traffic through whatever wpcap.dll the system
// has (under Wine: Wine's own, over the host's libpcap). Prints what it sees;
// run_realtraffic.sh judges the lines.
#include "common/win/platform.h"
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

#include "netmon/include/qvWirelet.h"

namespace {

bool address_seen = false;
int __cdecl OnUrl(const char* text) {
  std::printf("report: %s\n", text);
  std::fflush(stdout);
  if (std::strncmp(text, "ip:", 3) == 0) address_seen = true;
  return 1;
}

// What the automatic open sees: this host's name and address, and the devices.
void Explain() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  char name[256] = "";
  gethostname(name, sizeof name);
  addrinfo hints{}, *result = nullptr;
  hints.ai_family = AF_INET;
  int rc = getaddrinfo(name, nullptr, &hints, &result);
  const unsigned char* a = rc == 0 ? reinterpret_cast<const unsigned char*>(
                                         &reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr)
                                   : nullptr;
  std::printf("host name: %s -> %d.%d.%d.%d (rc %d)\n", name, a ? a[0] : 0, a ? a[1] : 0,
              a ? a[2] : 0, a ? a[3] : 0, rc);
  struct If {
    If* next;
    char* name;
    char* description;
    struct Addr {
      Addr* next;
      sockaddr* addr;
      sockaddr* netmask;
      sockaddr* broadaddr;
      sockaddr* dstaddr;
    } * addresses;
    unsigned flags;
  };
  HMODULE wpcap = LoadLibraryA("wpcap.dll");
  if (!wpcap) {
    std::printf("no wpcap.dll\n");
    return;
  }
  auto list = reinterpret_cast<int(__cdecl*)(const char*, void*, If**, char*)>(
      GetProcAddress(wpcap, "pcap_findalldevs_ex"));
  If* all = nullptr;
  char errbuf[256] = "";
  if (!list || list("rpcap://", nullptr, &all, errbuf) != 0) {
    std::printf("device listing failed: %s\n", errbuf);
    return;
  }
  for (If* d = all; d; d = d->next) {
    std::printf("device %s (%s)", d->name, d->description ? d->description : "-");
    for (If::Addr* x = d->addresses; x; x = x->next) {
      if (!x->addr || x->addr->sa_family != AF_INET) continue;
      const auto* b = reinterpret_cast<const unsigned char*>(
          &reinterpret_cast<sockaddr_in*>(x->addr)->sin_addr);
      std::printf(" %d.%d.%d.%d%s", b[0], b[1], b[2], b[3], x->netmask ? "" : "(no mask)");
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* dll = argc > 1 ? argv[1] : "qvWirelet.dll";
  HMODULE h = LoadLibraryA(dll);
  if (!h) {
    std::printf("load failed %lu\n", GetLastError());
    return 2;
  }
#define BIND(name) auto name = reinterpret_cast<decltype(&::name)>(GetProcAddress(h, #name))
  BIND(QVW_MonitorOpenAuto);
  BIND(QVW_MonitorError);
  BIND(QVW_MonitorSet);
  BIND(QVW_MonitorGetCaptures);
  BIND(QVW_MonitorGetUrl);
  BIND(QVW_MonitorCheckUrl);
  BIND(QVW_MonitorGetDns);
  BIND(QVW_MonitorClose);
#undef BIND
  int open = QVW_MonitorOpenAuto(nullptr, 1);
  char error[256] = "";
  QVW_MonitorError(error);
  std::printf("open: %d %s\n", open, error);
  if (open != 1) {
    Explain();
    return 1;
  }

  std::printf("set: %d\n", QVW_MonitorSet(2, "10.231.7.2", nullptr, 0));
  CaptureRecord storage[20];
  CaptureRecord* records[20];
  for (int i = 0; i < 20; ++i) records[i] = &storage[i];
  int captured = 0;
  for (int i = 0; i < 50 && captured == 0; ++i)
    captured = QVW_MonitorGetCaptures(200, 20, 80, 443, records);
  std::printf("captures: %d", captured);
  if (captured > 0) std::printf(" first %s:%d", storage[0].address, storage[0].port);
  std::printf("\n");

  std::printf("geturl: %d\n", QVW_MonitorGetUrl("https://secure.bank.test;", &OnUrl, 0, 1));
  for (int i = 0; i < 100 && !address_seen; ++i) QVW_MonitorCheckUrl(100);
  std::printf("close: %d\n", QVW_MonitorClose());
  std::printf("open again: %d\n", QVW_MonitorOpenAuto(nullptr, 1));
  int dns = 0;
  for (int i = 0; i < 30 && !dns; ++i) dns = QVW_MonitorGetDns(200, "bank.test");
  std::printf("dns: %d\n", dns);
  std::printf("close: %d\n", QVW_MonitorClose());
  return 0;
}
