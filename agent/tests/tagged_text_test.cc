#include "agent/core/tagged_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kestra {
namespace {

// Runs the length-first calling pattern the agent uses.
std::string Extract(const char* text, const char* name, int* result = nullptr) {
  int n = ExtractTag(text, name, nullptr, 0);
  std::string buf(static_cast<std::size_t>(n) + 1, '\0');
  int r = ExtractTag(text, name, buf.data(), buf.size());
  if (result) *result = r;
  return std::string(buf.c_str());
}

TEST(ExtractTag, FirstElementOfTheNameWins) {
  EXPECT_EQ(ExtractTag("<a>x</a><a>y</a>", "a", nullptr, 0), 1);
  EXPECT_EQ(Extract("<a>x</a><a>y</a>", "a"), "x");
  EXPECT_EQ(Extract("<CV_SERVER>mgr.example</CV_SERVER><CV_PORT>8080</CV_PORT>", "CV_PORT"),
            "8080");
}

TEST(ExtractTag, EmptyElementLooksMissingByLengthButIsFound) {
  EXPECT_EQ(ExtractTag("<a></a>", "a", nullptr, 0), 0);
  char out[8] = "keep";
  EXPECT_EQ(ExtractTag("<a></a>", "a", out, sizeof(out)), 1);
  EXPECT_STREQ(out, "keep") << "an empty content leaves out unchanged";
  EXPECT_EQ(ExtractTag("<b>1</b>", "a", out, sizeof(out)), 0);
}

TEST(ExtractTag, MissingPiecesGiveZero) {
  char out[8] = "";
  EXPECT_EQ(ExtractTag("<a>open only", "a", nullptr, 0), 0);
  EXPECT_EQ(ExtractTag("<a>open only", "a", out, sizeof(out)), 0);
  EXPECT_EQ(ExtractTag("x</a>", "a", out, sizeof(out)), 0);
  EXPECT_EQ(ExtractTag(nullptr, "a", out, sizeof(out)), 0);
  EXPECT_EQ(ExtractTag("<a>x</a>", nullptr, out, sizeof(out)), 0);
  EXPECT_EQ(ExtractTag("</a><a>x", "a", out, sizeof(out)), 0) << "closing tag must follow";
}

TEST(ExtractTag, NamesAreCaseSensitiveAndCdataIsContent) {
  EXPECT_EQ(ExtractTag("<companyid>BANK1</companyid>", "COMPANYID", nullptr, 0), 0);
  EXPECT_EQ(Extract("<CERT><![CDATA[CN=a,O=b]]></CERT>", "CERT"), "<![CDATA[CN=a,O=b]]>");
}

TEST(ExtractTag, NeverWritesPastTheCallersBuffer) {
  // The caller learned a shorter length than the text now holds.
  char out[4] = {'z', 'z', 'z', 'z'};
  EXPECT_EQ(ExtractTag("<a>abcdef</a>", "a", out, sizeof(out)), 1);
  EXPECT_STREQ(out, "abc");
}

TEST(FindTagFrom, SearchesFromTheGivenPosition) {
  std::string text = "<t>1</t><x>a</x><t>2</t>";
  std::string v;
  std::size_t next = 0;
  ASSERT_TRUE(FindTagFrom(text, "t", 1, &v, &next));
  EXPECT_EQ(v, "2");
  EXPECT_EQ(next, text.size() - 5);
  EXPECT_FALSE(FindTagFrom(text, "x", 12, &v));
}

}  // namespace
}  // namespace kestra
