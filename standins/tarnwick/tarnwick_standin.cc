// Stand-in for the maker's protected-start program (qvTarnwick.exe): logs
//   qvTarnwick <pid> started YYYY-MM-DD HH:MM:SS.mmm <command line>
// and ends with exit code 0.
#include <windows.h>

#include <cstdio>
#include <string>

#include "standin_log.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char when[32];
  std::snprintf(when, sizeof(when), "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond, t.wMilliseconds);
  standin_log::Append(nullptr, std::string("started ") + when + " " + GetCommandLineA());
  return 0;
}
