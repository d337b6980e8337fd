// Plays a running program of the suite in the service's tests: it only stays
// alive (at most two minutes, should a test fail to end it).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Sleep(120000);
  return 0;
}
