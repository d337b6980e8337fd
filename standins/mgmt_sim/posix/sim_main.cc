// corvanta_mgmt_sim: plays the management server for the communication-library
// stand-in in tests and the demo. Loopback only; never shipped.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "standins/mgmt_sim/core/sim_options.h"
#include "standins/mgmt_sim/posix/sim_server.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

bool WritePortFile(const std::string& path, int port) {
  // Written under a temporary name and renamed, so a reader never sees half a number.
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "w");
  if (f == nullptr) return false;
  std::fprintf(f, "%d\n", port);
  if (std::fclose(f) != 0) return false;
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  mgmt_sim::SimOptions options;
  std::string error;
  if (!mgmt_sim::ParseSimOptions(args, &options, &error)) {
    std::fprintf(
        stderr,
        "corvanta_mgmt_sim: %s\nusage: corvanta_mgmt_sim [--port N] [--policy FILE] [--log FILE]"
        " [--port-file FILE] [--max-seconds N] [--stop-file FILE]\n",
        error.c_str());
    return 2;
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  mgmt_sim::Server server;
  if (!server.Listen(options.port, &error)) {
    std::fprintf(stderr, "corvanta_mgmt_sim: %s\n", error.c_str());
    return 1;
  }
  if (!options.port_file.empty() && !WritePortFile(options.port_file, server.port())) {
    std::fprintf(stderr, "corvanta_mgmt_sim: cannot write %s\n", options.port_file.c_str());
    return 1;
  }
  std::printf("%d\n", server.port());
  std::fflush(stdout);

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.max_seconds);
  mgmt_sim::ServerOptions serve{options.policy_path, options.log_path, 5000};
  server.Run(serve, [&] {
    return g_stop != 0 ||
           (options.max_seconds > 0 && std::chrono::steady_clock::now() >= deadline) ||
           (!options.stop_file.empty() && access(options.stop_file.c_str(), F_OK) == 0);
  });
  // The port file goes with the server, so a starter sees that it has ended.
  if (!options.port_file.empty()) std::remove(options.port_file.c_str());
  return 0;
}
