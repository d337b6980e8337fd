// Capture backend over WinPcap's wpcap.dll, loaded at run time so that the
// library itself always loads: without the capture library every listing and
// every open fails with an error text, and the caller sees 0.
#include "common/win/platform.h"
#include <winsock2.h>

#include <cstring>
#include <type_traits>

#include "common/win/dll_search.h"
#include "netmon/exports/platform.h"

namespace qvw {
namespace {

// The parts of WinPcap's interface used here.
struct pcap;
using pcap_t = pcap;
struct pcap_addr_w {
  pcap_addr_w* next;
  sockaddr* addr;
  sockaddr* netmask;
  sockaddr* broadaddr;
  sockaddr* dstaddr;
};
struct pcap_if_w {
  pcap_if_w* next;
  char* name;
  char* description;
  pcap_addr_w* addresses;
  unsigned int flags;
};
struct pcap_rmtauth_w {
  int type;
  char* username;
  char* password;
};
struct bpf_insn_w;
struct bpf_program_w {
  unsigned int bf_len;
  bpf_insn_w* bf_insns;
};
struct pcap_timeval_w {
  long tv_sec;
  long tv_usec;
};
struct pcap_pkthdr_w {
  pcap_timeval_w ts;
  unsigned int caplen;
  unsigned int len;
};
using pcap_handler_w = void(__cdecl*)(unsigned char*, const pcap_pkthdr_w*, const unsigned char*);

constexpr size_t kErrbufSize = 256;
constexpr int kDltEthernet = 1;

struct WpcapApi {
  int(__cdecl* findalldevs_ex)(const char*, pcap_rmtauth_w*, pcap_if_w**, char*);
  void(__cdecl* freealldevs)(pcap_if_w*);
  pcap_t*(__cdecl* open)(const char*, int, int, int, pcap_rmtauth_w*, char*);
  void(__cdecl* close)(pcap_t*);
  int(__cdecl* datalink)(pcap_t*);
  int(__cdecl* setnonblock)(pcap_t*, int, char*);
  int(__cdecl* compile)(pcap_t*, bpf_program_w*, const char*, int, unsigned int);
  int(__cdecl* setfilter)(pcap_t*, bpf_program_w*);
  void(__cdecl* freecode)(bpf_program_w*);
  int(__cdecl* next_ex)(pcap_t*, pcap_pkthdr_w**, const unsigned char**);
  int(__cdecl* loop)(pcap_t*, int, pcap_handler_w, unsigned char*);
  void(__cdecl* breakloop)(pcap_t*);
  char*(__cdecl* geterr)(pcap_t*);
};

// Binds wpcap.dll once; null when it or one of its functions is missing.
const WpcapApi* Api() {
  static const WpcapApi* api = []() -> const WpcapApi* {
    // From the system folder only: the host's search order (its current folder,
    // the PATH) must not decide which capture library an elevated host runs.
    HMODULE dll = tessal::LoadSystemLibrary("wpcap.dll");
    if (!dll) return nullptr;
    static WpcapApi a;
    bool ok = true;
    auto bind = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(GetProcAddress(dll, name));
      ok = ok && fn != nullptr;
    };
    bind(a.findalldevs_ex, "pcap_findalldevs_ex");
    bind(a.freealldevs, "pcap_freealldevs");
    bind(a.open, "pcap_open");
    bind(a.close, "pcap_close");
    bind(a.datalink, "pcap_datalink");
    bind(a.setnonblock, "pcap_setnonblock");
    bind(a.compile, "pcap_compile");
    bind(a.setfilter, "pcap_setfilter");
    bind(a.freecode, "pcap_freecode");
    bind(a.next_ex, "pcap_next_ex");
    bind(a.loop, "pcap_loop");
    bind(a.breakloop, "pcap_breakloop");
    bind(a.geterr, "pcap_geterr");
    if (!ok) {
      FreeLibrary(dll);
      return nullptr;
    }
    return &a;  // stays loaded for the life of the process
  }();
  return api;
}

const char kNoLibrary[] = "wpcap.dll is not available";

class WpcapHandle : public CaptureHandle {
 public:
  WpcapHandle(const WpcapApi* api, pcap_t* pcap) : api_(api), pcap_(pcap) {}
  ~WpcapHandle() override {
    FreeProgram();
    api_->close(pcap_);
  }
  bool IsEthernet() override { return api_->datalink(pcap_) == kDltEthernet; }
  bool SetNonBlocking(std::string* error) override {
    char errbuf[kErrbufSize] = {};
    if (api_->setnonblock(pcap_, 1, errbuf) != 0) {
      *error = errbuf;
      return false;
    }
    return true;
  }
  bool Compile(const char* expression, uint32_t netmask) override {
    FreeProgram();
    if (api_->compile(pcap_, &program_, expression, 1, netmask) != 0) return false;
    has_program_ = true;
    return true;
  }
  bool Install() override { return has_program_ && api_->setfilter(pcap_, &program_) == 0; }
  void FreeProgram() override {
    if (has_program_) api_->freecode(&program_);
    has_program_ = false;
  }
  int Next(const uint8_t** data, uint32_t* captured) override {
    pcap_pkthdr_w* header = nullptr;
    const unsigned char* bytes = nullptr;
    int result = api_->next_ex(pcap_, &header, &bytes);
    if (result == 1) {
      if (!header || !bytes) return 0;
      *data = bytes;
      *captured = header->caplen;
    }
    return result;
  }
  int Loop(const PacketHandler& handler) override {
    return api_->loop(pcap_, 0, &WpcapHandle::Dispatch,
                      reinterpret_cast<unsigned char*>(const_cast<PacketHandler*>(&handler)));
  }
  void BreakLoop() override { api_->breakloop(pcap_); }
  std::string ErrorText() override {
    const char* text = api_->geterr(pcap_);
    return text ? text : "";
  }

 private:
  static void __cdecl Dispatch(unsigned char* user, const pcap_pkthdr_w* header,
                               const unsigned char* bytes) {
    (*reinterpret_cast<PacketHandler*>(user))(bytes, header->caplen);
  }
  const WpcapApi* api_;
  pcap_t* pcap_;
  bpf_program_w program_{};
  bool has_program_ = false;
};

class WpcapBackend : public CaptureBackend {
 public:
  bool ListDevices(std::vector<Device>* devices, std::string* error) override {
    const WpcapApi* api = Api();
    if (!api) {
      *error = kNoLibrary;
      return false;
    }
    char errbuf[kErrbufSize] = {};
    pcap_if_w* all = nullptr;
    char source[] = "rpcap://";
    if (api->findalldevs_ex(source, nullptr, &all, errbuf) != 0) {
      *error = errbuf;
      return false;
    }
    for (pcap_if_w* d = all; d; d = d->next) {
      Device device;
      device.name = d->name ? d->name : "";
      device.has_description = d->description != nullptr;
      if (d->description) device.description = d->description;
      for (pcap_addr_w* a = d->addresses; a; a = a->next) {
        DeviceAddress address;
        if (a->addr && a->addr->sa_family == AF_INET) {
          address.ipv4 = true;
          std::memcpy(address.address, &reinterpret_cast<sockaddr_in*>(a->addr)->sin_addr, 4);
        }
        if (a->netmask && a->netmask->sa_family == AF_INET) {
          address.has_netmask = true;
          address.netmask = reinterpret_cast<sockaddr_in*>(a->netmask)->sin_addr.s_addr;
        }
        device.addresses.push_back(address);
      }
      devices->push_back(std::move(device));
    }
    api->freealldevs(all);
    return true;
  }

  std::unique_ptr<CaptureHandle> Open(const std::string& name, int snapshot_length, int flags,
                                      int read_timeout_ms, std::string* error) override {
    const WpcapApi* api = Api();
    if (!api) {
      *error = kNoLibrary;
      return nullptr;
    }
    char errbuf[kErrbufSize] = {};
    pcap_t* pcap =
        api->open(name.c_str(), snapshot_length, flags, read_timeout_ms, nullptr, errbuf);
    if (!pcap) {
      *error = errbuf;
      return nullptr;
    }
    return std::make_unique<WpcapHandle>(api, pcap);
  }
};

}  // namespace

CaptureBackend& PlatformBackend() {
  static WpcapBackend backend;
  return backend;
}

}  // namespace qvw
