// Runs the monitor library's console test entry: loads libqvWirelet.so (from
// $QVW_LIBRARY, else beside this program or one folder up) and calls
// QVW_MonitorXst, which reads its options from this process's command line.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
  std::string candidates[3];
  if (const char* lib = std::getenv("QVW_LIBRARY")) candidates[0] = lib;
  char self[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    std::string dir(self, static_cast<size_t>(n));
    dir.erase(dir.find_last_of('/'));
    candidates[1] = dir + "/libqvWirelet.so";
    candidates[2] = dir + "/../libqvWirelet.so";
  }
  void* library = nullptr;
  for (const std::string& path : candidates) {
    if (path.empty()) continue;
    library = dlopen(path.c_str(), RTLD_NOW);
    if (library) break;
    std::fprintf(stderr, "qvWireletHost: %s\n", dlerror());
  }
  if (!library) return 2;
  using Entry = int (*)();
  auto entry = reinterpret_cast<Entry>(dlsym(library, "QVW_MonitorXst"));
  if (!entry) {
    std::fprintf(stderr, "qvWireletHost: no QVW_MonitorXst\n");
    return 2;
  }
  int result = entry();
  std::fflush(stdout);
  return result == 1 ? 0 : 1;
}
