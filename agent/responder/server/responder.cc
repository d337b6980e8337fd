#include "server/responder.h"

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>

#include "server/connection.h"
#include "server/net_platform.h"
#include "server/tls_context.h"

namespace responder {

namespace {

// Room for a burst of pages (and idle holders) while connection threads start:
// a connection the queue has no room for is retried by its client only after
// a second. The system's own limit applies.
constexpr int kListenBacklog = 4096;
// After the platform refused an accept (e.g. no descriptors left).
constexpr int kAcceptPauseMs = 100;

struct Connection {
  SocketHandle socket = kNoSocket;
  bool ended_early = false;
};

}  // namespace

// Shared with the connection threads, each of which keeps it alive until it ends.
struct Server {
  ResponderConfig config;
  std::unique_ptr<TlsContext> tls;
  SocketHandle wake_read = kNoSocket;
  SocketHandle wake_write = kNoSocket;
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable changed;
  std::list<Connection> in_progress;  // oldest first
  std::weak_ptr<Server> self;

  ~Server() {
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
  void Serve(SocketHandle listener);
  void Start(SocketHandle socket, const std::shared_ptr<Server>& self);
  void MakeRoom();
  void EndAll();
};

namespace {

struct WorkerArgs {
  std::shared_ptr<Server> impl;
  std::list<Connection>::iterator connection;
};

void RunWorker(void* p) {
  std::unique_ptr<WorkerArgs> args(static_cast<WorkerArgs*>(p));
  Server& impl = *args->impl;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(impl.config.connection_deadline_ms);
  SocketHandle socket = args->connection->socket;
  ServeConnection(impl.tls->get(), socket, deadline);
  std::lock_guard<std::mutex> lock(impl.mutex);
  impl.in_progress.erase(args->connection);
  CloseSocket(socket);  // under the lock: nobody shuts down a reused number
  impl.changed.notify_all();
}

}  // namespace

SocketHandle Server::ListenWhenFree() {
  for (;;) {
    std::string reason;
    SocketHandle listener = ListenOn(config.address, config.port, kListenBacklog, &reason);
    if (listener != kNoSocket) return listener;
    if (config.on_bind_failed) config.on_bind_failed(reason);
    if (!Pause(config.bind_retry_ms)) return kNoSocket;
  }
}

void Server::MakeRoom() {
  std::unique_lock<std::mutex> lock(mutex);
  while (in_progress.size() >= config.max_connections) {
    for (Connection& oldest : in_progress) {
      if (oldest.ended_early) continue;
      oldest.ended_early = true;
      ShutdownBoth(oldest.socket);  // wakes its thread, which ends at once
      break;
    }
    changed.wait(lock);
  }
}

void Server::Start(SocketHandle socket, const std::shared_ptr<Server>& self) {
  MakeRoom();
  WorkerArgs* args = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex);
    in_progress.push_back(Connection{socket, false});
    args = new WorkerArgs{self, std::prev(in_progress.end())};
  }
  if (StartDetachedThread(RunWorker, args, config.worker_stack_bytes)) return;
  std::lock_guard<std::mutex> lock(mutex);
  in_progress.erase(args->connection);
  CloseSocket(socket);
  delete args;
}

void Server::EndAll() {
  std::unique_lock<std::mutex> lock(mutex);
  for (Connection& c : in_progress) ShutdownBoth(c.socket);
  changed.wait(lock, [this] { return in_progress.empty(); });
}

void Server::Serve(SocketHandle listener) {
  PollEntry waits[2];
  waits[0].socket = wake_read;
  waits[1].socket = listener;
  waits[0].want_read = waits[1].want_read = true;
  while (!stop) {
    if (PollSockets(waits, 2, -1) < 0 && !Pause(kAcceptPauseMs)) break;
    if (stop || !waits[1].ready) continue;
    SocketHandle socket = kNoSocket;
    AcceptResult result = AcceptConnection(listener, &socket);
    if (result == AcceptResult::kFailed && !Pause(kAcceptPauseMs)) break;
    if (result != AcceptResult::kAccepted) continue;
    if (config.on_connection) config.on_connection();
    Start(socket, self.lock());
  }
}

struct Responder::Impl {
  std::shared_ptr<Server> server;
};

std::unique_ptr<Responder> Responder::Create(const ResponderConfig& config, std::string* error) {
  auto server = std::make_shared<Server>();
  server->self = server;
  server->config = config;
  if (!StartSockets(error)) return nullptr;
  server->tls = TlsContext::Create(config.certificate_file, config.key_file, error);
  if (!server->tls || !MakeWakeupPair(&server->wake_read, &server->wake_write, error)) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->server = std::move(server);
  return std::unique_ptr<Responder>(new Responder(std::move(impl)));
}

Responder::Responder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Responder::~Responder() = default;

void Responder::Run() {
  Server& server = *impl_->server;
  SocketHandle listener = server.ListenWhenFree();
  if (listener != kNoSocket) {
    if (server.config.on_listening) server.config.on_listening(LocalPort(listener));
    server.Serve(listener);
    CloseSocket(listener);
  }
  // The connection threads hold the context: they end before Run returns.
  server.EndAll();
}

void Responder::RequestStop() {
  Server& server = *impl_->server;
  server.stop = true;
  SendByte(server.wake_write);
}

}  // namespace responder
