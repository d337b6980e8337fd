// Capture backend over Debian's libpcap. It has no pcap_findalldevs_ex or
// pcap_open: devices come from pcap_findalldevs, and an open is pcap_create plus
// the options the WinPcap flags stand for, then pcap_activate. A read on a quiet
// link is never left to the library's time-out (which may not fire): the handle
// always reads non-blocking, and a caller that asked for blocking reads waits on
// the selectable descriptor for at most the read time-out.
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "netmon/exports/platform.h"

namespace qvw {
namespace {

class LibpcapHandle : public CaptureHandle {
 public:
  LibpcapHandle(pcap_t* pcap, int timeout_ms) : pcap_(pcap), timeout_ms_(timeout_ms) {
    fd_ = pcap_get_selectable_fd(pcap_);
  }
  ~LibpcapHandle() override {
    FreeProgram();
    pcap_close(pcap_);
  }

  bool IsEthernet() override { return pcap_datalink(pcap_) == DLT_EN10MB; }

  bool SetNonBlocking(std::string*) override {
    non_blocking_ = true;  // reads already never block
    return true;
  }

  bool Compile(const char* expression, uint32_t netmask) override {
    FreeProgram();
    if (pcap_compile(pcap_, &program_, expression, 1, netmask) != 0) return false;
    has_program_ = true;
    return true;
  }
  bool Install() override { return has_program_ && pcap_setfilter(pcap_, &program_) == 0; }
  void FreeProgram() override {
    if (has_program_) pcap_freecode(&program_);
    has_program_ = false;
  }

  int Next(const uint8_t** data, uint32_t* captured) override {
    int result = ReadOne(data, captured);
    if (result == 0 && !non_blocking_ && WaitReadable(timeout_ms_))
      result = ReadOne(data, captured);
    return result;
  }

  int Loop(const PacketHandler& handler) override {
    for (;;) {
      WaitReadable(timeout_ms_);
      int n = pcap_dispatch(pcap_, -1, &LibpcapHandle::Dispatch,
                            reinterpret_cast<u_char*>(const_cast<PacketHandler*>(&handler)));
      if (n < 0) return n;
    }
  }
  void BreakLoop() override { pcap_breakloop(pcap_); }

  std::string ErrorText() override { return pcap_geterr(pcap_); }

 private:
  static void Dispatch(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    (*reinterpret_cast<PacketHandler*>(user))(bytes, header->caplen);
  }
  int ReadOne(const uint8_t** data, uint32_t* captured) {
    pcap_pkthdr* header = nullptr;
    const u_char* bytes = nullptr;
    int result = pcap_next_ex(pcap_, &header, &bytes);
    if (result == 1) {
      if (!header || !bytes) return 0;
      *data = bytes;
      *captured = header->caplen;
    }
    return result;
  }
  bool WaitReadable(int timeout_ms) {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    int n;
    do {
      n = poll(&p, 1, timeout_ms);
    } while (n < 0 && errno == EINTR);
    return n > 0;
  }

  pcap_t* pcap_;
  int timeout_ms_;
  int fd_ = -1;
  bool non_blocking_ = false;
  bpf_program program_{};
  bool has_program_ = false;
};

class LibpcapBackend : public CaptureBackend {
 public:
  bool ListDevices(std::vector<Device>* devices, std::string* error) override {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* all = nullptr;
    if (pcap_findalldevs(&all, errbuf) != 0) {
      *error = errbuf;
      return false;
    }
    for (pcap_if_t* d = all; d; d = d->next) {
      Device device;
      device.name = d->name ? d->name : "";
      device.has_description = d->description != nullptr;
      if (d->description) device.description = d->description;
      for (pcap_addr_t* a = d->addresses; a; a = a->next) {
        DeviceAddress address;
        if (a->addr && a->addr->sa_family == AF_INET) {
          address.ipv4 = true;
          auto* sin = reinterpret_cast<const sockaddr_in*>(a->addr);
          std::memcpy(address.address, &sin->sin_addr, 4);
        }
        if (a->netmask && a->netmask->sa_family == AF_INET) {
          address.has_netmask = true;
          auto* mask = reinterpret_cast<const sockaddr_in*>(a->netmask);
          address.netmask = mask->sin_addr.s_addr;
        }
        device.addresses.push_back(address);
      }
      devices->push_back(std::move(device));
    }
    pcap_freealldevs(all);
    return true;
  }

  std::unique_ptr<CaptureHandle> Open(const std::string& name, int snapshot_length, int flags,
                                      int read_timeout_ms, std::string* error) override {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* pcap = pcap_create(name.c_str(), errbuf);
    if (!pcap) {
      *error = errbuf;
      return nullptr;
    }
    pcap_set_snaplen(pcap, snapshot_length);
    pcap_set_promisc(pcap, (flags & kOpenPromiscuous) ? 1 : 0);
    pcap_set_timeout(pcap, read_timeout_ms);
    if (flags & kOpenMaxResponsiveness) pcap_set_immediate_mode(pcap, 1);
    // kOpenNoCaptureLocal only keeps this handle's own sends out; the monitor
    // sends nothing, so there is nothing to map.
    int status = pcap_activate(pcap);
    if (status < 0) {
      *error = pcap_geterr(pcap);
      if (error->empty()) *error = pcap_statustostr(status);
      pcap_close(pcap);
      return nullptr;
    }
    if (pcap_setnonblock(pcap, 1, errbuf) != 0) {
      *error = errbuf;
      pcap_close(pcap);
      return nullptr;
    }
    return std::make_unique<LibpcapHandle>(pcap, read_timeout_ms);
  }
};

}  // namespace

CaptureBackend& PlatformBackend() {
  static LibpcapBackend backend;
  return backend;
}

}  // namespace qvw
