#include "package/manifest/manifest_text.h"

#include <gtest/gtest.h>

namespace {

TEST(PackageManifest, ListBecomesTheSavedLayout) {
  lorix::InstallModel model;
  std::string error;
  ASSERT_TRUE(package::LoadBuildList(
      "config\tMAINVERSION\t1.0.1.0\r\n\n"
      "file\tGatrell.exe\t1.0.0.2\tC:\\P&Q\\\t5120\n"
      "registry\tHKEY_LOCAL_MACHINE\\SOFTWARE\\OSKANA\\PKINSTALLER\tInstallState\t1\t0\n",
      &model, &error))
      << error;
  EXPECT_EQ(
      package::ManifestText(model),
      "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n<SETUP>\n\t<RESERVE/>\n"
      "\t<CONFIG>\n\t\t<MAINVERSION>1.0.1.0</MAINVERSION>\n\t</CONFIG>\n"
      "\t<FILES>\n\t\t<FILE>\n\t\t\t<SRCPATH>Gatrell.exe</SRCPATH>\n\t\t\t<FILENAME>Gatrell.exe</"
      "FILENAME>\n"
      "\t\t\t<FOLDER>C:\\P&amp;Q\\</FOLDER>\n\t\t\t<VERSION>1.0.0.2</VERSION>\n\t\t\t<TARGETOS></"
      "TARGETOS>\n"
      "\t\t\t<SHORTCUT></SHORTCUT>\n\t\t\t<DISPLAYNAME></DISPLAYNAME>\n\t\t\t<ICONINDEX>0</"
      "ICONINDEX>\n"
      "\t\t\t<SELFREG>0</SELFREG>\n\t\t\t<REALTIME>0</REALTIME>\n\t\t\t<REBOOT>0</REBOOT>\n"
      "\t\t\t<OVERWRITE>1</OVERWRITE>\n\t\t\t<FILESIZE>5120</FILESIZE>\n\t\t</FILE>\n\t</FILES>\n"
      "\t<REGISTRYS>\n\t\t<REGISTRY>\n\t\t\t<REGPATH>HKEY_LOCAL_"
      "MACHINE\\SOFTWARE\\OSKANA\\PKINSTALLER</REGPATH>\n"
      "\t\t\t<TYPE>1</TYPE>\n\t\t\t<KEY>InstallState</KEY>\n\t\t\t<VALUE>0</"
      "VALUE>\n\t\t\t<ACTION>0</ACTION>\n"
      "\t\t</REGISTRY>\n\t</REGISTRYS>\n\t<PREKILLS/>\n\t<UPKILLS/>\n\t<PREEXECUTE/"
      ">\n\t<POSTEXECUTE/>\n"
      "\t<UPDATEEXECUTE/>\n\t<DELETEEXECUTE/>\n</SETUP>\n");
}

TEST(PackageManifest, BadLinesAreRefusedWithTheirNumber) {
  const char* bad[] = {
      "reserve\t\tmeaning",  "file\tA.exe\t1\tC:\\\t-", "file\tA.exe\t1\tC:\\\t99999999999",
      "config\t#comment\tx", "registry\tP\tK\tx\tV",    "unknown\tx",
      "file\tA.exe"};
  for (const char* line : bad) {
    lorix::InstallModel model;
    std::string error;
    EXPECT_FALSE(package::LoadBuildList(std::string("\n") + line, &model, &error)) << line;
    EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
  }
}

TEST(PackageManifest, ReservedWordsAndKoreanTexts) {
  std::string cp949;
  ASSERT_TRUE(package::Utf8ToCp949("reserve\t%INSTALLDIR%\t설치 폴더\n", &cp949));
  EXPECT_EQ(cp949, "reserve\t%INSTALLDIR%\t\xbc\xb3\xc4\xa1 \xc6\xfa\xb4\xf5\n");
  EXPECT_FALSE(package::Utf8ToCp949("\xff", &cp949));
  lorix::InstallModel model;
  std::string error;
  ASSERT_TRUE(package::LoadBuildList(cp949, &model, &error)) << error;
  EXPECT_NE(package::ManifestText(model).find(
                "<RESERVE>\n\t\t<WORD>\n\t\t\t<SHORT>%INSTALLDIR%</SHORT>\n"
                "\t\t\t<MEAN>\xbc\xb3\xc4\xa1 \xc6\xfa\xb4\xf5</MEAN>\n\t\t</WORD>\n\t</RESERVE>"),
            std::string::npos);
}

}  // namespace
