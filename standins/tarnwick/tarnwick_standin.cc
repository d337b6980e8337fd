// Stand-in for the maker's protected-start program (qvTarnwick.exe): logs
//   qvTarnwick <pid> started YYYY-MM-DD HH:MM:SS.mmm <command line>
// (and "qvTarnwick <pid> show <mode>" when its starter chose a show mode),
// then ends with exit code 0.
#include <windows.h>

#include "standin_log.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  standin_log::AppendStart();
  return 0;
}
