// The DLP library stand-in called as the R edition calls it.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/win_harness.h"

namespace {

using SetProofFn = int(__cdecl*)(const unsigned char*);
using StartFn = int(__cdecl*)(int);
using EndFn = int(__cdecl*)();

TEST(DlpStandin, RecordsEachCallWithTheProofInHex) {
  harness::TempFolder folder("dlp_test");
  std::string log = folder / "standin.log";
  ASSERT_TRUE(SetEnvironmentVariableA("TESSAL_STANDIN_LOG", log.c_str()));
  HMODULE lib = LoadLibraryA((harness::StandinFolder() + "\\qvTessalQuenmor.dll").c_str());
  ASSERT_NE(lib, nullptr);
  auto set_proof = reinterpret_cast<SetProofFn>(GetProcAddress(lib, "qvTsl_SetProof"));
  auto start = reinterpret_cast<StartFn>(GetProcAddress(lib, "qvTsl_StartActiveDlp"));
  auto end = reinterpret_cast<EndFn>(GetProcAddress(lib, "qvTsl_EndActiveDlp"));
  ASSERT_TRUE(set_proof && start && end);
  const unsigned char proof[4] = {0xC0, 0x0F, 0xEE, 0x01};
  set_proof(proof);
  start(0);
  end();
  set_proof(nullptr);
  std::string pid = std::to_string(GetCurrentProcessId());
  EXPECT_EQ(harness::ReadFileText(log), "qvTessalQuenmor " + pid + " qvTsl_SetProof C00FEE01\n" +
                                            "qvTessalQuenmor " + pid + " qvTsl_StartActiveDlp 0\n" +
                                            "qvTessalQuenmor " + pid + " qvTsl_EndActiveDlp\n" +
                                            "qvTessalQuenmor " + pid + " qvTsl_SetProof null\n");

  // Without the variable the log lies beside the library.
  SetEnvironmentVariableA("TESSAL_STANDIN_LOG", nullptr);
  std::string beside = harness::StandinFolder() + "\\qvTessalQuenmor.log";
  DeleteFileA(beside.c_str());
  start(5);
  EXPECT_EQ(harness::ReadFileText(beside), "qvTessalQuenmor " + pid + " qvTsl_StartActiveDlp 5\n");
  DeleteFileA(beside.c_str());
  FreeLibrary(lib);
}

}  // namespace
