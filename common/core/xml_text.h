// The XML file boundary: which byte encoding a file's declaration names, and the
// declaration rewritten so that a DOM given already-decoded text does not try to
// switch encodings itself (Wine's MSXML cannot handle euc-kr at all).
#pragma once

#include <string>
#include <string_view>

namespace tessal {

enum class XmlFileEncoding {
  kUtf8,   // UTF-8, with or without BOM, or no declared encoding
  kCp949,  // euc-kr and its aliases: code page 949
  kUtf16,  // has a UTF-16 byte-order mark: leave it to the DOM
  kOther,  // another declared encoding: leave it to the DOM
};

struct XmlFileText {
  XmlFileEncoding encoding = XmlFileEncoding::kUtf8;
  // The file declares a document type: it is not handed to the DOM at all.
  bool doctype = false;
  // For kUtf8 and kCp949: the bytes without BOM and with the declaration's
  // encoding pseudo-attribute removed, ready to be decoded and given to the DOM.
  std::string body;
};

// Encodings that mean code page 949 (compared without regard to ASCII case).
bool IsCp949EncodingName(std::string_view name);

// The declaration's encoding value, or empty when there is no declaration or no
// encoding in it. `text` must start with the declaration (no BOM).
std::string DeclaredEncoding(std::string_view text);

// True when "<!DOCTYPE" appears in the bytes read as 8-bit text, UTF-16 or
// UTF-32 (either byte order). A document type can define entities that expand
// without bound or name outside files; the files read here never need one.
bool HasDocumentTypeDeclaration(std::string_view bytes);

XmlFileText PrepareXmlForDom(std::string_view file_bytes);

// Makes the text (an ASCII-compatible serialisation) start with a declaration that
// names `encoding`: an existing declaration keeps its other pseudo-attributes,
// otherwise `<?xml version="1.0" encoding="..."?>` and a line break are put in front.
std::string WithDeclaredEncoding(std::string_view text, std::string_view encoding);

}  // namespace tessal
