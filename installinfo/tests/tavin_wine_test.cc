// Drives Tavin.dll only through its exports, loaded by name as a product program
// would, with Lorix.dll copied into the installation folder beside it.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "installinfo/core/install_rules.h"
#include "installinfo/include/tavin.h"
#include "installinfo/win/file_restore.h"
#include "manifest/include/lorix.h"
#include "manifest/tests/win_test_util.h"

namespace {

using setup_test::Exists;
using setup_test::ReadAll;
using setup_test::TempFolder;
using setup_test::WinPath;
using setup_test::WriteAll;

struct Tavin {
  HMODULE module = nullptr;
  decltype(&::SetRootPath) SetRootPath = nullptr;
  TavinGetInstallPathFn GetInstallPath = nullptr;
  decltype(&::GetInstallState) GetInstallState = nullptr;
  decltype(&::GetMainVersion) GetMainVersion = nullptr;
  decltype(&::GetLanguage) GetLanguage = nullptr;
  decltype(&::GetInstalledFileCount) GetInstalledFileCount = nullptr;
  decltype(&::GetInstalledFileInfomation) GetInstalledFileInfomation = nullptr;
  decltype(&::LiveUpdate) LiveUpdate = nullptr;
  decltype(&::MonitoringInstalledFiles) MonitoringInstalledFiles = nullptr;
  decltype(&::PauseMonitoring) PauseMonitoring = nullptr;
};

template <typename T>
void Bind(HMODULE m, const char* name, T* out) {
  *out = reinterpret_cast<T>(GetProcAddress(m, name));
}

Tavin& Dll() {
  static Tavin t = [] {
    Tavin d;
    d.module = LoadLibraryA(WinPath(TAVIN_DLL).c_str());
    if (d.module == nullptr) return d;
    Bind(d.module, "SetRootPath", &d.SetRootPath);
    Bind(d.module, TAVIN_GET_INSTALL_PATH_EXPORT, &d.GetInstallPath);
    Bind(d.module, "GetInstallState", &d.GetInstallState);
    Bind(d.module, "GetMainVersion", &d.GetMainVersion);
    Bind(d.module, "GetLanguage", &d.GetLanguage);
    Bind(d.module, "GetInstalledFileCount", &d.GetInstalledFileCount);
    Bind(d.module, "GetInstalledFileInfomation", &d.GetInstalledFileInfomation);
    Bind(d.module, "LiveUpdate", &d.LiveUpdate);
    Bind(d.module, "MonitoringInstalledFiles", &d.MonitoringInstalledFiles);
    Bind(d.module, "PauseMonitoring", &d.PauseMonitoring);
    return d;
  }();
  return t;
}

void ExpectAllBound() {
  Tavin& d = Dll();
  ASSERT_NE(d.module, nullptr);
  ASSERT_TRUE(d.SetRootPath && d.GetInstallPath && d.GetInstallState && d.GetMainVersion &&
              d.GetLanguage && d.GetInstalledFileCount && d.GetInstalledFileInfomation &&
              d.LiveUpdate && d.MonitoringInstalledFiles && d.PauseMonitoring);
  EXPECT_EQ(GetProcAddress(d.module, "GetInstallPath"), nullptr) << "only the C++ name is exported";
}

std::string Manifest(const std::string& config, const std::string& files) {
  return "<?xml version=\"1.0\" "
         "encoding=\"euc-kr\"?>\r\n<SETUP><RESERVE><WORD><SHORT>&lt;ROOT&gt;</SHORT><MEAN>root</"
         "MEAN></WORD></RESERVE>"
         "<CONFIG>" +
         config + "</CONFIG><FILES>" + files + "</FILES></SETUP>\r\n";
}

std::string FileEntry(const std::string& folder, const std::string& name,
                      const std::string& version) {
  return "<FILE><FILENAME>" + name + "</FILENAME><FOLDER>" + folder + "</FOLDER><VERSION>" +
         version + "</VERSION></FILE>";
}

// An installation folder with the manifest library, "setup.ini" and a manifest.
class Installation {
 public:
  Installation() {
    GetCurrentDirectoryA(MAX_PATH, old_dir_);
    SetCurrentDirectoryA(dir_.path().c_str());
  }
  ~Installation() { SetCurrentDirectoryA(old_dir_); }
  void AddLibrary(const char* name) {
    EXPECT_TRUE(CopyFileA(WinPath(LORIX_DLL).c_str(), (dir_ / name).c_str(), FALSE));
  }
  void Write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(WriteAll(dir_ / name, text));
  }
  std::string root() const { return dir_.path() + "\\"; }  // with its backslash
  std::string operator/(const std::string& name) const { return dir_ / name; }

 private:
  TempFolder dir_{"tavin"};
  char old_dir_[MAX_PATH] = {};
};

// Message boxes of this process: the text of each box's static control.
struct FoundBox {
  HWND hwnd = nullptr;
  std::string text;
};

BOOL CALLBACK CollectText(HWND child, LPARAM param) {
  char cls[64] = "", text[1024] = "";
  GetClassNameA(child, cls, sizeof(cls));
  if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof(text)) > 0) {
    reinterpret_cast<std::string*>(param)->assign(text);
  }
  return TRUE;
}

BOOL CALLBACK FindBoxes(HWND hwnd, LPARAM param) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char cls[64] = "";
  GetClassNameA(hwnd, cls, sizeof(cls));
  if (pid == GetCurrentProcessId() && std::strcmp(cls, "#32770") == 0 && IsWindowVisible(hwnd)) {
    FoundBox box;
    box.hwnd = hwnd;
    EnumChildWindows(hwnd, CollectText, reinterpret_cast<LPARAM>(&box.text));
    reinterpret_cast<std::vector<FoundBox>*>(param)->push_back(box);
  }
  return TRUE;
}

// Waits (bounded) for a message box showing `text`, presses its OK button and
// waits for it to go. False when no such box appeared in time.
bool CloseMessageBox(const std::string& text, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    std::vector<FoundBox> boxes;
    EnumWindows(FindBoxes, reinterpret_cast<LPARAM>(&boxes));
    for (const FoundBox& box : boxes) {
      if (box.text != text) continue;
      PostMessageA(box.hwnd, WM_COMMAND, IDOK, 0);
      for (int i = 0; i < 100 && IsWindow(box.hwnd); ++i) Sleep(50);
      return !IsWindow(box.hwnd);
    }
    Sleep(50);
  }
  return false;
}

bool AnyMessageBox() {
  std::vector<FoundBox> boxes;
  EnumWindows(FindBoxes, reinterpret_cast<LPARAM>(&boxes));
  return !boxes.empty();
}

TEST(Tavin, BeforeTheRootPathIsSetNothingRuns) {
  ExpectAllBound();
  Tavin& d = Dll();
  char out[260] = "untouched";
  d.GetInstallPath(out);
  EXPECT_STREQ(out, "untouched");
  EXPECT_EQ(d.LiveUpdate(3), 0);
  EXPECT_EQ(d.MonitoringInstalledFiles(), 0);
  EXPECT_EQ(d.GetInstalledFileCount(), 0);
  char a[128] = "a", b[128] = "b";
  EXPECT_EQ(d.GetInstalledFileInfomation(0, a, b), 0);
  EXPECT_STREQ(a, "a");
}

TEST(Tavin, RootPathIsKeptAndAnOverLongOneIsRefused) {
  ExpectAllBound();
  Tavin& d = Dll();
  d.SetRootPath("C:\\Program Files\\Corvanta\\");
  char out[260] = "";
  d.GetInstallPath(out);
  EXPECT_STREQ(out, "C:\\Program Files\\Corvanta\\");
  std::string long_path(300, 'a');
  d.SetRootPath(long_path.c_str());
  std::strcpy(out, "untouched");
  d.GetInstallPath(out);
  EXPECT_STREQ(out, "untouched");
}

TEST(Tavin, ManifestQueriesReadVersionLanguageAndInstalledFiles) {
  ExpectAllBound();
  Tavin& d = Dll();
  Installation inst;
  inst.AddLibrary("lorix.dll");
  ASSERT_TRUE(CopyFileA(WinPath(FIXTURE_APP).c_str(), (inst / "app.exe").c_str(), FALSE));
  inst.Write("plain.txt", "x");
  inst.Write("m.xml", Manifest("<MAINVERSION>3.2.1.0</MAINVERSION><LANG>1042</LANG>",
                               FileEntry(inst.root(), "app.exe", "1.2.0.5") +
                                   FileEntry("&lt;ROOT&gt;" + inst.root(), "plain.txt", "9")));
  inst.Write("setup.ini", "m.xml");
  d.SetRootPath(inst.root().c_str());
  char version[1024] = "";
  EXPECT_EQ(d.GetMainVersion(version), 0);
  EXPECT_STREQ(version, "3.2.1.0");
  EXPECT_EQ(d.GetLanguage(), 1042);
  EXPECT_EQ(d.GetInstalledFileCount(), 2);
  char manifest_version[128] = "", installed[128] = "";
  ASSERT_EQ(d.GetInstalledFileInfomation(0, manifest_version, installed), 1);
  EXPECT_STREQ(manifest_version, "1.2.0.5");
  EXPECT_STREQ(installed, "1.2.0.5");
  ASSERT_EQ(d.GetInstalledFileInfomation(1, manifest_version, installed), 1);
  EXPECT_STREQ(manifest_version, "9");
  EXPECT_EQ(std::string(installed).rfind("T.", 0), 0u) << installed;
  std::strcpy(manifest_version, "untouched");
  EXPECT_EQ(d.GetInstalledFileInfomation(2, manifest_version, installed), 0);
  EXPECT_STREQ(manifest_version, "untouched");

  // Without MAINVERSION the output is emptied.
  inst.Write("m.xml", Manifest("<LANG>7</LANG>", ""));
  std::strcpy(version, "old");
  EXPECT_EQ(d.GetMainVersion(version), 0);
  EXPECT_STREQ(version, "");
  EXPECT_EQ(d.GetLanguage(), 7);
}

TEST(Tavin, SetupIniEndingInALineBreakFailsTheLoads) {
  ExpectAllBound();
  Tavin& d = Dll();
  Installation inst;
  inst.AddLibrary("lorix.dll");
  inst.Write("m.xml", Manifest("<MAINVERSION>1</MAINVERSION><LANG>1042</LANG>",
                               FileEntry("c:\\", "a", "1")));
  inst.Write("setup.ini", "m.xml\r\n");
  d.SetRootPath(inst.root().c_str());
  char version[1024] = "untouched";
  EXPECT_EQ(d.GetMainVersion(version), 0);
  EXPECT_STREQ(version, "untouched");
  EXPECT_EQ(d.GetLanguage(), 0);
  EXPECT_EQ(d.GetInstalledFileCount(), 0);
  inst.Write("setup.ini", "m.xml");
  EXPECT_EQ(d.GetInstalledFileCount(), 1);
}

TEST(Tavin, TheSecondLibraryNameIsUsedWhenTheFirstIsMissing) {
  ExpectAllBound();
  Tavin& d = Dll();
  Installation inst;
  inst.Write("m.xml", Manifest("<LANG>1042</LANG>", ""));
  inst.Write("setup.ini", "m.xml");
  d.SetRootPath(inst.root().c_str());
  char version[1024] = "untouched";
  EXPECT_EQ(d.GetLanguage(), 0) << "no manifest library at all";
  d.GetMainVersion(version);
  EXPECT_STREQ(version, "untouched");
  inst.AddLibrary("lorixx.dll");
  EXPECT_EQ(d.GetLanguage(), 1042);
  // A library that lacks the functions is not used.
  ASSERT_TRUE(DeleteFileA((inst / "lorixx.dll").c_str()));
  ASSERT_TRUE(
      CopyFileA(WinPath(FIXTURE_EMPTY_VERSION).c_str(), (inst / "lorix.dll").c_str(), FALSE));
  EXPECT_EQ(d.GetLanguage(), 0);
}

// Without a root folder the library is looked for beside the program and in the
// system folder only, never in the current folder where anyone may put one.
TEST(Tavin, ALibraryInTheCurrentFolderIsNotLoadedWithoutARoot) {
  ExpectAllBound();
  Tavin& d = Dll();
  Installation inst;  // also the current folder
  inst.AddLibrary("lorix.dll");
  inst.Write("m.xml", Manifest("<LANG>1042</LANG>", ""));
  inst.Write("setup.ini", "m.xml");
  d.SetRootPath(inst.root().c_str());
  EXPECT_EQ(d.GetLanguage(), 1042);
  d.SetRootPath("");
  EXPECT_EQ(d.GetLanguage(), 0);
  EXPECT_EQ(GetModuleHandleA((inst / "lorix.dll").c_str()), nullptr);
}

constexpr char kStateSubKey[] = "SOFTWARE\\OSKANA\\PKINSTALLER";

void SetState(const char* text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStateSubKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "InstallState", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(std::strlen(text) + 1));
  RegCloseKey(key);
}

bool WaitForUpdaterWindow(bool present, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    if ((FindWindowA("UPDATER_CLASS", "UPDATER") != nullptr) == present) return true;
    Sleep(50);
  }
  return false;
}

TEST(Tavin, InstallStateFollowsTheRegistryAndTheUpdaterWindow) {
  ExpectAllBound();
  Tavin& d = Dll();
  ASSERT_TRUE(WaitForUpdaterWindow(false, 20000))
      << "an updater window from an earlier run is still open";
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kStateSubKey);
  EXPECT_EQ(d.GetInstallState(), 101);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStateSubKey, 0, KEY_READ, &key), ERROR_SUCCESS)
      << "created";
  RegCloseKey(key);
  SetState("7");
  EXPECT_EQ(d.GetInstallState(), 7);
  SetState("x");
  EXPECT_EQ(d.GetInstallState(), 0);
  SetState("1");
  EXPECT_EQ(d.GetInstallState(), 102);

  Installation inst;
  d.SetRootPath(inst.root().c_str());
  EXPECT_EQ(d.LiveUpdate(3), 0) << "no updater in the folder";
  ASSERT_TRUE(CopyFileA(WinPath(UPDATER_EXE).c_str(), (inst / "updaterx.exe").c_str(), FALSE));
  SetEnvironmentVariableA("UPDATER_STANDIN_SECONDS", "30");
  ASSERT_NE(d.LiveUpdate(3), 0);
  ASSERT_TRUE(WaitForUpdaterWindow(true, 20000)) << "the updater stand-in did not show its window";
  EXPECT_EQ(d.GetInstallState(), 1);
  EXPECT_EQ(ReadAll(inst / "updater-cmdline.txt"), "\"" + inst.root() + "updaterx.exe\"  update 3");
  HWND updater = FindWindowA("UPDATER_CLASS", "UPDATER");
  DWORD updater_id = 0;
  GetWindowThreadProcessId(updater, &updater_id);
  harness::Process stand_in;
  ASSERT_TRUE(stand_in.Attach(updater_id));
  PostMessageA(updater, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitForUpdaterWindow(false, 20000));
  EXPECT_EQ(d.GetInstallState(), 102);
  DWORD code = 0;
  EXPECT_TRUE(stand_in.WaitForExit(20000, &code)) << "the stand-in must end before its folder goes";
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kStateSubKey);
}

std::string WindowsFolder() {
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  std::string w = windows;
  return w.back() == '\\' ? w : w + "\\";
}

// Without PROJECTNAME the protected folder is the Windows folder and one more
// backslash; no list is there, so the monitor says so and ends.
TEST(Tavin, MonitorWithoutAListSaysSoAndEnds) {
  ExpectAllBound();
  Tavin& d = Dll();
  ASSERT_FALSE(AnyMessageBox());
  Installation inst;
  inst.AddLibrary("lorix.dll");
  inst.Write("m.xml", Manifest("<LANG>1042</LANG>", ""));
  inst.Write("setup.ini", inst / "m.xml");
  d.SetRootPath(inst.root().c_str());
  ASSERT_EQ(d.MonitoringInstalledFiles(), 1);
  ASSERT_TRUE(CloseMessageBox(WindowsFolder() + "\\pklist.mon", 20000));
  ASSERT_TRUE(CloseMessageBox("파일열기 오류", 20000));
}

// Protected folders of earlier runs (their monitors held the library there).
void RemoveOldProtectedFolders() {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((WindowsFolder() + "TavinTest*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string folder = WindowsFolder() + fd.cFileName + "\\";
    for (const char* name : {"lorix.dll", "a.txt", "pklist.mon"})
      DeleteFileA((folder + name).c_str());
    RemoveDirectoryA(folder.c_str());
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

// No one has the file open: an open that shares nothing succeeds.
bool OpenedByNoOne(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// An installation whose monitor list lives in a protected folder of its own
// under the Windows folder, with the manifest library there for the version reads.
struct ProtectedInstallation {
  ProtectedInstallation() {
    RemoveOldProtectedFolders();
    inst.AddLibrary("lorix.dll");
    EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CopyFileA(WinPath(LORIX_DLL).c_str(), (folder + "lorix.dll").c_str(), FALSE));
    EXPECT_TRUE(WriteAll(folder + "a.txt", "original"));
    inst.Write("m.xml", Manifest("<PROJECTNAME>" + project + "</PROJECTNAME>", ""));
    inst.Write("setup.ini", inst / "m.xml");
    Dll().SetRootPath(inst.root().c_str());
  }
  ~ProtectedInstallation() {
    DeleteFileA((folder + "pklist.mon").c_str());
    DeleteFileA((folder + "a.txt").c_str());
  }
  std::string PairLine(const std::string& installed_name) const {
    return "<INSTALLEDFILE>" + (inst / installed_name) + "</INSTALLEDFILE> <PROTECTEDFILE>" +
           folder + "a.txt</PROTECTEDFILE>\r\n";
  }
  void WriteList(const std::string& text) const {
    EXPECT_TRUE(WriteAll(folder + "pklist.mon", text));
  }
  // The installed file is back (moved into place whole) and the monitor has let
  // go of the protected copy it was made from.
  bool WaitForRestore(const std::string& installed_name, DWORD timeout_ms) const {
    return harness::WaitUntil(
        [&] { return Exists(inst / installed_name) && OpenedByNoOne(folder + "a.txt"); },
        timeout_ms);
  }

  Installation inst;
  std::string project = "TavinTest" + std::to_string(GetCurrentProcessId());
  std::string folder = WindowsFolder() + project + "\\";
};

TEST(Tavin, MonitorPutsBackADeletedFile) {
  ExpectAllBound();
  Tavin& d = Dll();
  ASSERT_FALSE(AnyMessageBox());
  ProtectedInstallation p;
  ASSERT_TRUE(CopyFileA((p.folder + "a.txt").c_str(), (p.inst / "a.txt").c_str(), FALSE));
  // The last pair's file is missing: once it is back, the first pass is done.
  p.WriteList(p.PairLine("a.txt") + "<INSTALLEDFILE>" + (p.inst / "only.txt") +
              "</INSTALLEDFILE>\r\n" + p.PairLine("first_pass.txt"));

  ASSERT_EQ(d.MonitoringInstalledFiles(), 1);
  ASSERT_TRUE(CloseMessageBox(p.folder + "pklist.mon", 20000));
  ASSERT_TRUE(CloseMessageBox("파싱오류", 20000)) << "the line without a protected copy";
  ASSERT_TRUE(p.WaitForRestore("first_pass.txt", 25000)) << "no first pass";
  ASSERT_TRUE(DeleteFileA((p.inst / "a.txt").c_str()));
  ASSERT_TRUE(p.WaitForRestore("a.txt", 25000)) << "not put back within 25 s";
  EXPECT_EQ(ReadAll(p.inst / "a.txt"), "original");
  EXPECT_FALSE(Exists(p.inst / "only.txt"));

  // Paused and resumed: no second monitor (no second list box).
  d.PauseMonitoring();
  ASSERT_EQ(d.MonitoringInstalledFiles(), 1);
  Sleep(1500);  // a fixed wait: no box is to come
  EXPECT_FALSE(AnyMessageBox());
  // Called again while running: a second monitor starts and shows its list box.
  ASSERT_EQ(d.MonitoringInstalledFiles(), 1);
  EXPECT_TRUE(CloseMessageBox(p.folder + "pklist.mon", 20000));
  EXPECT_TRUE(CloseMessageBox("파싱오류", 20000));
}

// A name with a separator, a drive or a parent step would put the protected
// folder (and the list the monitor trusts) elsewhere: no monitor starts.
TEST(Tavin, MonitorRefusesAProjectNameThatLeavesTheWindowsFolder) {
  ExpectAllBound();
  Tavin& d = Dll();
  Installation inst;
  inst.AddLibrary("lorix.dll");
  inst.Write("setup.ini", inst / "m.xml");
  d.SetRootPath(inst.root().c_str());
  for (const char* name : {"..\\Temp", "a/b", "C:", ".."}) {
    inst.Write("m.xml", Manifest(std::string("<PROJECTNAME>") + name + "</PROJECTNAME>", ""));
    EXPECT_EQ(d.MonitoringInstalledFiles(), 0) << name;
    EXPECT_FALSE(AnyMessageBox()) << name;
  }
}

// Ten mebibytes of blank and bad lines after a good pair: the list is read only
// up to its bound, one box says it had bad lines, and the pair is still watched.
TEST(Tavin, AHugeBadListGivesOneBoxAndTheMonitorStillRuns) {
  ExpectAllBound();
  ASSERT_FALSE(AnyMessageBox());
  ProtectedInstallation p;
  std::string list = p.PairLine("a.txt");
  while (list.size() < (10u << 20))
    list += "\r\n\r\nno tags here\r\n<INSTALLEDFILE>x</INSTALLEDFILE>\r\n";
  p.WriteList(list);
  ASSERT_EQ(Dll().MonitoringInstalledFiles(), 1);
  ASSERT_TRUE(CloseMessageBox(p.folder + "pklist.mon", 20000));
  ASSERT_TRUE(CloseMessageBox("파싱오류", 20000));
  ASSERT_TRUE(p.WaitForRestore("a.txt", 25000)) << "the missing file was not put back";
  EXPECT_EQ(ReadAll(p.inst / "a.txt"), "original");
  EXPECT_FALSE(AnyMessageBox()) << "the pass runs after the only parse box";
}

// The copy goes through a temporary name of its own: names already taken, by a
// file or by a link to another file, are passed over and left as they were.
TEST(Tavin, RestoringPassesOverPlantedTemporaryNames) {
  TempFolder dir("restore");
  ASSERT_TRUE(WriteAll(dir / "protected", "new content"));
  ASSERT_TRUE(WriteAll(dir / "target", "old"));
  ASSERT_TRUE(WriteAll(dir / "victim", "victim"));
  ASSERT_TRUE(WriteAll(tavin::TemporaryPathBeside(dir / "target", 1), "planted"));
  ASSERT_TRUE(CreateHardLinkA(tavin::TemporaryPathBeside(dir / "target", 2).c_str(),
                              (dir / "victim").c_str(), nullptr));
  std::vector<uint64_t> drawn;
  auto nonce = [&drawn] {
    drawn.push_back(drawn.size() + 1);
    return drawn.back();
  };
  ASSERT_TRUE(tavin::RestoreFile(dir / "protected", dir / "target", nonce));
  EXPECT_EQ(drawn.size(), 3u);
  EXPECT_EQ(ReadAll(dir / "target"), "new content");
  EXPECT_EQ(ReadAll(tavin::TemporaryPathBeside(dir / "target", 1)), "planted");
  EXPECT_EQ(ReadAll(dir / "victim"), "victim");
  EXPECT_FALSE(Exists(tavin::TemporaryPathBeside(dir / "target", 3)));

  // Every name taken, or no protected copy: the target keeps what it had.
  ASSERT_TRUE(WriteAll(dir / "target", "old"));
  EXPECT_FALSE(tavin::RestoreFile(dir / "protected", dir / "target", [] { return uint64_t{1}; }));
  EXPECT_FALSE(tavin::RestoreFile(dir / "missing", dir / "target", nonce));
  EXPECT_EQ(ReadAll(dir / "target"), "old");
  EXPECT_EQ(ReadAll(tavin::TemporaryPathBeside(dir / "target", 1)), "planted");
  DeleteFileA(tavin::TemporaryPathBeside(dir / "target", 1).c_str());
  DeleteFileA(tavin::TemporaryPathBeside(dir / "target", 2).c_str());
}

// A manifest with an entity that would expand to 10^10 bytes is refused at once;
// the manifest library says why.
TEST(Tavin, AManifestWithADocumentTypeIsRefusedQuickly) {
  ExpectAllBound();
  Tavin& d = Dll();
  Installation inst;
  inst.AddLibrary("lorix.dll");
  inst.Write("m.xml", setup_test::BillionLaughs());
  inst.Write("setup.ini", "m.xml");
  d.SetRootPath(inst.root().c_str());
  // Held here too, so that its last-error text outlives Tavin's binding.
  HMODULE lorix = LoadLibraryA((inst / "lorix.dll").c_str());
  ASSERT_NE(lorix, nullptr);
  auto last_error = reinterpret_cast<decltype(&::GetSetupLastErrorMsg)>(
      GetProcAddress(lorix, "GetSetupLastErrorMsg"));
  DWORD start = GetTickCount();
  char version[1024] = "untouched";
  EXPECT_EQ(d.GetMainVersion(version), 0);
  EXPECT_STREQ(version, "untouched");
  EXPECT_EQ(d.GetLanguage(), 0);
  EXPECT_EQ(d.GetInstalledFileCount(), 0);
  EXPECT_LT(GetTickCount() - start, 5000u);
  char text[512] = "";
  last_error(text);
  EXPECT_STREQ(text, "XML load error 13 : document type declaration refused");
  FreeLibrary(lorix);
}

}  // namespace
