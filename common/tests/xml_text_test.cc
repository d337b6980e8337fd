#include "common/core/xml_text.h"

#include <gtest/gtest.h>

namespace tessal {
namespace {

TEST(XmlText, FindsTheDeclaredEncoding) {
  EXPECT_EQ(DeclaredEncoding("<?xml version=\"1.0\" encoding=\"euc-kr\"?><a/>"), "euc-kr");
  EXPECT_EQ(DeclaredEncoding("<?xml version='1.0' encoding = 'UTF-8' ?><a/>"), "UTF-8");
  EXPECT_EQ(DeclaredEncoding("<?xml version=\"1.0\"?><a encoding=\"x\"/>"), "");
  EXPECT_EQ(DeclaredEncoding("<a/>"), "");
  EXPECT_EQ(DeclaredEncoding("<?xml-stylesheet href=\"a\"?>"), "");
  EXPECT_TRUE(IsCp949EncodingName("EUC-KR"));
  EXPECT_TRUE(IsCp949EncodingName("ks_c_5601-1987"));
  EXPECT_FALSE(IsCp949EncodingName("utf-8"));
}

TEST(XmlText, PreparesEucKrForTheDom) {
  XmlFileText t =
      PrepareXmlForDom("<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<S>\xC7\xD1</S>");
  EXPECT_EQ(t.encoding, XmlFileEncoding::kCp949);
  EXPECT_EQ(t.body, "<?xml version=\"1.0\"?>\r\n<S>\xC7\xD1</S>");
  t = PrepareXmlForDom("<?xml version=\"1.0\" encoding=\"euc-kr\" standalone=\"yes\"?><S/>");
  EXPECT_EQ(t.body, "<?xml version=\"1.0\" standalone=\"yes\"?><S/>");
}

TEST(XmlText, Utf8AndOthers) {
  XmlFileText t = PrepareXmlForDom("\xEF\xBB\xBF<S/>");
  EXPECT_EQ(t.encoding, XmlFileEncoding::kUtf8);
  EXPECT_EQ(t.body, "<S/>");
  t = PrepareXmlForDom("<?xml version=\"1.0\" encoding=\"UTF-8\"?><S/>");
  EXPECT_EQ(t.encoding, XmlFileEncoding::kUtf8);
  EXPECT_EQ(t.body, "<?xml version=\"1.0\"?><S/>");
  EXPECT_EQ(PrepareXmlForDom("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><S/>").encoding,
            XmlFileEncoding::kOther);
  EXPECT_EQ(PrepareXmlForDom(std::string("\xFF\xFE<\0S\0/\0>\0", 10)).encoding,
            XmlFileEncoding::kUtf16);
  EXPECT_EQ(PrepareXmlForDom("").encoding, XmlFileEncoding::kUtf8);
}

TEST(XmlText, DeclaresTheEncodingOnOutput) {
  EXPECT_EQ(WithDeclaredEncoding("<S/>", "euc-kr"),
            "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<S/>");
  EXPECT_EQ(WithDeclaredEncoding("<?xml version=\"1.0\"?>\r\n<S/>", "euc-kr"),
            "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<S/>");
  EXPECT_EQ(WithDeclaredEncoding("<?xml version=\"1.0\" encoding=\"UTF-16\"?><S/>", "euc-kr"),
            "<?xml version=\"1.0\" encoding=\"euc-kr\"?><S/>");
  EXPECT_EQ(WithDeclaredEncoding("<?xml version='1.0' standalone='yes'?><S/>", "euc-kr"),
            "<?xml version='1.0' encoding=\"euc-kr\" standalone='yes'?><S/>");
}

TEST(XmlText, UnterminatedDeclarationsAreNotDeclarations) {
  EXPECT_EQ(DeclaredEncoding("<?xml version=\"1.0\" encoding=\"euc-kr\""), "");
  EXPECT_EQ(PrepareXmlForDom("<?xml encoding=\"euc-kr").encoding, XmlFileEncoding::kUtf8);
}

// "<!DOCTYPE a>" in each encoding a DOM could read: 8-bit, UTF-16 and UTF-32 in both byte orders.
std::string Encoded(std::string_view ascii, std::size_t unit, bool big_endian) {
  std::string out;
  for (char c : ascii) {
    std::string u(unit, '\0');
    u[big_endian ? unit - 1 : 0] = c;
    out += u;
  }
  return out;
}

TEST(XmlText, ADocumentTypeIsFoundInEveryEncodingAndRefused) {
  const std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY a \"aaaa\">]><l>&a;</l>";
  for (std::size_t unit : {1u, 2u, 4u}) {
    for (bool big_endian : {false, true}) {
      std::string bytes = Encoded(bomb, unit, big_endian);
      EXPECT_TRUE(HasDocumentTypeDeclaration(bytes)) << unit << big_endian;
      XmlFileText t = PrepareXmlForDom(bytes);
      EXPECT_TRUE(t.doctype);
      EXPECT_TRUE(t.body.empty());
    }
  }
  // Escaped in a text, or not the keyword XML knows: an ordinary document.
  for (const char* plain :
       {"<S>&lt;!DOCTYPE x&gt;</S>", "<S><!doctype/></S>", "<S>DOCTYPE</S>", ""}) {
    EXPECT_FALSE(HasDocumentTypeDeclaration(plain)) << plain;
    EXPECT_FALSE(PrepareXmlForDom(plain).doctype) << plain;
  }
}

}  // namespace
}  // namespace tessal
