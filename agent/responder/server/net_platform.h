// The little the server needs from the platform's sockets, the same on POSIX
// and Winsock: non-blocking TCP sockets, poll on several at once, a wake-up pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace responder {

// A socket of either platform (an int on POSIX, a SOCKET on Windows).
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// Starts the socket library once per process (Winsock 2.2); true on POSIX.
bool StartSockets(std::string* error);

// A non-blocking listening TCP socket on address:port (port 0: any free one),
// bound so that no other local process can take the port over.
SocketHandle ListenOn(const std::string& address, std::uint16_t port, int backlog,
                      std::string* error);
// The port a bound socket listens on.
std::uint16_t LocalPort(SocketHandle socket);

enum class AcceptResult { kAccepted, kNone, kFailed };
// Takes one pending connection as a non-blocking socket. kNone: nothing pending
// (or it vanished before it was taken); kFailed: the platform refused (e.g. no
// descriptors left), worth a pause before the next try.
AcceptResult AcceptConnection(SocketHandle listener, SocketHandle* accepted);

void CloseSocket(SocketHandle socket);
// Ends sending and receiving; a thread waiting on the socket wakes up.
void ShutdownBoth(SocketHandle socket);
// Ends sending only (a FIN after what was written).
void ShutdownSend(SocketHandle socket);

enum class IoResult { kDone, kWouldBlock, kClosed };
// One receive into buffer; *received holds the count on kDone.
IoResult Receive(SocketHandle socket, char* buffer, std::size_t size, std::size_t* received);
bool SendByte(SocketHandle socket);

struct PollEntry {
  SocketHandle socket = kNoSocket;
  bool want_read = false;
  bool want_write = false;
  bool ready = false;  // readable/writable as asked, or closed or failed
};
// Waits at most timeout_ms (negative: without a bound) until an entry is ready.
// The count of ready entries; 0 on time-out, negative on failure.
int PollSockets(PollEntry* entries, std::size_t count, int timeout_ms);

// Two connected sockets: a byte sent on one makes the other readable.
bool MakeWakeupPair(SocketHandle* read_end, SocketHandle* write_end, std::string* error);

}  // namespace responder
