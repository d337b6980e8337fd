#include "standins/mgmt_sim/posix/sim_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <iconv.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace mgmt_sim {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

bool AppendLine(const std::string& path, const std::string& line) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::string text = line + "\n";
  // One write per line: concurrent readers never see half a line.
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return ok;
}

}  // namespace

std::string Cp949ToUtf8(std::string_view text) {
  iconv_t cd = iconv_open("UTF-8", "CP949");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string out;
  std::string in(text);
  char* src = in.data();
  std::size_t src_left = in.size();
  char buf[256];
  while (src_left > 0) {
    char* dst = buf;
    std::size_t dst_left = sizeof(buf);
    std::size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buf, sizeof(buf) - dst_left);
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // EILSEQ or EINVAL (cut character): show the byte and go on after it.
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02X", static_cast<unsigned char>(*src));
      out += hex;
      ++src;
      --src_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

std::optional<std::string> ReadPolicy(const std::string& path) {
  if (path.empty()) return std::nullopt;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) > kMaxReplyBody) {
    close(fd);
    return std::nullopt;
  }
  std::string text;
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    // A file that grows while it is read is cut at the limit, never trusted beyond it.
    if (text.size() > kMaxReplyBody) {
      close(fd);
      return std::nullopt;
    }
  }
  close(fd);
  return text;
}

Reply HandleCall(const Call& call, const ServerOptions& options) {
  if (!options.log_path.empty()) {
    if (!AppendLine(options.log_path, FormatLogLine(call, Cp949ToUtf8))) {
      std::fprintf(stderr, "corvanta_mgmt_sim: cannot append to %s\n", options.log_path.c_str());
    }
  }
  std::optional<std::string> policy;
  if (IsInfoCall(call)) policy = ReadPolicy(options.policy_path);
  return Serve(call, policy);
}

Server::~Server() {
  if (fd_ >= 0) close(fd_);
}

bool Server::Listen(int port, std::string* error) {
  if (port < 0 || port > 65535) {
    *error = "port out of range";
    return false;
  }
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  int one = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd_, 16) != 0) {
    *error = std::string("bind/listen: ") + std::strerror(errno);
    return false;
  }
  socklen_t len = sizeof(addr);
  getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  return true;
}

void Server::Run(const ServerOptions& options, const std::function<bool()>& should_stop) {
  while (!should_stop()) {
    pollfd p{fd_, POLLIN, 0};
    int r = poll(&p, 1, 100);
    if (r <= 0) continue;
    int conn = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn < 0) continue;
    ServeConnection(conn, options);
    close(conn);
  }
}

void Server::ServeConnection(int fd, const ServerOptions& options) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(options.io_timeout_ms);
  std::string in;
  Call call;
  std::size_t used = 0;
  char buf[4096];
  for (;;) {
    Parse state = DecodeCall(in, &call, &used);
    if (state == Parse::kComplete) break;
    if (state == Parse::kInvalid) {
      std::fprintf(stderr, "corvanta_mgmt_sim: invalid call frame (%zu bytes)\n", in.size());
      return;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, MsLeft(deadline)) <= 0) {
      std::fprintf(stderr, "corvanta_mgmt_sim: call not complete in time (%zu bytes)\n", in.size());
      return;
    }
    ssize_t n = recv(fd, buf, sizeof(buf), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // peer closed before the call was whole
    in.append(buf, static_cast<std::size_t>(n));
  }
  std::string out = EncodeReply(HandleCall(call, options));
  std::size_t done = 0;
  while (done < out.size()) {
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, MsLeft(deadline)) <= 0) return;
    ssize_t n = send(fd, out.data() + done, out.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace mgmt_sim
