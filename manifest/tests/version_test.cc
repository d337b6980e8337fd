#include <gtest/gtest.h>

#include "manifest/core/setup_root.h"
#include "manifest/core/version_block.h"
#include "manifest/core/version_text.h"

namespace lorix {
namespace {

TEST(VersionText, CommasBecomeFullStopsAndSpacesGo) {
  EXPECT_EQ(NormalizeVersionText("1, 2, 0, 5"), "1.2.0.5");
  EXPECT_EQ(NormalizeVersionText("1.0.1.0"), "1.0.1.0");
  EXPECT_EQ(NormalizeVersionText(""), "");
  EXPECT_EQ(TimestampVersionText(2016, 7, 14, 2, 0, 5), "T.20160714.020005.0");
  EXPECT_EQ(DottedVersion(1, 2, 0, -5), "1.2.0.-5");
}

TEST(SetupRoot, LastErrorIsBoundedTo512Bytes) {
  CSetupRoot root;
  EXPECT_STREQ(root.last_error(), "");
  root.SetLastErrorText("XML load error %d", 2);
  EXPECT_STREQ(root.last_error(), "XML load error 2");
  root.SetLastErrorText("%s", std::string(1000, 'x').c_str());
  EXPECT_EQ(std::string(root.last_error()).size(), 511u);
}

// A small version block as resource compilers write it.
void Put16(std::vector<uint8_t>* b, uint16_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
VersionNode Text(const char* key, const char* value) {
  VersionNode n;
  n.key = AsciiToU16(key);
  n.type = 1;
  std::u16string v = AsciiToU16(value);
  n.value_length = static_cast<uint16_t>(v.size() + 1);
  for (char16_t c : v) Put16(&n.value, c);
  Put16(&n.value, 0);
  return n;
}
VersionNode SampleBlock() {
  VersionNode root;
  root.key = u"VS_VERSION_INFO";
  root.value.assign(52, 0xAB);
  root.value_length = 52;
  VersionNode sfi;
  sfi.key = u"StringFileInfo";
  sfi.type = 1;
  VersionNode table;
  table.key = u"041204b0";
  table.type = 1;
  table.children.push_back(Text("CompanyName", "Corvanta"));
  table.children.push_back(Text("FileVersion", "1, 0, 1, 0"));
  table.children.push_back(Text("ProductVersion", "1, 0"));
  sfi.children.push_back(table);
  VersionNode vfi;
  vfi.key = u"VarFileInfo";
  vfi.type = 1;
  VersionNode tr;
  tr.key = u"Translation";
  Put16(&tr.value, 0x0412);
  Put16(&tr.value, 1200);
  tr.value_length = 4;
  vfi.children.push_back(tr);
  root.children.push_back(sfi);
  root.children.push_back(vfi);
  return root;
}

std::string Narrow(const std::vector<uint8_t>& v) {
  std::string s;
  for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
    if (v[i] == 0 && v[i + 1] == 0) break;
    s.push_back(static_cast<char>(v[i]));
  }
  return s;
}

TEST(VersionBlock, RoundTripsAndFindsTheTranslation) {
  std::vector<uint8_t> bytes = SerializeVersionBlock(SampleBlock());
  EXPECT_EQ(bytes.size() % 4, 0u);
  VersionNode parsed;
  ASSERT_TRUE(ParseVersionBlock(bytes.data(), bytes.size(), &parsed));
  EXPECT_EQ(SerializeVersionBlock(parsed), bytes);
  uint16_t lang = 0, cp = 0;
  ASSERT_TRUE(FirstTranslation(parsed, &lang, &cp));
  EXPECT_EQ(lang, 0x0412);
  EXPECT_EQ(cp, 1200);
  EXPECT_EQ(TranslationTableName(lang, cp), u"041204b0");
  const VersionNode* fv = FindVersionString(parsed, u"041204B0", u"FileVersion");
  ASSERT_NE(fv, nullptr);
  EXPECT_EQ(Narrow(fv->value), "1, 0, 1, 0");
}

TEST(VersionBlock, LongerStringsRebuildTheBlock) {
  VersionNode root = SampleBlock();
  ASSERT_TRUE(SetVersionString(&root, u"041204b0", u"ProductVersion", u"12345.67890.12345.67890"));
  ASSERT_TRUE(SetVersionString(&root, u"041204b0", u"FileVersion", u"1.2.0.5"));
  EXPECT_FALSE(SetVersionString(&root, u"040904b0", u"FileVersion", u"1"));
  EXPECT_FALSE(SetVersionString(&root, u"041204b0", u"Missing", u"1"));
  std::vector<uint8_t> bytes = SerializeVersionBlock(root);
  VersionNode parsed;
  ASSERT_TRUE(ParseVersionBlock(bytes.data(), bytes.size(), &parsed));
  EXPECT_EQ(Narrow(FindVersionString(parsed, u"041204b0", u"ProductVersion")->value),
            "12345.67890.12345.67890");
  EXPECT_EQ(Narrow(FindVersionString(parsed, u"041204b0", u"FileVersion")->value), "1.2.0.5");
  EXPECT_EQ(Narrow(FindVersionString(parsed, u"041204b0", u"CompanyName")->value), "Corvanta");
  EXPECT_EQ(parsed.value, std::vector<uint8_t>(52, 0xAB));  // fixed information untouched
}

TEST(VersionBlock, EveryCutOfABlockFailsCleanly) {
  std::vector<uint8_t> bytes = SerializeVersionBlock(SampleBlock());
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    VersionNode parsed;
    EXPECT_FALSE(ParseVersionBlock(cut.data(), cut.size(), &parsed)) << n;
  }
  // Lengths that point outside their parent.
  std::vector<uint8_t> bad = bytes;
  bad[100] = 0xFF;
  bad[101] = 0x7F;
  VersionNode parsed;
  ParseVersionBlock(bad.data(), bad.size(), &parsed);  // must not read out of bounds
}

}  // namespace
}  // namespace lorix
