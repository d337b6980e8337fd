// The communication library is loaded by name. With the search order the agent
// sets first thing, a copy planted in the current folder or on the PATH by a less
// trusted process is never the one loaded; one beside the program still is.
#include "agent/win/comm_library.h"

#include <gtest/gtest.h>

#include <string>

#include "common/win/dll_search.h"

namespace kestra {
namespace {

std::string TempFolder(const char* leaf) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + leaf + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::string BesideThisProgram(const char* name) {
  char self[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self, n);
  return path.substr(0, path.find_last_of('\\') + 1) + name;
}

TEST(CommLibraryLoad, APlantedCopyOutsideTheProgramFolderIsNotLoaded) {
  ASSERT_TRUE(tessal::RestrictDllSearch());
  const std::string folder = TempFolder("tessal_planted_");
  const std::string planted = folder + "\\qvTessalOlvar.dll";
  ASSERT_TRUE(CopyFileA(BesideThisProgram(PLANTED_LIBRARY).c_str(), planted.c_str(), FALSE));
  char old_folder[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, old_folder);
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  char old_path[32767] = {};
  GetEnvironmentVariableA("PATH", old_path, sizeof(old_path));
  SetEnvironmentVariableA("PATH", (folder + ";" + old_path).c_str());

  Win32CommLibrary comm;
  EXPECT_EQ(comm.Load(Edition::kX, folder), CommLoad::kMissing);
  EXPECT_EQ(GetModuleHandleA("qvTessalOlvar.dll"), nullptr);

  SetEnvironmentVariableA("PATH", old_path);
  SetCurrentDirectoryA(old_folder);
  // The planted copy itself is a loadable communication library.
  HMODULE direct = LoadLibraryA(planted.c_str());
  ASSERT_NE(direct, nullptr);
  EXPECT_NE(GetProcAddress(direct, "CVComm_InfoSet"), nullptr);
  FreeLibrary(direct);
  DeleteFileA(planted.c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST(SystemLibrary, LoadedFromTheSystemFolderWithOrWithoutTheLoaderFlags) {
  for (bool flags : {true, false}) {
    HMODULE version = tessal::LoadSystemLibrary("version.dll", flags);
    EXPECT_NE(version, nullptr) << flags;
    if (version != nullptr) FreeLibrary(version);
    EXPECT_EQ(tessal::LoadSystemLibrary("qvTessalOlvar.dll", flags), nullptr) << flags;
  }
}

}  // namespace
}  // namespace kestra
