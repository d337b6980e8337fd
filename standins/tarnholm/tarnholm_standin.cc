// Stand-in for the protected-start program's companion (qvTarnholm.exe): logs its
// start as the qvTarnwick stand-in does, then stays running (a long-lived process
// of that image name) until it is ended, at most two minutes.
#include "common/win/platform.h"

#include "standins/tarnwick/standin_log.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  standin_log::AppendStart();
  Sleep(120000);
  return 0;
}
