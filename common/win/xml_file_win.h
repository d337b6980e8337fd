// The XML file boundary: files on disk stay in the encoding they declare (euc-kr for the
// setup manifest) while the DOM is only ever given and asked for UTF-16 text.
#pragma once

#include "common/win/platform.h"

#include <string>
#include <string_view>

namespace tessal {

// An XML file read for a DOM. kText: `text` holds the whole document decoded to
// UTF-16 with its declaration no longer naming an encoding (give it to loadXML).
// kDomLoads: an encoding left to the DOM (UTF-16, others): `bytes` holds the
// file as read, to be given to the DOM as a stream (never the path again: the
// file may have changed since it was checked).
// kRefused: the file declares a document type; `error` is ERROR_INVALID_DATA.
// kFailed: the file cannot be read; `error` holds the Win32 error code.
struct XmlFileRead {
  enum Result { kText, kDomLoads, kRefused, kFailed } result = kFailed;
  std::wstring text;
  std::string bytes;
  DWORD error = 0;
};
XmlFileRead ReadXmlFileForDom(const std::string& path);

// Writes a DOM's UTF-16 serialisation as an euc-kr (code page 949) file declaring
// that encoding; characters outside the code page become character references.
// False with the thread's last error set when the file cannot be written.
bool WriteXmlFileEucKr(const std::string& path, std::wstring_view xml);

// The text in code page 949; characters it lacks as "&#x...;" references.
std::string ToCp949WithReferences(std::wstring_view text);

}  // namespace tessal
