// Load client for the presence responder's benchmark: one fresh TLS connection
// per request (no resumption), each reply read to EOF and its body checked.
//   load_client load HOST PORT CLIENTS SECONDS MAX_REQUESTS
//   load_client idle HOST PORT HELD HOLD_SECONDS
// "load" runs CLIENTS threads until SECONDS pass or MAX_REQUESTS are made and
// prints requests/s, errors and the p50/p99 time to a reply. "idle" opens HELD
// plain TCP connections that never send, times one real request while they are
// held, prints "holding", and keeps them open HOLD_SECONDS more so that the
// caller can look at the server meanwhile.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kRequest[] =
    "GET /?callback=jQuery123&_=1 HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
constexpr char kExpected[] = "Corvanta Already Installed";
constexpr int kIoTimeoutSeconds = 5;
constexpr size_t kMaxReply = 64 * 1024;

struct Target {
  sockaddr_in address{};
  SSL_CTX* tls = nullptr;
};

bool ParseTarget(const char* host, const char* port, Target* target) {
  target->address.sin_family = AF_INET;
  target->address.sin_port = htons(static_cast<uint16_t>(std::atoi(port)));
  return inet_pton(AF_INET, host, &target->address.sin_addr) == 1;
}

SSL_CTX* MakeClientContext() {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (ctx == nullptr) return nullptr;
  // Every request pays a full handshake, as a browser's first visit does.
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
  // The responder closes after its reply without close_notify; that is its end.
  SSL_CTX_set_options(ctx, SSL_OP_NO_TICKET | SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  return ctx;
}

int ConnectWithTimeouts(const sockaddr_in& address) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval timeout{kIoTimeoutSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  // As browsers and curl do: the request goes out right after the client's
  // Finished instead of waiting for the server to acknowledge it.
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Reads until the server closes; the reply must carry the expected body. A
// server that drips bytes is cut off after twice the I/O time-out.
bool ReadReplyToEof(SSL* ssl) {
  std::string reply;
  char buffer[4096];
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(2 * kIoTimeoutSeconds);
  while (reply.size() < kMaxReply && Clock::now() < deadline) {
    int n = SSL_read(ssl, buffer, sizeof buffer);
    if (n > 0) {
      reply.append(buffer, static_cast<size_t>(n));
      continue;
    }
    bool eof = SSL_get_error(ssl, n) == SSL_ERROR_ZERO_RETURN;
    return eof && reply.find(kExpected) != std::string::npos;
  }
  return false;
}

bool OneRequest(const Target& target) {
  int fd = ConnectWithTimeouts(target.address);
  if (fd < 0) return false;
  SSL* ssl = SSL_new(target.tls);
  bool ok =
      ssl != nullptr && SSL_set_fd(ssl, fd) == 1 && SSL_connect(ssl) == 1 &&
      SSL_write(ssl, kRequest, sizeof kRequest - 1) == static_cast<int>(sizeof kRequest - 1) &&
      ReadReplyToEof(ssl);
  SSL_free(ssl);
  close(fd);
  ERR_clear_error();
  return ok;
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Percentile(std::vector<double>& values, double fraction) {
  if (values.empty()) return 0;
  size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
  std::nth_element(values.begin(), values.begin() + static_cast<long>(index), values.end());
  return values[index];
}

struct ClientTally {
  std::vector<double> reply_ms;
  long errors = 0;
};

void ClientLoop(const Target& target, Clock::time_point deadline, std::atomic<long>* budget,
                ClientTally* tally) {
  while (Clock::now() < deadline && budget->fetch_sub(1) > 0) {
    Clock::time_point start = Clock::now();
    if (OneRequest(target))
      tally->reply_ms.push_back(MillisecondsSince(start));
    else
      ++tally->errors;
  }
}

int RunLoad(const Target& target, int clients, double seconds, long max_requests) {
  std::atomic<long> budget{max_requests};
  std::vector<ClientTally> tallies(static_cast<size_t>(clients));
  std::vector<std::thread> threads;
  Clock::time_point start = Clock::now();
  Clock::time_point deadline =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  for (auto& tally : tallies)
    threads.emplace_back(ClientLoop, std::cref(target), deadline, &budget, &tally);
  for (auto& thread : threads) thread.join();
  double elapsed = MillisecondsSince(start) / 1000;
  std::vector<double> all;
  long errors = 0;
  for (auto& tally : tallies) {
    all.insert(all.end(), tally.reply_ms.begin(), tally.reply_ms.end());
    errors += tally.errors;
  }
  std::printf("clients: %d\nreplies: %zu\nerrors: %ld\nseconds: %.2f\n", clients, all.size(),
              errors, elapsed);
  std::printf("requests/s: %.1f\n", static_cast<double>(all.size()) / elapsed);
  double p50 = Percentile(all, 0.50);
  double p99 = Percentile(all, 0.99);
  std::printf("p50 ms: %.2f\np99 ms: %.2f\n", p50, p99);
  return all.empty() ? 1 : 0;
}

// Non-blocking connects, all started at once, each given a few seconds to finish.
std::vector<int> OpenIdleConnections(const sockaddr_in& address, int count) {
  std::vector<pollfd> pending;
  for (int i = 0; i < count; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) break;
    int rc = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (rc != 0 && errno != EINPROGRESS) {
      close(fd);
      continue;
    }
    pending.push_back({fd, POLLOUT, 0});
  }
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(kIoTimeoutSeconds);
  std::vector<int> open;
  while (!pending.empty() && Clock::now() < deadline) {
    if (poll(pending.data(), pending.size(), 100) <= 0) continue;
    for (size_t i = 0; i < pending.size();) {
      if (pending[i].revents == 0) {
        ++i;
        continue;
      }
      int error = 0;
      socklen_t length = sizeof error;
      getsockopt(pending[i].fd, SOL_SOCKET, SO_ERROR, &error, &length);
      if (error == 0)
        open.push_back(pending[i].fd);
      else
        close(pending[i].fd);
      pending[i] = pending.back();
      pending.pop_back();
    }
  }
  for (auto& p : pending) close(p.fd);
  return open;
}

int RunIdle(const Target& target, int held, double hold_seconds) {
  std::vector<int> idle = OpenIdleConnections(target.address, held);
  std::printf("idle connections held: %zu of %d\n", idle.size(), held);
  // Give the server time to take them all in before the real request.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Clock::time_point start = Clock::now();
  bool answered = OneRequest(target);
  double reply_ms = MillisecondsSince(start);
  if (answered)
    std::printf("reply under idle load ms: %.2f\n", reply_ms);
  else
    std::printf("reply under idle load: none after %.2f ms\n", reply_ms);
  std::printf("holding\n");
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::duration<double>(hold_seconds));
  for (int fd : idle) close(fd);
  return answered && static_cast<int>(idle.size()) == held ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: load_client load HOST PORT CLIENTS SECONDS MAX_REQUESTS\n"
               "       load_client idle HOST PORT HELD HOLD_SECONDS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  std::signal(SIGPIPE, SIG_IGN);  // a server that closes early is an error, not an end
  Target target;
  if (argc < 4 || !ParseTarget(argv[2], argv[3], &target)) return Usage();
  target.tls = MakeClientContext();
  if (target.tls == nullptr) return 1;
  std::string mode = argv[1];
  if (mode == "load" && argc == 7)
    return RunLoad(target, std::max(1, std::atoi(argv[4])), std::min(30.0, std::atof(argv[5])),
                   std::atol(argv[6]));
  if (mode == "idle" && argc == 6)
    return RunIdle(target, std::max(0, std::atoi(argv[4])), std::min(30.0, std::atof(argv[5])));
  return Usage();
}
