// Windows-side helpers for the end-to-end tests and the demo: start programs,
// wait (always bounded) for windows, files and process ends.
#pragma once

#include "common/win/platform.h"

#include <functional>
#include <string>
#include <vector>

namespace harness {

// Folder of the built Windows deliverables and of the stand-ins.
std::string OutFolder();
std::string StandinFolder();
// The test certificates of this tree (root.pem, jsxCVsc.cer, locrt, locrk), as
// Windows programs and as Linux programs see the folder.
std::string TestCertFolder();
std::string TestCertUnixFolder();
// The idle test program (waits the milliseconds its command line gives).
std::string IdleProgram();

// A fresh folder under %TEMP%, removed with its content by the destructor.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

class Process {
 public:
  Process() = default;
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  ~Process();
  // Starts a program; false when it could not be started.
  bool Start(const std::string& program, const std::string& arguments = "");
  // Takes a process that another program started; false when it cannot be opened.
  bool Attach(DWORD process_id);
  bool running() const;
  // Waits up to timeout_ms; true with the exit code when the process ended.
  bool WaitForExit(DWORD timeout_ms, DWORD* exit_code);
  void Kill();
  DWORD id() const { return pi_.dwProcessId; }

 private:
  void Close();
  PROCESS_INFORMATION pi_{};
};

// Runs a program (command_line whole, as its argv[0] and arguments) with standard
// output on a pipe and the other standard streams on NUL; reads until the program
// and everything that inherited the pipe have ended, at most timeout_ms. True with
// the output and exit code when it ended in time; otherwise it is ended.
bool RunForOutput(const std::string& program, std::string command_line, DWORD timeout_ms,
                  std::string* output, DWORD* exit_code);
// The text cut after every "\n" (which each line keeps).
std::vector<std::string> SplitLines(const std::string& text);

// Polls a condition every poll_ms until it holds or timeout_ms pass.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms, DWORD poll_ms = 50);
// The same while dispatching this thread's messages, for a test whose own windows
// must keep answering; a message that comes wakes it at once.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeout_ms);
HWND WaitForWindow(const char* window_class, const char* title, DWORD timeout_ms);

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
std::string ReadFileText(const std::string& path);
bool WriteFileText(const std::string& path, const std::string& text);
// Removes a folder and everything in it (no error when it does not exist).
void RemoveTree(const std::string& path);

// The roaming application-data folder.
std::string AppDataFolder();

// Ends every process that has a top-level window with this title or class.
void KillWindowOwners(const char* window_class, const char* title);

// Asks the runner that pipes this program's output to save a screenshot as
// NAME.png in its screenshot folder; waits (bounded) until it is written.
// Returns false when no runner answered.
bool RequestScreenshot(const std::string& name);

}  // namespace harness
