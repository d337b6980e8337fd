// The large manifest of the round-trip test and the benchmark: 5,000 files,
// 1,000 registry entries, 200 commands (50 per list), with Korean texts.
#pragma once

#include <cstdio>
#include <string>

namespace setup_test {

constexpr int kLargeFiles = 5000;
constexpr int kLargeRegistry = 1000;
constexpr int kLargeCommandsPerList = 50;

inline std::string Numbered(const char* format, int i) {
  char text[256];
  std::snprintf(text, sizeof(text), format, i);
  return text;
}

// `lib` has the Set functions of the manifest library as members.
template <typename Lib>
bool FillLargeManifest(Lib& lib) {
  lib.ClearInMemory();
  lib.SetReservedWord("<INSTALL>", "설치 폴더", "");
  lib.SetReservedWord("<SYS>", "시스템 폴더", "");
  lib.SetElementField("MAINVERSION", "5.0.0.1");
  lib.SetElementField("PROJECTNAME", "대용량");
  for (int i = 0; i < kLargeFiles; ++i) {
    std::string name = Numbered("파일%05d.dll", i);
    if (lib.SetFileInfo(Numbered("bin\\release\\모듈%05d.dll", i).c_str(), name.c_str(),
                        Numbered("<INSTALL>\\하위폴더%03d\\", i % 100).c_str(),
                        Numbered("1.0.%d.7", i).c_str(), "ALL", i % 2 ? "Y" : "N",
                        Numbered("표시 이름 %d", i).c_str(), i % 5, i % 2, i % 3, i * 1000,
                        i % 4 == 0, i % 7 == 0) != i + 1) {
      return false;
    }
  }
  for (int i = 0; i < kLargeRegistry; ++i) {
    if (lib.SetRegistryInfo(Numbered("HKEY_LOCAL_MACHINE\\SOFTWARE\\코르반타\\항목%04d", i).c_str(),
                            Numbered("키%d", i).c_str(), i % 11 - 1,
                            Numbered("값 %d & <quoted>", i).c_str(), i % 3) != i + 1) {
      return false;
    }
  }
  for (int i = 0; i < kLargeCommandsPerList; ++i) {
    lib.SetPreExecute(Numbered("\"<INSTALL>\\사전.exe\" /step %d", i).c_str());
    lib.SetPostExecute(Numbered("post.exe %d", i).c_str());
    lib.SetUpdateExecute(Numbered("update.exe %d", i).c_str());
    lib.SetDeleteExecute(Numbered("regsvr32 /u /s 파일%05d.dll", i).c_str());
  }
  return true;
}

}  // namespace setup_test
