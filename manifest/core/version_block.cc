#include "manifest/core/version_block.h"

#include <cstdio>

namespace lorix {
namespace {

std::size_t Align4(std::size_t n) { return (n + 3) & ~static_cast<std::size_t>(3); }

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool ParseNode(const uint8_t* base, std::size_t begin, std::size_t limit, VersionNode* node,
               std::size_t* next, int depth) {
  if (depth > 16 || begin + 6 > limit) return false;
  const uint8_t* p = base + begin;
  std::size_t length = Word(p);
  uint16_t value_length = Word(p + 2);
  node->type = Word(p + 4);
  node->value_length = value_length;
  if (length < 6 || begin + length > limit) return false;
  std::size_t end = begin + length;
  std::size_t pos = begin + 6;
  node->key.clear();
  for (;;) {
    if (pos + 2 > end) return false;
    char16_t c = static_cast<char16_t>(Word(base + pos));
    pos += 2;
    if (c == 0) break;
    node->key.push_back(c);
  }
  pos = begin + Align4(pos - begin);
  std::size_t value_bytes = node->type == 1 ? std::size_t{value_length} * 2 : value_length;
  if (pos > end) pos = end;
  if (value_bytes > end - pos) value_bytes = end - pos;
  node->value.assign(base + pos, base + pos + value_bytes);
  pos = begin + Align4(pos + value_bytes - begin);
  node->children.clear();
  while (pos + 6 <= end) {
    VersionNode child;
    std::size_t after = 0;
    if (!ParseNode(base, pos, end, &child, &after, depth + 1)) return false;
    node->children.push_back(std::move(child));
    pos = begin + Align4(after - begin);
  }
  *next = end;
  return true;
}

void PutWord(std::vector<uint8_t>* out, std::size_t at, uint16_t v) {
  (*out)[at] = static_cast<uint8_t>(v & 0xFF);
  (*out)[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Pad4(std::vector<uint8_t>* out, std::size_t node_begin) {
  while ((out->size() - node_begin) % 4 != 0) out->push_back(0);
}

void WriteNode(const VersionNode& node, std::vector<uint8_t>* out) {
  std::size_t begin = out->size();
  out->resize(begin + 6, 0);
  PutWord(out, begin + 2, node.value_length);
  PutWord(out, begin + 4, node.type);
  for (char16_t c : node.key) {
    out->push_back(static_cast<uint8_t>(c & 0xFF));
    out->push_back(static_cast<uint8_t>(c >> 8));
  }
  out->push_back(0);
  out->push_back(0);
  Pad4(out, begin);
  out->insert(out->end(), node.value.begin(), node.value.end());
  for (const VersionNode& child : node.children) {
    Pad4(out, begin);
    WriteNode(child, out);
  }
  PutWord(out, begin, static_cast<uint16_t>(out->size() - begin));
}

const VersionNode* Child(const VersionNode& node, std::u16string_view key) {
  for (const VersionNode& c : node.children) {
    if (c.key == key) return &c;
  }
  return nullptr;
}

}  // namespace

bool ParseVersionBlock(const uint8_t* data, std::size_t size, VersionNode* root) {
  if (data == nullptr || size < 6) return false;
  std::size_t length = Word(data);
  if (length > size) return false;
  std::size_t next = 0;
  return ParseNode(data, 0, length, root, &next, 0);
}

std::vector<uint8_t> SerializeVersionBlock(const VersionNode& root) {
  std::vector<uint8_t> out;
  WriteNode(root, &out);
  return out;
}

bool FirstTranslation(const VersionNode& root, uint16_t* language, uint16_t* codepage) {
  const VersionNode* var = Child(root, u"VarFileInfo");
  const VersionNode* tr = var ? Child(*var, u"Translation") : nullptr;
  if (tr == nullptr || tr->value.size() < 4) return false;
  *language = Word(tr->value.data());
  *codepage = Word(tr->value.data() + 2);
  return true;
}

const VersionNode* FindVersionString(const VersionNode& root, std::u16string_view table,
                                     std::u16string_view name) {
  const VersionNode* info = Child(root, u"StringFileInfo");
  const VersionNode* t = nullptr;
  if (info != nullptr) {
    // Table names are hexadecimal: compare them without regard to case.
    for (const VersionNode& c : info->children) {
      if (c.key.size() != table.size()) continue;
      bool same = true;
      for (std::size_t i = 0; i < table.size() && same; ++i) {
        char16_t a = c.key[i], b = table[i];
        if (a >= u'A' && a <= u'F') a = static_cast<char16_t>(a + 32);
        if (b >= u'A' && b <= u'F') b = static_cast<char16_t>(b + 32);
        same = a == b;
      }
      if (same) {
        t = &c;
        break;
      }
    }
  }
  return t ? Child(*t, name) : nullptr;
}

bool SetVersionString(VersionNode* root, std::u16string_view table, std::u16string_view name,
                      std::u16string_view text) {
  VersionNode* entry = const_cast<VersionNode*>(FindVersionString(*root, table, name));
  if (entry == nullptr || text.size() >= 0x7FF0) return false;
  entry->type = 1;
  entry->value_length = static_cast<uint16_t>(text.size() + 1);
  entry->value.clear();
  for (char16_t c : text) {
    entry->value.push_back(static_cast<uint8_t>(c & 0xFF));
    entry->value.push_back(static_cast<uint8_t>(c >> 8));
  }
  entry->value.push_back(0);
  entry->value.push_back(0);
  return true;
}

std::u16string TranslationTableName(uint16_t language, uint16_t codepage) {
  char text[16];
  std::snprintf(text, sizeof(text), "%04x%04x", language, codepage);
  return AsciiToU16(text);
}

std::u16string AsciiToU16(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace lorix
