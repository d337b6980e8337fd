#include "agent/core/hosts_folder_ops.h"

#include <gtest/gtest.h>

#include <string>

#include "agent/tests/sample_targets.h"
#include "common/tests/test_folder.h"

#ifdef _WIN32
#include "common/win/platform.h"
#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestra {
namespace {

const std::string kOriginal =
    "# 한글 주석\r\n127.0.0.1\tlocalhost\r\n6.6.6.6 www.bank.co.kr\r\n::1 localhost\r\n";
const std::string kRepaired = "# 한글 주석\r\n127.0.0.1\tlocalhost\r\n::1 localhost\r\n";

// The repair on a real folder, through the same held-folder layer the agent uses.
class HeldFolderRepairTest : public tessal::TestFolder {
 protected:
  void SetUp() override {
    TestFolder::SetUp();
    for (const char* name :
         {"hosts", "hosts_backup", "hosts_backup.1", "hosts_kestra.tmp", "victim"})
      Path(name);
    folder_ = tessal::SafeFolder::Hold(dir_);
    ASSERT_TRUE(folder_.valid());
  }
  void TearDown() override {
    folder_ = tessal::SafeFolder();
    TestFolder::TearDown();
  }
  std::string In(const std::string& name) { return dir_ + tessal::kPathSeparator + name; }
  std::string Content(const std::string& name) {
    std::string text;
    return tessal::ReadWholeFile(In(name), &text, 4096) ? text : "<missing>";
  }
  HostsRepairOutcome Repair() {
    static const ProtectedHosts hosts({SampleBank()});
    HeldFolderHostsOps ops(folder_);
    return RepairHostsFile(ops, hosts);
  }
  void SetReadOnly(bool read_only) {
#ifdef _WIN32
    SetFileAttributesA(In("hosts").c_str(),
                       read_only ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
    chmod(In("hosts").c_str(), read_only ? 0444 : 0644);
#endif
  }
#ifdef _WIN32
  // Administrators and the system may change it, everyone may read it; nothing inherited.
  static constexpr char kRights[] = "D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;WD)";
  bool SetAccessRights(const std::string& name, const char* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr))
      return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
    std::string path = In(name);
    bool set =
        SetNamedSecurityInfoA(path.data(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
    LocalFree(sd);
    return set;
  }
  std::string AccessRights(const std::string& name) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::string path = In(name);
    if (GetNamedSecurityInfoA(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &sd) != ERROR_SUCCESS) {
      return "<unreadable>";
    }
    char* text = nullptr;
    std::string out = "<no text>";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(
            sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
      out = text;
      LocalFree(text);
    }
    LocalFree(sd);
    return out;
  }
#endif
  tessal::SafeFolder folder_;
};

TEST_F(HeldFolderRepairTest, BacksUpAndReplacesKeepingTheFilesAttributes) {
  ASSERT_TRUE(tessal::WriteWholeFile(In("hosts"), kOriginal));
#ifdef _WIN32
  ASSERT_TRUE(
      SetFileAttributesA(In("hosts").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  // Wine answers with rights made from the Unix mode whatever was set; Windows keeps them.
  ASSERT_TRUE(SetAccessRights("hosts", kRights));
  std::string rights = AccessRights("hosts");
#else
  ASSERT_EQ(chmod(In("hosts").c_str(), 0640), 0);
#endif
  HostsRepairOutcome outcome = Repair();
  EXPECT_EQ(outcome.result, HostsRepair::kRepaired);
  EXPECT_EQ(outcome.backup_name, "hosts_backup");
  EXPECT_EQ(Content("hosts"), kRepaired);
  EXPECT_EQ(Content("hosts_backup"), kOriginal);
  EXPECT_FALSE(tessal::PathExists(In("hosts_kestra.tmp")));
#ifdef _WIN32
  EXPECT_TRUE(GetFileAttributesA(In("hosts").c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(AccessRights("hosts"), rights);
#else
  struct stat st;
  ASSERT_EQ(stat(In("hosts").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
#endif
  // A second tampering keeps the first backup.
  ASSERT_TRUE(tessal::WriteWholeFile(In("hosts"), kRepaired + "7.7.7.7 bank.co.kr\r\n"));
  EXPECT_EQ(Repair().backup_name, "hosts_backup.1");
  EXPECT_EQ(Content("hosts"), kRepaired);
  EXPECT_EQ(Content("hosts_backup"), kOriginal);
}

TEST_F(HeldFolderRepairTest, AReadOnlyFileIsLeftAsItIsAndSavedOnce) {
  ASSERT_TRUE(tessal::WriteWholeFile(In("hosts"), kOriginal));
  SetReadOnly(true);
  EXPECT_EQ(Repair().result, HostsRepair::kLocked);
  EXPECT_EQ(Repair().result, HostsRepair::kLocked);
  EXPECT_EQ(Content("hosts"), kOriginal);
  EXPECT_FALSE(tessal::PathExists(In("hosts_backup.1")));
  EXPECT_FALSE(tessal::PathExists(In("hosts_kestra.tmp")));
  SetReadOnly(false);
  EXPECT_EQ(Repair().result, HostsRepair::kRepaired);
  EXPECT_EQ(Content("hosts"), kRepaired);
}

#ifndef _WIN32
// Wine follows Unix links transparently, so planted links are tried here.
TEST_F(HeldFolderRepairTest, PlantedLinksRedirectNothing) {
  ASSERT_TRUE(tessal::WriteWholeFile(In("hosts"), kOriginal));
  ASSERT_TRUE(tessal::WriteWholeFile(In("victim"), "precious"));
  ASSERT_EQ(symlink(In("victim").c_str(), In("hosts_backup").c_str()), 0);
  ASSERT_EQ(symlink(In("victim").c_str(), In("hosts_kestra.tmp").c_str()), 0);
  EXPECT_EQ(Repair().result, HostsRepair::kWriteFailed)
      << "the planted temporary name is never written through";
  EXPECT_EQ(Content("hosts_backup.1"), kOriginal)
      << "a link takes its backup name but nothing is written through it";
  EXPECT_EQ(Content("victim"), "precious");
  EXPECT_EQ(Content("hosts"), kOriginal);
  unlink(In("hosts_kestra.tmp").c_str());
  EXPECT_EQ(Repair().result, HostsRepair::kRepaired);
  EXPECT_EQ(Content("victim"), "precious");
}
#endif

}  // namespace
}  // namespace kestra
