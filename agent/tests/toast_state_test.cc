#include "agent/core/toast_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace kestra {
namespace {

struct Expected {
  int kind;
  const char* text;
};

// The texts byte for byte. Literals here are encoded as the product's are: CP949 in
// the Windows programs, UTF-8 in the native build of the same sources (pinned by
// the first check below).
constexpr Expected kTexts[] = {{0,
                                "(A1) 주소변경 파밍시도가 의심됩니다.\r\n"
                                "확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
                                "모든 브라우저를 지금 종료하시겠습니까?\r\n"
                                "윈도우 호스트파일은 자동 수정 및 백업됩니다(hosts_backup)"},
                               {1,
                                "(A0) DNS 파싱 해킹이 의심됩니다.\r\n"
                                "확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
                                "모든 브라우저를 지금 종료하시겠습니까?"},
                               {2,
                                "(A2) 접속(인증)변경 파밍시도가 의심됩니다.\r\n"
                                "인터넷 주소서버의 일시적 장애일 수 있으며\r\n"
                                "확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
                                "모든 브라우저를 지금 종료하시겠습니까?\r\n"
                                "윈도우 호스트파일은 자동 수정 및 백업됩니다(hosts_backup)"},
                               {3,
                                "(A3) 내용변경 파밍시도가 의심됩니다.\r\n"
                                "확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
                                "모든 브라우저를 지금 종료하시겠습니까?\r\n"
                                "윈도우 호스트파일은 자동 수정 및 백업됩니다(hosts_backup)"},
                               {4,
                                "(E1) 파밍시도가 의심됩니다.\r\n"
                                "확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
                                "모든 브라우저를 지금 종료하시겠습니까?\r\n"
                                "윈도우 호스트파일은 자동 수정 및 백업됩니다(hosts_backup)"}};

TEST(AlertTexts, EachKindHasItsTextByteForByte) {
#ifdef _WIN32
  ASSERT_EQ(std::string("한"), "\xC7\xD1");
#else
  ASSERT_EQ(std::string("한"), "\xED\x95\x9C");
#endif
  for (const Expected& e : kTexts) {
    SCOPED_TRACE(e.kind);
    const char* text = AlertTextFor(e.kind);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), e.text);
  }
}

TEST(AlertTexts, OpeningCodesAndLineBreaks) {
  EXPECT_EQ(std::string(AlertTextFor(0)).substr(0, 5), "(A1) ");
  EXPECT_EQ(std::string(AlertTextFor(1)).substr(0, 9), "(A0) DNS ");
  EXPECT_EQ(std::string(AlertTextFor(2)).substr(0, 5), "(A2) ");
  EXPECT_EQ(std::string(AlertTextFor(3)).substr(0, 5), "(A3) ");
  // Every line break is CR LF, none a lone LF or CR.
  for (int kind = 0; kind <= 4; ++kind) {
    std::string t = AlertTextFor(kind);
    for (std::size_t i = 0; i < t.size(); ++i) {
      if (t[i] == '\n') {
        EXPECT_TRUE(i > 0 && t[i - 1] == '\r') << kind;
      }
      if (t[i] == '\r') {
        EXPECT_TRUE(i + 1 < t.size() && t[i + 1] == '\n') << kind;
      }
    }
  }
  // The DNS text has three lines and no hosts-file line; the certificate text five.
  auto lines = [](int kind) {
    std::string t = AlertTextFor(kind);
    int n = 1;
    for (std::size_t at = t.find("\r\n"); at != std::string::npos; at = t.find("\r\n", at + 2)) ++n;
    return n;
  };
  EXPECT_EQ(lines(1), 3);
  EXPECT_EQ(lines(2), 5);
  EXPECT_EQ(lines(0), 4);
  EXPECT_EQ(std::string(AlertTextFor(1)).find("hosts_backup"), std::string::npos);
}

TEST(AlertTexts, UnknownKindsGetTheOtherText) {
  for (int kind : {4, 7, -1, 99, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(std::string(AlertTextFor(kind)).substr(0, 5), "(E1) ") << kind;
  }
}

TEST(ToastGeometry, SlideDirectionReversal) {
  EXPECT_EQ(ReverseSlideDirection(1), 2u);
  EXPECT_EQ(ReverseSlideDirection(2), 1u);
  EXPECT_EQ(ReverseSlideDirection(4), 8u);
  EXPECT_EQ(ReverseSlideDirection(8), 4u);
  // No direction yet, or combinations: unchanged.
  for (uint32_t d : {0u, 3u, 5u, 12u, 0x10000u, 0x10004u}) EXPECT_EQ(ReverseSlideDirection(d), d);
  EXPECT_EQ(kToastDismissFlags, 0x10004u);
}

TEST(ToastGeometry, CentringHalvesEachSizeOnItsOwn) {
  // 1024 / 2 - 335 / 2 = 512 - 167 = 345, where (1024 - 335) / 2 would give 344.
  ScreenPoint p = CentreOnScreen(1024, 768, 335, 201);
  EXPECT_EQ(p.x, 345);
  EXPECT_EQ(p.y, 384 - 100);
  // A window larger than the screen goes above and left of it, truncated to zero.
  p = CentreOnScreen(801, 601, 1003, 999);
  EXPECT_EQ(p.x, 400 - 501);
  EXPECT_EQ(p.y, 300 - 499);
}

TEST(ToastState, FreshToastIsIdle) {
  ToastState s;
  EXPECT_FALSE(s.showing());
  EXPECT_EQ(s.mode(), kModeUnset);
  EXPECT_EQ(s.answer(), kAnswerNone);
  EXPECT_STREQ(s.host(), "");
  EXPECT_EQ(s.AlertTextDue(), nullptr);
}

TEST(ToastState, RefusalAsksAndYesTerminates) {
  ToastState s;
  s.Fill(0, "www.bank.example", 1);
  EXPECT_TRUE(s.showing());
  EXPECT_EQ(s.mode(), kModeRefusal);
  EXPECT_STREQ(s.host(), "www.bank.example");
  ASSERT_NE(s.AlertTextDue(), nullptr);
  EXPECT_STREQ(s.AlertTextDue(), AlertTextFor(1));
  EXPECT_TRUE(s.Answer(kAnswerYes));
  EXPECT_TRUE(s.showing());  // until the terminate loop is done
  s.Finish();
  EXPECT_FALSE(s.showing());
  EXPECT_EQ(s.answer(), kAnswerYes);
}

TEST(ToastState, NoOrNoBoxDoesNotTerminate) {
  ToastState s;
  s.Fill(0, "a.example", 7);
  EXPECT_STREQ(s.AlertTextDue(), AlertTextFor(7));
  EXPECT_FALSE(s.Answer(kAnswerNo));
  s.Fill(0, "a.example", 0);
  EXPECT_EQ(s.answer(), kAnswerNone);  // a new notice forgets the last answer
  EXPECT_FALSE(s.Answer(kAnswerNone));
}

TEST(ToastState, NormalSiteAsksNothing) {
  ToastState s;
  s.Fill(1, "ok.example", 0);
  EXPECT_EQ(s.mode(), kModeNormal);
  EXPECT_TRUE(s.showing());
  EXPECT_EQ(s.AlertTextDue(), nullptr);
  s.Connected();
  EXPECT_FALSE(s.showing());
  // A refusal waits for its alert even after "연결하기".
  s.Fill(0, "bad.example", 0);
  s.Connected();
  EXPECT_TRUE(s.showing());
  // Any mark but 1 is a refusal: the user is asked rather than not.
  s.Fill(5, "bad.example", 0);
  EXPECT_EQ(s.mode(), kModeRefusal);
}

TEST(ToastState, LongHostIsCutNotOverrun) {
  ToastState s;
  std::string host(500, 'h');
  s.Fill(0, host, 0);
  EXPECT_EQ(std::strlen(s.host()), ToastState::kHostSize - 1);
  s.Fill(0, std::string(127, 'x'), 0);
  EXPECT_EQ(std::string(s.host()), std::string(127, 'x'));
  // A shorter host leaves nothing of the longer one behind.
  s.Fill(0, "b.example", 0);
  EXPECT_STREQ(s.host(), "b.example");
  // An embedded NUL ends the host.
  s.Fill(0, std::string("c.example\0tail", 14), 0);
  EXPECT_STREQ(s.host(), "c.example");
}

TEST(ConnectUrl, OnlyPlainHostNames) {
  EXPECT_EQ(ConnectUrl("www.bank.example"), "https://www.bank.example");
  EXPECT_EQ(ConnectUrl("my_host-1.example"), "https://my_host-1.example");
  for (const char* bad :
       {"", ".example", "a.example/path", "a.example\" -x", "a b", "a.example:8443",
        "c:\\windows\\system32\\calc.exe", "a.example?q", "\xC7\xD1.example"}) {
    EXPECT_EQ(ConnectUrl(bad), "") << bad;
  }
}

}  // namespace
}  // namespace kestra
