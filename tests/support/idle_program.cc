// A test program that only waits: the number of milliseconds on its command
// line (at most two minutes), then ends with 0. Tests copy it under the image
// names of programs whose mere presence another program looks for. Its version
// resource is that of the first keep-alive service, which had no responder.
#include "common/win/platform.h"

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
  long ms = std::strtol(arguments, nullptr, 10);
  if (ms <= 0 || ms > 120000) ms = 120000;
  Sleep(static_cast<DWORD>(ms));
  return 0;
}
