#include "agent/responder/win/responder_thread.h"

#include <memory>

#include "agent/responder/server/responder.h"
#include "agent/responder/win/root_store.h"
#include "common/win/wide_text.h"

namespace responder {
namespace {

// The listener and its waits need little stack; the thread is one of many in
// a 32-bit process.
constexpr SIZE_T kThreadStack = 256 * 1024;

// OpenSSL opens its files through UTF-8 names on Windows, whatever the code page.
std::string Utf8Path(const std::string& folder, const char* name) {
  return tessal::Narrow(tessal::Widen(folder + name), CP_UTF8);
}

VOID CALLBACK OnStopEvent(PVOID server, BOOLEAN) { static_cast<Responder*>(server)->RequestStop(); }

void Serve(const ThreadOptions& options) {
  ResponderConfig config;
  config.certificate_file = Utf8Path(options.program_folder, "\\locrt");
  config.key_file = Utf8Path(options.program_folder, "\\locrk");
  config.on_connection = options.on_connection;
  std::string error;
  std::unique_ptr<Responder> server = Responder::Create(config, &error);
  if (!server) return;
  // Ended before the server: it waits for a running callback, so the server
  // outlives every use of it.
  tessal::ScopedThreadPoolWait wait;
  if (options.stop_event != nullptr &&
      !RegisterWaitForSingleObject(wait.receive(), options.stop_event, OnStopEvent, server.get(),
                                   INFINITE, WT_EXECUTEONLYONCE)) {
    wait.release();  // nothing was registered
    return;          // a service responder that could not be stopped is not started
  }
  server->Run();
}

DWORD WINAPI ResponderMain(void* parameter) {
  std::unique_ptr<ThreadOptions> options(static_cast<ThreadOptions*>(parameter));
  ImportRootCertificate(tessal::Widen(options->program_folder + "\\jsxCVsc.cer"));
  if (!TlsServerMethodAvailable()) return 1;
  Serve(*options);
  return 0;
}

}  // namespace

tessal::ScopedKernelHandle StartResponderThread(ThreadOptions options) {
  auto owned = std::make_unique<ThreadOptions>(std::move(options));
  // Default security: no other process may open the thread of an elevated program.
  tessal::ScopedKernelHandle thread(CreateThread(nullptr, kThreadStack, ResponderMain, owned.get(),
                                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (thread.valid()) owned.release();
  return thread;
}

}  // namespace responder
