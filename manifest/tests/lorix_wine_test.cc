// Drives Lorix.dll only through its exports, loaded by name as an installer would.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "manifest/include/lorix.h"
#include "manifest/tests/large_manifest.h"
#include "manifest/tests/win_test_util.h"

namespace {

using setup_test::Exists;
using setup_test::ReadAll;
using setup_test::TempFolder;
using setup_test::WinPath;
using setup_test::WriteAll;

#define LORIX_FUNCTIONS(X)                                                                       \
  X(LoadSetupFile)                                                                               \
  X(SaveSetupFile)                                                                               \
  X(ClearInMemory) X(GetSetupLastErrorMsg) X(GetElementField) X(SetElementField) X(GetFileCount) \
      X(GetFileInfo) X(SetFileInfo) X(GetRegistryCount) X(GetRegistryInfo) X(SetRegistryInfo)    \
          X(GetPreKillProcessCount) X(GetPreKillProcess) X(SetPreKillProcess)                    \
              X(GetUpKillProcessCount) X(GetUpKillProcess) X(SetUpKillProcess)                   \
                  X(GetPreExecuteCount) X(GetPreExecute) X(SetPreExecute) X(GetPostExecuteCount) \
                      X(GetPostExecute) X(SetPostExecute) X(GetUpdateExecuteCount)               \
                          X(GetUpdateExecute) X(SetUpdateExecute) X(GetDeleteExecuteCount)       \
                              X(GetDeleteExecute) X(SetDeleteExecute) X(GetReservedWordCount)    \
                                  X(GetReservedWord) X(SetReservedWord) X(SetupPathToRealPath)   \
                                      X(GetTargetFileVersion) X(ChangeInstallExeVersion)         \
                                          X(GetSpcialDirectoryInCurrentSystem)                   \
                                              X(GetTempInstallPath) X(GetProtectedFilePath)

struct Lorix {
#define DECLARE(name) decltype(&::name) name = nullptr;
  LORIX_FUNCTIONS(DECLARE)
#undef DECLARE
  HMODULE module = nullptr;
  int bound = 0;
};

Lorix& Dll() {
  static Lorix lib = [] {
    Lorix l;
    l.module = LoadLibraryA(WinPath(LORIX_DLL).c_str());
    if (l.module != nullptr) {
#define BIND(name)                                                               \
  l.name = reinterpret_cast<decltype(&::name)>(GetProcAddress(l.module, #name)); \
  if (l.name != nullptr) ++l.bound;
      LORIX_FUNCTIONS(BIND)
#undef BIND
    }
    return l;
  }();
  return lib;
}

std::string LastError() {
  char text[512] = "untouched";
  EXPECT_EQ(Dll().GetSetupLastErrorMsg(text), 1);
  return text;
}

// Each test works in a scratch folder holding the stylesheet, as an installer's
// working folder would.
class LorixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Dll().module, nullptr) << "cannot load " << LORIX_DLL;
    ASSERT_EQ(Dll().bound, 39);
    GetCurrentDirectoryA(MAX_PATH, old_dir_);
    ASSERT_TRUE(CopyFileA(WinPath(INDENT_XSL).c_str(), (dir_ / "indent.xsl").c_str(), FALSE));
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    Dll().ClearInMemory();
  }
  void TearDown() override { SetCurrentDirectoryA(old_dir_); }

  TempFolder dir_{"lorix"};
  char old_dir_[MAX_PATH] = {};
};

void FillEveryKind() {
  Lorix& d = Dll();
  ASSERT_EQ(d.SetFileInfo("src\\한글.dll", "한글.dll", "<SYS>\\폴더\\", "1.0.0.1", "ALL", "Y",
                          "표시 이름", 3, 1, 2, 12345, 0, 1),
            1);
  ASSERT_EQ(d.SetFileInfo("b", "b.exe", "", "", "", "", "", -1, 5, 0, 0, 1, 0), 2);
  ASSERT_EQ(d.SetRegistryInfo("HKEY_LOCAL_MACHINE\\SOFTWARE\\소프트", "키", -1, "값 & <x>", 2), 1);
  ASSERT_EQ(d.SetPreKillProcess("PRECLASS", "창 제목"), 1);
  ASSERT_EQ(d.SetUpKillProcess("UPCLASS", ""), 1);
  ASSERT_EQ(d.SetPreExecute("pre.exe /s"), 1);
  ASSERT_EQ(d.SetPostExecute("post \"a b\""), 1);
  ASSERT_EQ(d.SetUpdateExecute("업데이트.exe"), 1);
  ASSERT_EQ(d.SetDeleteExecute("del"), 1);
  ASSERT_EQ(d.SetReservedWord("<SYS>", "시스템 폴더", "C:\\Windows\\system32"), 1);
  ASSERT_EQ(d.SetElementField("MAINVERSION", "2.1.0.7"), 1);
  ASSERT_EQ(d.SetElementField("LANG", "1042"), 2);
  ASSERT_EQ(d.SetElementField("PROJECTNAME", "프로젝트"), 3);
}

TEST_F(LorixTest, EmptyModelSavesAllTenSectionsAsEucKr) {
  ASSERT_EQ(Dll().SaveSetupFile((dir_ / "empty.xml").c_str()), 1) << LastError();
  std::string text = ReadAll(dir_ / "empty.xml");
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"euc-kr\"?>", 0), 0u) << text;
  std::size_t pos = 0;
  for (const char* s :
       {"<SETUP>", "<RESERVE", "<CONFIG", "<FILES", "<REGISTRYS", "<PREKILLS", "<UPKILLS",
        "<PREEXECUTE", "<POSTEXECUTE", "<UPDATEEXECUTE", "<DELETEEXECUTE"}) {
    std::size_t next = text.find(s, pos);
    ASSERT_NE(next, std::string::npos) << s << " in " << text;
    pos = next;
  }
  EXPECT_FALSE(Exists(dir_ / "temp.xml"));
  ASSERT_EQ(Dll().LoadSetupFile((dir_ / "empty.xml").c_str()), 1) << LastError();
  EXPECT_EQ(Dll().GetFileCount(), 0);
}

TEST_F(LorixTest, EverythingRoundTripsThroughTheFileInCp949) {
  FillEveryKind();
  Lorix& d = Dll();
  ASSERT_EQ(d.SaveSetupFile((dir_ / "m.xml").c_str()), 1) << LastError();
  std::string bytes = ReadAll(dir_ / "m.xml");
  if (getenv("LORIX_TEST_SHOW") != nullptr) fwrite(bytes.data(), 1, bytes.size(), stdout);
  EXPECT_NE(bytes.find("한글.dll"), std::string::npos) << "Korean text is stored as CP949 bytes";
  EXPECT_EQ(bytes.find("C:\\Windows\\system32"), std::string::npos) << "real texts stay in memory";
  EXPECT_NE(bytes.find("\n\t\t<FILE>"), std::string::npos) << "indented by the stylesheet:\n"
                                                           << bytes;
  d.ClearInMemory();
  EXPECT_EQ(d.GetFileCount(), 0);
  ASSERT_EQ(d.LoadSetupFile((dir_ / "m.xml").c_str()), 1) << LastError();

  char s[7][1024];
  int n[6];
  ASSERT_EQ(d.GetFileCount(), 2);
  ASSERT_EQ(d.GetFileInfo(0, s[0], s[1], s[2], s[3], s[4], s[5], s[6], &n[0], &n[1], &n[2], &n[3],
                          &n[4], &n[5]),
            1);
  EXPECT_STREQ(s[0], "src\\한글.dll");
  EXPECT_STREQ(s[1], "한글.dll");
  EXPECT_STREQ(s[2], "<SYS>\\폴더\\");
  EXPECT_STREQ(s[3], "1.0.0.1");
  EXPECT_STREQ(s[4], "ALL");
  EXPECT_STREQ(s[5], "Y");
  EXPECT_STREQ(s[6], "표시 이름");
  EXPECT_EQ(n[0], 3);
  EXPECT_EQ(n[1], 1);
  EXPECT_EQ(n[2], 2);
  EXPECT_EQ(n[3], 12345);
  EXPECT_EQ(n[4], 0);
  EXPECT_EQ(n[5], 1);
  ASSERT_EQ(d.GetFileInfo(1, s[0], s[1], s[2], s[3], s[4], s[5], s[6], &n[0], &n[1], &n[2], &n[3],
                          &n[4], &n[5]),
            1);
  EXPECT_EQ(n[0], -1);
  EXPECT_EQ(n[1], 1) << "self-register 5 is written as the flag 1";
  EXPECT_STREQ(s[2], "");

  int type = 0, action = 0;
  ASSERT_EQ(d.GetRegistryInfo(0, s[0], s[1], &type, s[2], &action), 1);
  EXPECT_STREQ(s[0], "HKEY_LOCAL_MACHINE\\SOFTWARE\\소프트");
  EXPECT_STREQ(s[1], "키");
  EXPECT_EQ(type, -1);
  EXPECT_STREQ(s[2], "값 & <x>");
  EXPECT_EQ(action, 2);
  ASSERT_EQ(d.GetPreKillProcess(0, s[0], s[1]), 1);
  EXPECT_STREQ(s[1], "창 제목");
  ASSERT_EQ(d.GetUpKillProcess(0, s[0], s[1]), 1);
  EXPECT_STREQ(s[0], "UPCLASS");
  EXPECT_STREQ(s[1], "");
  char cmd[2048];
  ASSERT_EQ(d.GetPostExecute(0, cmd), 1);
  EXPECT_STREQ(cmd, "post \"a b\"");
  ASSERT_EQ(d.GetUpdateExecute(0, cmd), 1);
  EXPECT_STREQ(cmd, "업데이트.exe");
  EXPECT_EQ(d.GetPreExecuteCount(), 1);
  EXPECT_EQ(d.GetDeleteExecuteCount(), 1);
  ASSERT_EQ(d.GetReservedWord(0, s[0], s[1]), 1);
  EXPECT_STREQ(s[0], "<SYS>");
  EXPECT_STREQ(s[1], "시스템 폴더");
  ASSERT_EQ(d.GetElementField("PROJECTNAME", s[0]), 1);
  EXPECT_STREQ(s[0], "프로젝트");

  // A second save of the loaded model gives the same file.
  ASSERT_EQ(d.SaveSetupFile((dir_ / "m2.xml").c_str()), 1) << LastError();
  EXPECT_EQ(ReadAll(dir_ / "m2.xml"), bytes);
}

// A hand-written euc-kr manifest with the rules' corner cases.
const char kCornerCases[] =
    "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n"
    "<OTHERROOT>\r\n"
    " <CONFIG><LANG>1042</LANG><LANG>1033</LANG><!-- note --><EMPTY/></CONFIG>\r\n"
    " <CONFIG><LATER>ignored: only the first CONFIG counts</LATER></CONFIG>\r\n"
    " <RESERVE>\r\n"
    "  <WORD><SHORT>&lt;B&gt;</SHORT><MEAN>first</MEAN></WORD>\r\n"
    "  <WORD><SHORT>&lt;B&gt;</SHORT><MEAN>second</MEAN></WORD>\r\n"
    "  <X><MEAN>any name</MEAN><SHORT>&lt;A&gt;</SHORT></X>\r\n"
    " </RESERVE>\r\n"
    " <FILES>\r\n"
    "  <FILE><FILENAME>a.dll</FILENAME><FILENAME>b.dll</FILENAME><SELFREG>01</SELFREG>"
    "<REALTIME>1</REALTIME><REBOOT>yes</REBOOT><ICONINDEX> "
    "7x</ICONINDEX><FILESIZE>-12</FILESIZE></FILE>\r\n"
    "  <!-- a comment is an entry too -->\r\n"
    "  "
    "<FILE><FILENAME>\xC7\xD1.dll</FILENAME><SELFREG>1</SELFREG><VERSION><![CDATA[1<2]]></"
    "VERSION></FILE>\r\n"
    " </FILES>\r\n"
    " <REGISTRYS><REGISTRY><REGPATH>HKEY_USERS\\x</REGPATH><TYPE>4abc</TYPE><ACTION>3</ACTION></"
    "REGISTRY></REGISTRYS>\r\n"
    " <PREEXECUTE><COMMAND>one</COMMAND><!-- c --><ANY>two</ANY></PREEXECUTE>\r\n"
    " <setup_is_case_sensitive><FILE/></setup_is_case_sensitive>\r\n"
    "</OTHERROOT>\r\n";

TEST_F(LorixTest, LoadFollowsFirstWinsAndCountsCommentsAsEntries) {
  Lorix& d = Dll();
  ASSERT_TRUE(WriteAll(dir_ / "c.xml", kCornerCases));
  ASSERT_EQ(d.LoadSetupFile((dir_ / "c.xml").c_str()), 1) << LastError();
  char s[7][1024];
  int n[6];
  char value[1024];
  ASSERT_EQ(d.GetElementField("LANG", value), 1);
  EXPECT_STREQ(value, "1042");
  ASSERT_EQ(d.GetElementField("#comment", value), 1);
  EXPECT_STREQ(value, "");
  ASSERT_EQ(d.GetElementField("EMPTY", value), 1);
  int fields_before = d.SetElementField("LANG", "9999");
  EXPECT_EQ(fields_before, 3) << "LANG, #comment and EMPTY; LATER is in the second CONFIG";
  ASSERT_EQ(d.GetElementField("LANG", value), 1);
  EXPECT_STREQ(value, "1042") << "a Set never replaces a loaded value";

  ASSERT_EQ(d.GetReservedWordCount(), 2);
  ASSERT_EQ(d.GetReservedWord(1, s[0], s[1]), 1);
  EXPECT_STREQ(s[0], "<B>");
  EXPECT_STREQ(s[1], "first");
  ASSERT_EQ(d.GetReservedWord(0, s[0], s[1]), 1);
  EXPECT_STREQ(s[0], "<A>");
  strcpy(s[0], "untouched");
  EXPECT_EQ(d.GetReservedWord(2, s[0], s[1]), 0);
  EXPECT_STREQ(s[0], "untouched");

  ASSERT_EQ(d.GetFileCount(), 3);
  ASSERT_EQ(d.GetFileInfo(0, s[0], s[1], s[2], s[3], s[4], s[5], s[6], &n[0], &n[1], &n[2], &n[3],
                          &n[4], &n[5]),
            1);
  EXPECT_STREQ(s[1], "a.dll");
  EXPECT_EQ(n[0], 7);    // icon index " 7x"
  EXPECT_EQ(n[1], 0);    // SELFREG 01
  EXPECT_EQ(n[3], -12);  // file size
  EXPECT_EQ(n[4], 1);    // REALTIME 1
  EXPECT_EQ(n[5], 0);    // REBOOT yes
  ASSERT_EQ(d.GetFileInfo(1, s[0], s[1], s[2], s[3], s[4], s[5], s[6], &n[0], &n[1], &n[2], &n[3],
                          &n[4], &n[5]),
            1);
  for (int i = 0; i < 7; ++i) EXPECT_STREQ(s[i], "") << i;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(n[i], 0) << i;
  ASSERT_EQ(d.GetFileInfo(2, s[0], s[1], s[2], s[3], s[4], s[5], s[6], &n[0], &n[1], &n[2], &n[3],
                          &n[4], &n[5]),
            1);
  EXPECT_STREQ(s[1], "한.dll");
  EXPECT_STREQ(s[3], "1<2");
  EXPECT_EQ(n[1], 1);

  int type = 0, action = 0;
  ASSERT_EQ(d.GetRegistryInfo(0, s[0], s[1], &type, s[2], &action), 1);
  EXPECT_EQ(type, 4);
  EXPECT_EQ(action, 3);
  ASSERT_EQ(d.GetPreExecuteCount(), 3);
  char cmd[2048];
  ASSERT_EQ(d.GetPreExecute(1, cmd), 1);
  EXPECT_STREQ(cmd, "");
  ASSERT_EQ(d.GetPreExecute(2, cmd), 1);
  EXPECT_STREQ(cmd, "two");

  // The type text goes back to the file as it came.
  ASSERT_EQ(d.SaveSetupFile((dir_ / "out.xml").c_str()), 1) << LastError();
  std::string saved = ReadAll(dir_ / "out.xml");
  EXPECT_NE(saved.find("<TYPE>4abc</TYPE>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<SETUP>"), std::string::npos);
  EXPECT_EQ(saved.find("OTHERROOT"), std::string::npos);
  EXPECT_EQ(saved.find("comment>"), std::string::npos) << "the comment's field is not written back";
}

TEST_F(LorixTest, FailedLoadsKeepTheModelAndSayWhy) {
  Lorix& d = Dll();
  FillEveryKind();
  ASSERT_EQ(d.LoadSetupFile((dir_ / "missing.xml").c_str()), 0);
  EXPECT_EQ(LastError(), "XML load error 2");
  ASSERT_TRUE(WriteAll(dir_ / "bad.xml",
                       "<?xml version=\"1.0\" encoding=\"euc-kr\"?><SETUP><FILES></SETUP>"));
  ASSERT_EQ(d.LoadSetupFile((dir_ / "bad.xml").c_str()), 0);
  EXPECT_EQ(LastError().rfind("XML load error ", 0), 0u) << LastError();
  std::string long_name = "<SETUP><FILES><FILE><FILENAME>" + std::string(260, 'n') +
                          "</FILENAME></FILE></FILES></SETUP>";
  ASSERT_TRUE(WriteAll(dir_ / "long.xml", long_name));
  ASSERT_EQ(d.LoadSetupFile((dir_ / "long.xml").c_str()), 0);
  EXPECT_NE(LastError().find("FILENAME"), std::string::npos) << LastError();
  EXPECT_EQ(d.GetFileCount(), 2);
  EXPECT_EQ(d.GetRegistryCount(), 1);
  EXPECT_EQ(d.GetReservedWordCount(), 1);
  char value[1024];
  ASSERT_EQ(d.GetElementField("MAINVERSION", value), 1);
  EXPECT_STREQ(value, "2.1.0.7");
  // No success clears the text.
  ASSERT_EQ(d.SaveSetupFile((dir_ / "ok.xml").c_str()), 1);
  EXPECT_NE(LastError().find("FILENAME"), std::string::npos);
}

// The save's intermediate copies of a document in the temporary folder.
int SaveTemporaries() {
  char folder[MAX_PATH + 1] = "";
  GetTempPathA(sizeof folder, folder);
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((std::string(folder) + "lrx*.tmp").c_str(), &found);
  int n = 0;
  for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &found) != 0) ++n;
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
  return n;
}

// Points the process's temporary folder (TMP, TEMP) at a folder of its own for
// its life, so that saves of tests running beside it cannot be counted.
class OwnTemporaryFolder {
 public:
  explicit OwnTemporaryFolder(const std::string& folder) {
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"TMP", "TEMP"}) {
      char old[MAX_PATH + 1] = "";
      saved_.emplace_back(name, GetEnvironmentVariableA(name, old, sizeof old) ? old : "");
      SetEnvironmentVariableA(name, folder.c_str());
    }
  }
  ~OwnTemporaryFolder() {
    for (const auto& [name, value] : saved_)
      SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
  }

 private:
  std::vector<std::pair<const char*, std::string>> saved_;
};

TEST_F(LorixTest, SaveFailuresLeaveTheModelAndNoTemporaryFile) {
  Lorix& d = Dll();
  FillEveryKind();
  OwnTemporaryFolder own_temporaries(dir_ / "temporary");
  const int temporaries = SaveTemporaries();
  ASSERT_EQ(temporaries, 0);
  ASSERT_TRUE(DeleteFileA("indent.xsl"));
  ASSERT_EQ(d.SaveSetupFile((dir_ / "x.xml").c_str()), 0);
  EXPECT_EQ(LastError(), "XML indent change fail");
  // No fixed-name copy in the current folder, and none left behind.
  EXPECT_FALSE(Exists(dir_ / "temp.xml"));
  EXPECT_EQ(SaveTemporaries(), temporaries);
  EXPECT_FALSE(Exists(dir_ / "x.xml"));
  EXPECT_EQ(d.GetFileCount(), 2);
  ASSERT_TRUE(CopyFileA(WinPath(INDENT_XSL).c_str(), (dir_ / "indent.xsl").c_str(), FALSE));
  ASSERT_EQ(d.SaveSetupFile((dir_ / "no such folder\\x.xml").c_str()), 0);
  EXPECT_EQ(LastError(), "XML indent change fail");
  ASSERT_EQ(d.SaveSetupFile((dir_ / "x.xml").c_str()), 1);
  EXPECT_EQ(SaveTemporaries(), temporaries);
  // An element name XML does not allow cannot be built.
  ASSERT_EQ(d.SetElementField("1 bad name", "v"), 4);
  ASSERT_EQ(d.SaveSetupFile((dir_ / "y.xml").c_str()), 0);
  EXPECT_EQ(LastError(), "XML node create error");
}

TEST_F(LorixTest, ReservedWordsAreWrittenInByteOrderWithoutRealTexts) {
  Lorix& d = Dll();
  EXPECT_EQ(d.SetReservedWord("<WIN>", "windows", "C:\\Windows"), 1);
  EXPECT_EQ(d.SetReservedWord("<PF>", "program files", "C:\\Program Files"), 2);
  EXPECT_EQ(d.SetReservedWord("<PF>", "again", "D:\\"), 2);
  EXPECT_EQ(d.SetReservedWord("<A>", "a", "AAA"), 3);
  char out[1024];
  d.SetupPathToRealPath("<PF>\\x\\<WIN>\\<A>", out);
  EXPECT_STREQ(out, "C:\\Program Files\\x\\C:\\Windows\\AAA");
  ASSERT_EQ(d.SaveSetupFile((dir_ / "r.xml").c_str()), 1) << LastError();
  std::string text = ReadAll(dir_ / "r.xml");
  std::size_t a = text.find("&lt;A&gt;"), pf = text.find("&lt;PF&gt;"),
              win = text.find("&lt;WIN&gt;");
  ASSERT_NE(win, std::string::npos) << text;
  EXPECT_LT(a, pf);
  EXPECT_LT(pf, win);
  EXPECT_EQ(text.find("C:\\Windows"), std::string::npos);
  EXPECT_EQ(text.find("again"), std::string::npos);
  // After a load the words have no real texts and vanish from paths.
  ASSERT_EQ(d.LoadSetupFile((dir_ / "r.xml").c_str()), 1);
  d.SetupPathToRealPath("<PF>\\x\\<WIN>\\y", out);
  EXPECT_STREQ(out, "\\x\\\\y");
}

TEST_F(LorixTest, GetElementFieldAddsAnEmptyFieldThatIsSaved) {
  Lorix& d = Dll();
  char value[1024] = "x";
  ASSERT_EQ(d.GetElementField("NEWFIELD", value), 1);
  EXPECT_STREQ(value, "");
  // A name no element could carry is read as empty but never added.
  std::strcpy(value, "x");
  ASSERT_EQ(d.GetElementField("1 bad name", value), 1);
  EXPECT_STREQ(value, "");
  EXPECT_EQ(d.SetElementField("OTHER", "v"), 2);
  ASSERT_EQ(d.SaveSetupFile((dir_ / "f.xml").c_str()), 1);
  std::string text = ReadAll(dir_ / "f.xml");
  EXPECT_TRUE(text.find("<NEWFIELD/>") != std::string::npos ||
              text.find("<NEWFIELD></NEWFIELD>") != std::string::npos)
      << text;
}

TEST_F(LorixTest, IndexesOutOfRangeAndOverLongTextsChangeNothing) {
  Lorix& d = Dll();
  FillEveryKind();
  char s[7][1024];
  int n[6] = {42, 42, 42, 42, 42, 42};
  strcpy(s[0], "untouched");
  EXPECT_EQ(d.GetFileInfo(2, s[0], s[1], s[2], s[3], s[4], s[5], s[6], &n[0], &n[1], &n[2], &n[3],
                          &n[4], &n[5]),
            0);
  EXPECT_EQ(d.GetFileInfo(-1, s[0], s[1], s[2], s[3], s[4], s[5], s[6], &n[0], &n[1], &n[2], &n[3],
                          &n[4], &n[5]),
            0);
  EXPECT_STREQ(s[0], "untouched");
  EXPECT_EQ(n[0], 42);
  int t = 42;
  EXPECT_EQ(d.GetRegistryInfo(1, s[0], s[1], &t, s[2], &n[0]), 0);
  EXPECT_EQ(d.GetPreKillProcess(1, s[0], s[1]), 0);
  EXPECT_EQ(d.GetUpKillProcess(-1, s[0], s[1]), 0);
  EXPECT_EQ(d.GetDeleteExecute(1, s[0]), 0);
  EXPECT_STREQ(s[0], "untouched");
  EXPECT_EQ(t, 42);
  // Over-long texts are refused, never written past a field.
  std::string v128(128, '1');
  EXPECT_EQ(d.SetFileInfo("s", "n", "f", v128.c_str(), "", "", "", 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(d.SetRegistryInfo(std::string(1024, 'p').c_str(), "k", 1, "v", 0), 0);
  EXPECT_EQ(d.SetPreKillProcess("c", std::string(1024, 't').c_str()), 0);
  EXPECT_EQ(d.SetPreExecute(std::string(2048, 'c').c_str()), 0);
  EXPECT_EQ(d.SetElementField("BIG", std::string(1024, 'v').c_str()), 0);
  EXPECT_EQ(d.GetFileCount(), 2);
  EXPECT_EQ(d.GetPreKillProcessCount(), 1);
  EXPECT_EQ(d.GetUpKillProcessCount(), 1);
  EXPECT_EQ(d.GetPreExecuteCount(), 1);
}

TEST_F(LorixTest, TargetFileVersionTexts) {
  Lorix& d = Dll();
  char v[128];
  ASSERT_EQ(d.GetTargetFileVersion(WinPath(FIXTURE_APP).c_str(), v), 1);
  EXPECT_STREQ(v, "1.2.0.5");
  // No version resource: the UTC last-write time.
  std::string plain = dir_ / "plain.txt";
  ASSERT_TRUE(WriteAll(plain, "x"));
  HANDLE h = CreateFileA(plain.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SYSTEMTIME st = {2016, 7, 0, 14, 2, 0, 5, 0};
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
  CloseHandle(h);
  ASSERT_EQ(d.GetTargetFileVersion(plain.c_str(), v), 1);
  EXPECT_STREQ(v, "T.20160714.020005.0");
  // An empty FileVersion falls back to the time with result 0.
  EXPECT_EQ(d.GetTargetFileVersion(WinPath(FIXTURE_EMPTY_VERSION).c_str(), v), 0);
  EXPECT_EQ(std::string(v).rfind("T.", 0), 0u) << v;
  EXPECT_EQ(d.GetTargetFileVersion((dir_ / "missing.dll").c_str(), v), 0);
  EXPECT_STREQ(v, "");
}

TEST_F(LorixTest, ChangeInstallExeVersionRewritesACopyOfARealProgram) {
  Lorix& d = Dll();
  EXPECT_EQ(d.ChangeInstallExeVersion(nullptr, 1, 2, 3, 4), 0) << "no installer program yet";
  ASSERT_TRUE(CreateDirectoryA((dir_ / "Release").c_str(), nullptr));
  std::string exe = dir_ / "Release\\Setup.exe";
  ASSERT_TRUE(CopyFileA(WinPath(FIXTURE_APP).c_str(), exe.c_str(), FALSE));
  // Longer than the old "1, 2, 0, 5": the block is rebuilt, not overrun.
  ASSERT_EQ(d.ChangeInstallExeVersion("ignored", 30, 100, 2000, 40000), 1);
  char v[128];
  ASSERT_EQ(d.GetTargetFileVersion(exe.c_str(), v), 1);
  EXPECT_STREQ(v, "30.100.2000.40000");
  ASSERT_EQ(d.ChangeInstallExeVersion(nullptr, 1, 0, 0, 9), 1);
  ASSERT_EQ(d.GetTargetFileVersion(exe.c_str(), v), 1);
  EXPECT_STREQ(v, "1.0.0.9");
  // The program still runs.
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::string line = "\"" + exe + "\"";
  ASSERT_TRUE(
      CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  EXPECT_EQ(code, 0u);
}

std::string WithSlash(std::string s) { return s.empty() || s.back() == '\\' ? s : s + "\\"; }

TEST_F(LorixTest, SpecialFoldersAndVersionCodeUnderWine) {
  Lorix& d = Dll();
  char out[260];
  char windows[MAX_PATH], system[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  GetSystemDirectoryA(system, MAX_PATH);
  EXPECT_NE(d.GetSpcialDirectoryInCurrentSystem(2, 0, out, -1), 0);
  EXPECT_TRUE(lstrcmpiA(out, WithSlash(windows).c_str()) == 0) << out;
  EXPECT_NE(d.GetSpcialDirectoryInCurrentSystem(0, 0, out, -1), 0);
  EXPECT_TRUE(lstrcmpiA(out, WithSlash(system).c_str()) == 0) << out;
  EXPECT_NE(d.GetSpcialDirectoryInCurrentSystem(4, 0, out, -1), 0);
  EXPECT_EQ(std::string(out), std::string(windows, 2) + "\\");
  EXPECT_NE(d.GetSpcialDirectoryInCurrentSystem(5, 0, out, -1), 0);
  EXPECT_TRUE(lstrcmpiA(out, "C:\\Program Files\\") == 0) << out;
  // Wine's 64-bit prefix: version code above 9, so types 7 and 8 give the 32-bit folders.
  EXPECT_NE(d.GetSpcialDirectoryInCurrentSystem(8, 0, out, -1), 0);
  EXPECT_TRUE(lstrcmpiA(out, "C:\\Program Files (x86)\\") == 0) << out;
  EXPECT_NE(d.GetSpcialDirectoryInCurrentSystem(8, 0, out, 1), 0);
  EXPECT_TRUE(lstrcmpiA(out, "C:\\Program Files\\") == 0) << out;
  EXPECT_NE(d.GetSpcialDirectoryInCurrentSystem(7, 0, out, -1), 0);
  EXPECT_TRUE(lstrcmpiA(out, (WithSlash(windows) + "syswow64\\").c_str()) == 0) << out;
  EXPECT_NE(d.GetSpcialDirectoryInCurrentSystem(7, 0, out, 7), 0);
  EXPECT_TRUE(lstrcmpiA(out, WithSlash(system).c_str()) == 0) << out;
  EXPECT_NE(d.GetSpcialDirectoryInCurrentSystem(6, 0, out, -1), 0);
  EXPECT_EQ(out[strlen(out) - 1], '\\');
  EXPECT_NE(d.GetSpcialDirectoryInCurrentSystem(1, 1, out, -1), 0);
  EXPECT_EQ(d.GetSpcialDirectoryInCurrentSystem(9, 0, out, -1), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(d.GetSpcialDirectoryInCurrentSystem(-1, 0, out, -1), 0);

  int written = d.GetTempInstallPath(out);
  EXPECT_EQ(written, static_cast<int>(strlen(out)));
  EXPECT_TRUE(lstrcmpiA(out, (WithSlash(windows) + "INSTALLTEMP\\").c_str()) == 0) << out;
  written = d.GetProtectedFilePath(out, "abc");
  EXPECT_EQ(written, static_cast<int>(strlen(out)));
  EXPECT_TRUE(lstrcmpiA(out, (WithSlash(windows) + "abc\\").c_str()) == 0) << out;
}

DWORD WINAPI LoadWithoutCom(void* param) {
  const std::string* path = static_cast<const std::string*>(param);
  return static_cast<DWORD>(Dll().LoadSetupFile(path->c_str()));
}

// COM belongs to the thread that loaded the library; another thread must set it
// up itself, or the document cannot be created.
TEST_F(LorixTest, ThreadsWithoutComCannotCreateTheDocument) {
  Lorix& d = Dll();
  ASSERT_EQ(d.SaveSetupFile((dir_ / "t.xml").c_str()), 1) << LastError();
  std::string path = dir_ / "t.xml";
  HANDLE thread = CreateThread(nullptr, 0, LoadWithoutCom, &path, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
  DWORD result = 2;
  GetExitCodeThread(thread, &result);
  CloseHandle(thread);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(LastError(), "XML Instance create error");
  EXPECT_EQ(d.LoadSetupFile(path.c_str()), 1);
}

// Every entry of a large manifest comes back from the file as it went in.
TEST_F(LorixTest, LargeManifestRoundTripsIdentically) {
  Lorix& d = Dll();
  ASSERT_TRUE(setup_test::FillLargeManifest(d));
  ASSERT_EQ(d.SaveSetupFile((dir_ / "large.xml").c_str()), 1) << LastError();
  d.ClearInMemory();
  ASSERT_EQ(d.LoadSetupFile((dir_ / "large.xml").c_str()), 1) << LastError();
  ASSERT_EQ(d.GetFileCount(), setup_test::kLargeFiles);
  ASSERT_EQ(d.GetRegistryCount(), setup_test::kLargeRegistry);
  ASSERT_EQ(d.GetPreExecuteCount() + d.GetPostExecuteCount() + d.GetUpdateExecuteCount() +
                d.GetDeleteExecuteCount(),
            4 * setup_test::kLargeCommandsPerList);
  // Compare against a second model built the same way, field by field.
  struct File {
    char s[7][1024];
    int n[6];
  };
  std::vector<File> loaded(setup_test::kLargeFiles);
  for (int i = 0; i < setup_test::kLargeFiles; ++i) {
    File& f = loaded[i];
    ASSERT_EQ(d.GetFileInfo(i, f.s[0], f.s[1], f.s[2], f.s[3], f.s[4], f.s[5], f.s[6], &f.n[0],
                            &f.n[1], &f.n[2], &f.n[3], &f.n[4], &f.n[5]),
              1);
  }
  std::vector<std::string> registry;
  for (int i = 0; i < setup_test::kLargeRegistry; ++i) {
    char p[1024], k[1024], v[1024];
    int t = 0, a = 0;
    ASSERT_EQ(d.GetRegistryInfo(i, p, k, &t, v, &a), 1);
    registry.push_back(std::string(p) + "|" + k + "|" + std::to_string(t) + "|" + v + "|" +
                       std::to_string(a));
  }
  std::string first_save = ReadAll(dir_ / "large.xml");
  ASSERT_TRUE(setup_test::FillLargeManifest(d));
  for (int i = 0; i < setup_test::kLargeFiles; ++i) {
    File f;
    ASSERT_EQ(d.GetFileInfo(i, f.s[0], f.s[1], f.s[2], f.s[3], f.s[4], f.s[5], f.s[6], &f.n[0],
                            &f.n[1], &f.n[2], &f.n[3], &f.n[4], &f.n[5]),
              1);
    for (int k = 0; k < 7; ++k) ASSERT_STREQ(f.s[k], loaded[i].s[k]) << i << " " << k;
    for (int k = 0; k < 6; ++k) {
      // Flags come back as 0/1; numbers as they were.
      int expected = (k == 1 || k == 4 || k == 5) ? (f.n[k] != 0) : f.n[k];
      ASSERT_EQ(loaded[i].n[k], expected) << i << " " << k;
    }
  }
  for (int i = 0; i < setup_test::kLargeRegistry; ++i) {
    char p[1024], k[1024], v[1024];
    int t = 0, a = 0;
    ASSERT_EQ(d.GetRegistryInfo(i, p, k, &t, v, &a), 1);
    ASSERT_EQ(registry[i], std::string(p) + "|" + k + "|" + std::to_string(t) + "|" + v + "|" +
                               std::to_string(a));
  }
  char cmd[2048];
  ASSERT_EQ(d.GetDeleteExecute(49, cmd), 1);
  EXPECT_STREQ(cmd, "regsvr32 /u /s 파일00049.dll");
  // Saving the rebuilt model gives the same bytes.
  ASSERT_EQ(d.SaveSetupFile((dir_ / "large2.xml").c_str()), 1) << LastError();
  EXPECT_EQ(ReadAll(dir_ / "large2.xml"), first_save);
}

std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// A document type is refused before any DOM sees it, whatever the encoding, so
// entities that would expand a billion times cost nothing; files the DOM decodes
// itself still load.
TEST_F(LorixTest, DocumentTypesAreRefusedQuicklyOtherEncodingsStillLoad) {
  Lorix& d = Dll();
  std::string bomb = setup_test::BillionLaughs();
  std::string good = "<SETUP><CONFIG><LANG>1042</LANG></CONFIG></SETUP>";
  ASSERT_TRUE(WriteAll(dir_ / "good.xml", good));
  ASSERT_EQ(d.LoadSetupFile((dir_ / "good.xml").c_str()), 1);
  for (const std::string& bytes : {bomb, Utf16(bomb)}) {
    ASSERT_TRUE(WriteAll(dir_ / "bomb.xml", bytes));
    DWORD start = GetTickCount();
    EXPECT_EQ(d.LoadSetupFile((dir_ / "bomb.xml").c_str()), 0);
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(LastError(), "XML load error 13 : document type declaration refused");
    char value[1024] = "";
    d.GetElementField("LANG", value);
    EXPECT_STREQ(value, "1042") << "the model is kept";
  }
  for (const std::string& bytes :
       {Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + good),
        std::string("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><SETUP><CONFIG>"
                    "<LANG>7</LANG><X>\xE9</X></CONFIG></SETUP>")}) {
    ASSERT_TRUE(WriteAll(dir_ / "other.xml", bytes));
    d.ClearInMemory();
    ASSERT_EQ(d.LoadSetupFile((dir_ / "other.xml").c_str()), 1) << LastError();
    char value[1024] = "";
    d.GetElementField("LANG", value);
    EXPECT_TRUE(std::strcmp(value, "1042") == 0 || std::strcmp(value, "7") == 0) << value;
  }
}

}  // namespace
