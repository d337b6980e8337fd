#include "common/win/xml_file_win.h"

#include <gtest/gtest.h>

#include <string>

#include "common/core/file_io.h"
#include "common/tests/test_folder.h"
#include "common/win/setup_paths_win.h"

namespace tessal {
namespace {

std::string Slurp(const std::string& path) {
  std::string out;
  ReadWholeFile(path, &out, 1 << 20);
  return out;
}

class XmlFileWinTest : public TestFolder {};

TEST(XmlFileWin, CharactersOutsideCp949BecomeReferences) {
  EXPECT_EQ(ToCp949WithReferences(L"a\u00e9\U0001F600\ud55c"), "a&#xE9;&#x1F600;\xC7\xD1");
  EXPECT_EQ(ToCp949WithReferences(L"plain?"), "plain?");
  EXPECT_EQ(ToCp949WithReferences(L""), "");
}

TEST_F(XmlFileWinTest, WritesEucKrAndReadsItBackAsUtf16) {
  std::string path = Path("xmlfile");
  ASSERT_TRUE(WriteXmlFileEucKr(path, L"<?xml version=\"1.0\"?>\r\n<S>\ud55c\u00e9</S>"));
  EXPECT_EQ(Slurp(path), "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<S>\xC7\xD1&#xE9;</S>");
  XmlFileRead read = ReadXmlFileForDom(path);
  ASSERT_EQ(read.result, XmlFileRead::kText);
  EXPECT_EQ(read.text, L"<?xml version=\"1.0\"?>\r\n<S>\ud55c&#xE9;</S>");
  ASSERT_TRUE(WriteWholeFile(path, "\xEF\xBB\xBF<S>\xED\x95\x9C</S>"));
  read = ReadXmlFileForDom(path);
  ASSERT_EQ(read.result, XmlFileRead::kText);
  EXPECT_EQ(read.text, L"<S>\ud55c</S>");
  ASSERT_TRUE(WriteWholeFile(path, std::string("\xFF\xFE<\0S\0/\0>\0", 10)));
  read = ReadXmlFileForDom(path);
  EXPECT_EQ(read.result, XmlFileRead::kDomLoads);
  EXPECT_EQ(read.bytes.size(), 10u);
  ASSERT_TRUE(WriteWholeFile(path, "<!DOCTYPE S><S/>"));
  read = ReadXmlFileForDom(path);
  EXPECT_EQ(read.result, XmlFileRead::kRefused);
  EXPECT_EQ(read.error, static_cast<DWORD>(ERROR_INVALID_DATA));
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
