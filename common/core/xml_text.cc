#include "common/core/xml_text.h"

#include "common/core/ansi_text.h"

namespace tessal {
namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Bounds of the declaration "<?xml ... ?>" at the start of the text.
bool FindDeclaration(std::string_view text, std::size_t* end) {
  if (text.size() < 6 || text.compare(0, 5, "<?xml") != 0 || !IsXmlSpace(text[5])) return false;
  std::size_t close = text.find("?>", 5);
  if (close == std::string_view::npos) return false;
  *end = close + 2;
  return true;
}

// Position of the encoding pseudo-attribute: [attr_begin, attr_end) spans from the
// white space before the name to the closing quote; the value is [value_begin, value_end).
struct EncodingAttr {
  std::size_t attr_begin, attr_end, value_begin, value_end;
};

bool FindEncodingAttr(std::string_view decl, EncodingAttr* a) {
  std::size_t pos = 5;
  while ((pos = decl.find("encoding", pos)) != std::string_view::npos) {
    std::size_t name = pos;
    pos += 8;
    if (!IsXmlSpace(decl[name - 1])) continue;
    std::size_t i = pos;
    while (i < decl.size() && IsXmlSpace(decl[i])) ++i;
    if (i >= decl.size() || decl[i] != '=') continue;
    ++i;
    while (i < decl.size() && IsXmlSpace(decl[i])) ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) continue;
    char quote = decl[i];
    std::size_t close = decl.find(quote, i + 1);
    if (close == std::string_view::npos) return false;
    std::size_t begin = name;
    while (begin > 5 && IsXmlSpace(decl[begin - 1])) --begin;
    *a = {begin, close + 1, i + 1, close};
    return true;
  }
  return false;
}

}  // namespace

bool IsCp949EncodingName(std::string_view name) {
  static const char* const kNames[] = {"euc-kr",      "cseuckr",       "ks_c_5601-1987",
                                       "ks_c_5601",   "korean",        "cp949",
                                       "windows-949", "x-windows-949", "uhc"};
  for (const char* n : kNames) {
    if (EqualsIgnoreCase(name, n)) return true;
  }
  return false;
}

std::string DeclaredEncoding(std::string_view text) {
  std::size_t end = 0;
  if (!FindDeclaration(text, &end)) return std::string();
  EncodingAttr a;
  std::string_view decl = text.substr(0, end);
  if (!FindEncodingAttr(decl, &a)) return std::string();
  return std::string(decl.substr(a.value_begin, a.value_end - a.value_begin));
}

bool HasDocumentTypeDeclaration(std::string_view bytes) {
  constexpr std::string_view kKeyword = "<!DOCTYPE";
  for (std::size_t unit : {1u, 2u, 4u}) {
    for (bool big_endian : {false, true}) {
      if (unit == 1 && big_endian) continue;
      std::string pattern(kKeyword.size() * unit, '\0');
      for (std::size_t i = 0; i < kKeyword.size(); ++i) {
        pattern[i * unit + (big_endian ? unit - 1 : 0)] = kKeyword[i];
      }
      if (bytes.find(pattern) != std::string_view::npos) return true;
    }
  }
  return false;
}

XmlFileText PrepareXmlForDom(std::string_view bytes) {
  XmlFileText out;
  if (HasDocumentTypeDeclaration(bytes)) {
    out.doctype = true;
    return out;
  }
  if (bytes.size() >= 2 &&
      ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    out.encoding = XmlFileEncoding::kUtf16;
    return out;
  }
  bool bom = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  if (bom) bytes.remove_prefix(3);
  std::string encoding = DeclaredEncoding(bytes);
  if (bom || encoding.empty() || EqualsIgnoreCase(encoding, "utf-8")) {
    out.encoding = XmlFileEncoding::kUtf8;
  } else if (IsCp949EncodingName(encoding)) {
    out.encoding = XmlFileEncoding::kCp949;
  } else {
    out.encoding = XmlFileEncoding::kOther;
    return out;
  }
  std::size_t end = 0;
  EncodingAttr a;
  if (FindDeclaration(bytes, &end) && FindEncodingAttr(bytes.substr(0, end), &a)) {
    out.body.reserve(bytes.size());
    out.body.append(bytes.substr(0, a.attr_begin));
    out.body.append(bytes.substr(a.attr_end));
  } else {
    out.body.assign(bytes);
  }
  return out;
}

std::string WithDeclaredEncoding(std::string_view text, std::string_view encoding) {
  std::string out;
  std::size_t end = 0;
  if (!FindDeclaration(text, &end)) {
    out.reserve(text.size() + 64);
    out.append("<?xml version=\"1.0\" encoding=\"").append(encoding).append("\"?>\r\n");
    out.append(text);
    return out;
  }
  std::string_view decl = text.substr(0, end);
  EncodingAttr a;
  out.reserve(text.size() + 32);
  if (FindEncodingAttr(decl, &a)) {
    out.append(text.substr(0, a.value_begin)).append(encoding).append(text.substr(a.value_end));
    return out;
  }
  // No encoding yet: it follows the version pseudo-attribute, which comes first.
  std::size_t insert = end - 2;
  while (insert > 5 && IsXmlSpace(text[insert - 1])) --insert;
  std::size_t version = decl.find("version");
  if (version != std::string_view::npos) {
    std::size_t q = decl.find_first_of("\"'", version);
    if (q != std::string_view::npos) {
      std::size_t q2 = decl.find(decl[q], q + 1);
      if (q2 != std::string_view::npos) insert = q2 + 1;
    }
  }
  out.append(text.substr(0, insert)).append(" encoding=\"").append(encoding).append("\"");
  out.append(text.substr(insert));
  return out;
}

}  // namespace tessal
