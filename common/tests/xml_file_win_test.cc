#include "win/xml_file_win.h"

#include <gtest/gtest.h>

#include <string>

#include "win/setup_paths_win.h"

namespace tessal {
namespace {

std::string TempFile(const char* name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  return std::string(temp) + name + std::to_string(GetCurrentProcessId());
}

std::string Slurp(const std::string& path) {
  std::string out;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  char buf[4096];
  DWORD n = 0;
  while (h != INVALID_HANDLE_VALUE && ReadFile(h, buf, sizeof(buf), &n, nullptr) && n > 0) out.append(buf, n);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return out;
}

void Put(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
}

TEST(XmlFileWin, CharactersOutsideCp949BecomeReferences) {
  EXPECT_EQ(ToCp949WithReferences(L"a\u00e9\U0001F600\ud55c"), "a&#xE9;&#x1F600;\xC7\xD1");
  EXPECT_EQ(ToCp949WithReferences(L"plain?"), "plain?");
  EXPECT_EQ(ToCp949WithReferences(L""), "");
}

TEST(XmlFileWin, WritesEucKrAndReadsItBackAsUtf16) {
  std::string path = TempFile("xmlfile");
  ASSERT_TRUE(WriteXmlFileEucKr(path, L"<?xml version=\"1.0\"?>\r\n<S>\ud55c\u00e9</S>"));
  EXPECT_EQ(Slurp(path), "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<S>\xC7\xD1&#xE9;</S>");
  XmlFileRead read = ReadXmlFileForDom(path);
  ASSERT_EQ(read.result, XmlFileRead::kText);
  EXPECT_EQ(read.text, L"<?xml version=\"1.0\"?>\r\n<S>\ud55c&#xE9;</S>");
  Put(path, "\xEF\xBB\xBF<S>\xED\x95\x9C</S>");
  read = ReadXmlFileForDom(path);
  ASSERT_EQ(read.result, XmlFileRead::kText);
  EXPECT_EQ(read.text, L"<S>\ud55c</S>");
  Put(path, std::string("\xFF\xFE<\0S\0/\0>\0", 10));
  EXPECT_EQ(ReadXmlFileForDom(path).result, XmlFileRead::kDomLoads);
  DeleteFileA(path.c_str());
  read = ReadXmlFileForDom(path);
  EXPECT_EQ(read.result, XmlFileRead::kFailed);
  EXPECT_EQ(read.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(XmlFileWin, WindowsFolderEndsWithABackslash) {
  std::string w = WindowsFolder();
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(w.back(), '\\');
  EXPECT_EQ(LookupSpecialFolder(42, 0, -1), "");
  int code = WindowsVersionCode(-1);
  EXPECT_NE(code, -1) << "the version could not be read";
}

}  // namespace
}  // namespace tessal
