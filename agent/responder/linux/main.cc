// presence_responder --folder DIR [--port N] [--address A]: the responder as a
// Linux program, for tests and benchmarks. Serves with DIR/locrt and DIR/locrk
// and ends cleanly on SIGTERM or SIGINT.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "agent/responder/server/responder.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: presence_responder --folder DIR [--port N] [--address A]\n");
  return 2;
}

bool ParseArguments(int argc, char** argv, std::string* folder,
                    responder::ResponderConfig* config) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    if (name == "--folder") {
      *folder = argv[i + 1];
    } else if (name == "--address") {
      config->address = argv[i + 1];
    } else if (name == "--port") {
      char* end = nullptr;
      unsigned long port = std::strtoul(argv[i + 1], &end, 10);
      if (*end != 0 || port > 65535) return false;
      config->port = static_cast<std::uint16_t>(port);
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !folder->empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  responder::ResponderConfig config;
  if (!ParseArguments(argc, argv, &folder, &config)) return Usage();
  config.certificate_file = folder + "/locrt";
  config.key_file = folder + "/locrk";
  config.on_listening = [&config](std::uint16_t port) {
    std::printf("listening on %s:%u\n", config.address.c_str(), static_cast<unsigned>(port));
    std::fflush(stdout);
  };
  config.on_bind_failed = [](const std::string& reason) {
    std::fprintf(stderr, "%s; retrying\n", reason.c_str());
  };
  // The signals are taken by one thread that asks the responder to stop.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::string error;
  std::unique_ptr<responder::Responder> server = responder::Responder::Create(config, &error);
  if (!server) {
    std::fprintf(stderr, "presence_responder: %s\n", error.c_str());
    return 1;
  }
  std::thread stopper([&] {
    int signal_number = 0;
    sigwait(&signals, &signal_number);
    server->RequestStop();
  });
  server->Run();
  if (stopper.joinable()) pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return 0;
}
