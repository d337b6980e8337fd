// The binary version resource (VS_VERSIONINFO): a tree of nodes, each a length,
// a value length, a type, a UTF-16 key, a value and child nodes, every part
// aligned to 4 bytes. Read, changed and written back whole, so that a new
// version string of any length fits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lorix {

struct VersionNode {
  std::u16string key;
  uint16_t type = 0;          // 1: text value, 0: binary value
  uint16_t value_length = 0;  // as stored: characters for text, bytes for binary
  std::vector<uint8_t> value;
  std::vector<VersionNode> children;
};

// False when the block is cut short or malformed (lengths outside the block).
bool ParseVersionBlock(const uint8_t* data, std::size_t size, VersionNode* root);
std::vector<uint8_t> SerializeVersionBlock(const VersionNode& root);

// First language and code page of \VarFileInfo\Translation; false when absent.
bool FirstTranslation(const VersionNode& root, uint16_t* language, uint16_t* codepage);

// The text of \StringFileInfo\<table>\<name>; null when absent.
const VersionNode* FindVersionString(const VersionNode& root, std::u16string_view table,
                                     std::u16string_view name);
// Replaces that text; false (and nothing changed) when the entry is absent.
bool SetVersionString(VersionNode* root, std::u16string_view table, std::u16string_view name,
                      std::u16string_view text);

// "%04x%04x" of a translation, as a string-table name.
std::u16string TranslationTableName(uint16_t language, uint16_t codepage);
std::u16string AsciiToU16(std::string_view text);

}  // namespace lorix
