#include "agent/responder/server/responder.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

#include "agent/responder/server/connection.h"
#include "agent/responder/server/net_platform.h"
#include "agent/responder/server/tls_context.h"

namespace responder {

namespace {

// Room for a burst of pages (and idle holders) while the workers are busy: a
// connection the queue has no room for is retried by its client only after a
// second. The system's own limit applies.
constexpr int kListenBacklog = 4096;
// After the platform refused an accept (e.g. no descriptors left) or a poll.
constexpr auto kPlatformPause = std::chrono::milliseconds(100);

int MillisecondsUntil(Clock::time_point when, Clock::time_point now) {
  if (when <= now) return 0;
  // Rounded up, so that a wake-up never comes just before the time.
  return static_cast<int>(
             std::chrono::duration_cast<std::chrono::milliseconds>(when - now).count()) +
         1;
}

}  // namespace

struct Responder::Impl {
  ResponderConfig config;
  std::unique_ptr<TlsContext> tls;
  SocketHandle wake_read = kNoSocket;
  SocketHandle wake_write = kNoSocket;
  // Once set, the wake-up socket stays readable: every wait of every worker ends.
  std::atomic<bool> stop{false};

  ~Impl() {
    CloseSocket(wake_read);
    CloseSocket(wake_write);
  }
  // Waits on the wake-up socket; false when a stop was asked for.
  bool Pause(int ms) {
    PollEntry wake;
    wake.socket = wake_read;
    wake.want_read = true;
    PollSockets(&wake, 1, ms);
    return !stop;
  }
  SocketHandle ListenWhenFree();
};

namespace {

// One event loop: takes connections from the shared listening socket and
// drives its own, oldest first, until the stop. Nothing wakes it while idle.
class Worker {
 public:
  Worker(Responder::Impl& server, SocketHandle listener, std::size_t share)
      : server_(server), listener_(listener), share_(std::max<std::size_t>(1, share)) {}
  void Run();

 private:
  int WaitForSockets();
  void AdvanceReady();
  void EndFinishedAndLate(Clock::time_point now);
  void AcceptOne(Clock::time_point now);

  Responder::Impl& server_;
  SocketHandle listener_;
  std::size_t share_;
  std::vector<std::unique_ptr<Connection>> connections_;  // oldest first
  std::vector<PollEntry> waits_;  // wake-up, listener while accepting, the connections
  bool listener_ready_ = false;
  Clock::time_point accept_again_{};
};

void Worker::Run() {
  while (!server_.stop) {
    int ready = WaitForSockets();
    if (server_.stop) break;
    if (ready < 0 && !server_.Pause(static_cast<int>(kPlatformPause.count()))) break;
    if (ready > 0) AdvanceReady();
    Clock::time_point now = Clock::now();
    EndFinishedAndLate(now);
    if (listener_ready_) AcceptOne(now);
  }
  connections_.clear();
}

int Worker::WaitForSockets() {
  Clock::time_point now = Clock::now();
  bool accepting = now >= accept_again_;
  Clock::time_point first = accepting ? Clock::time_point::max() : accept_again_;
  waits_.assign(1, PollEntry{server_.wake_read, true});
  if (accepting) waits_.push_back(PollEntry{listener_, true});
  for (const std::unique_ptr<Connection>& c : connections_) {
    waits_.push_back(PollEntry{c->socket(), c->want() == Want::kRead, c->want() == Want::kWrite});
    first = std::min(first, c->deadline());
  }
  int timeout = first == Clock::time_point::max() ? -1 : MillisecondsUntil(first, now);
  int ready = PollSockets(waits_.data(), waits_.size(), timeout);
  listener_ready_ = accepting && ready > 0 && waits_[1].ready;
  return ready;
}

void Worker::AdvanceReady() {
  std::size_t offset = waits_.size() - connections_.size();
  for (std::size_t i = 0; i < connections_.size(); ++i) {
    if (waits_[offset + i].ready) connections_[i]->Advance();
  }
}

void Worker::EndFinishedAndLate(Clock::time_point now) {
  auto ended = [now](const std::unique_ptr<Connection>& c) {
    return c->want() == Want::kDone || c->deadline() <= now;
  };
  connections_.erase(std::remove_if(connections_.begin(), connections_.end(), ended),
                     connections_.end());
}

void Worker::AcceptOne(Clock::time_point now) {
  SocketHandle socket = kNoSocket;
  AcceptResult result = AcceptConnection(listener_, &socket);
  if (result == AcceptResult::kFailed) accept_again_ = now + kPlatformPause;
  if (result != AcceptResult::kAccepted) return;
  if (server_.config.on_connection) server_.config.on_connection();
  // At the share the oldest is ended: a real page goes before an idle holder.
  if (connections_.size() >= share_) connections_.erase(connections_.begin());
  auto deadline = now + std::chrono::milliseconds(server_.config.connection_deadline_ms);
  connections_.push_back(std::make_unique<Connection>(server_.tls->get(), socket, deadline));
  if (connections_.back()->Advance() == Want::kDone) connections_.pop_back();
}

}  // namespace

SocketHandle Responder::Impl::ListenWhenFree() {
  for (;;) {
    std::string reason;
    SocketHandle listener = ListenOn(config.address, config.port, kListenBacklog, &reason);
    if (listener != kNoSocket) return listener;
    if (config.on_bind_failed) config.on_bind_failed(reason);
    if (!Pause(config.bind_retry_ms)) return kNoSocket;
  }
}

std::unique_ptr<Responder> Responder::Create(const ResponderConfig& config, std::string* error) {
  auto impl = std::make_unique<Impl>();
  impl->config = config;
  if (!StartSockets(error)) return nullptr;
  impl->tls = TlsContext::Create(config.certificate_file, config.key_file, error);
  if (!impl->tls || !MakeWakeupPair(&impl->wake_read, &impl->wake_write, error)) return nullptr;
  return std::unique_ptr<Responder>(new Responder(std::move(impl)));
}

Responder::Responder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Responder::~Responder() = default;

void Responder::Run() {
  Impl& server = *impl_;
  SocketHandle listener = server.ListenWhenFree();
  if (listener == kNoSocket) return;
  if (server.config.on_listening) server.config.on_listening(LocalPort(listener));
  std::size_t workers = std::max<std::size_t>(1, server.config.workers);
  std::size_t share = server.config.max_connections / workers;
  std::vector<std::thread> others;
  try {
    for (std::size_t i = 1; i < workers; ++i)
      others.emplace_back([&] { Worker(server, listener, share).Run(); });
  } catch (const std::system_error&) {
    // No thread left for another worker: the ones running serve alone.
  }
  Worker(server, listener, share).Run();
  for (std::thread& t : others) t.join();
  CloseSocket(listener);
}

void Responder::RequestStop() {
  impl_->stop = true;
  SendByte(impl_->wake_write);
}

}  // namespace responder
