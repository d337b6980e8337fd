#include "common/win/xml_file_win.h"

#include <cstdio>

#include "common/core/xml_text.h"
#include "common/win/scoped_handle.h"
#include "common/win/wide_text.h"

namespace tessal {
namespace {

constexpr UINT kCp949 = 949;
constexpr DWORD kMaxXmlFile = 256u << 20;

bool ReadAll(const std::string& path, std::string* out, DWORD* error) {
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    *error = GetLastError();
    return false;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxXmlFile) {
    *error = ERROR_FILE_TOO_LARGE;
    return false;
  }
  out->resize(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  if (!out->empty() &&
      (!ReadFile(file.get(), &(*out)[0], static_cast<DWORD>(out->size()), &got, nullptr) ||
       got != out->size())) {
    *error = GetLastError() != 0 ? GetLastError() : ERROR_READ_FAULT;
    return false;
  }
  return true;
}

}  // namespace

std::string ToCp949WithReferences(std::wstring_view text) {
  if (text.empty()) return std::string();
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(kCp949, WC_NO_BEST_FIT_CHARS, text.data(),
                              static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
  if (n > 0 && !lossy) {
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(kCp949, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        &out[0], n, nullptr, nullptr);
    return out;
  }
  // Slow path, only for texts with characters the code page lacks.
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    int units = 1;
    unsigned cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<unsigned>(text[i + 1]) - 0xDC00);
      units = 2;
    }
    char buf[8];
    BOOL used = FALSE;
    int m = units == 1 ? WideCharToMultiByte(kCp949, WC_NO_BEST_FIT_CHARS, &text[i], 1, buf,
                                             sizeof(buf), nullptr, &used)
                       : 0;
    if (m > 0 && !used) {
      out.append(buf, static_cast<std::size_t>(m));
    } else {
      char ref[16];
      std::snprintf(ref, sizeof(ref), "&#x%X;", cp);
      out.append(ref);
    }
    i += static_cast<std::size_t>(units - 1);
  }
  return out;
}

XmlFileRead ReadXmlFileForDom(const std::string& path) {
  XmlFileRead read;
  std::string bytes;
  if (!ReadAll(path, &bytes, &read.error)) return read;
  XmlFileText prepared = PrepareXmlForDom(bytes);
  if (prepared.doctype) {
    read.result = XmlFileRead::kRefused;
    read.error = ERROR_INVALID_DATA;
    return read;
  }
  switch (prepared.encoding) {
    case XmlFileEncoding::kUtf8: read.text = Widen(prepared.body, CP_UTF8); break;
    case XmlFileEncoding::kCp949: read.text = Widen(prepared.body, kCp949); break;
    default:
      read.result = XmlFileRead::kDomLoads;
      read.bytes = std::move(bytes);
      return read;
  }
  read.result = XmlFileRead::kText;
  return read;
}

bool WriteXmlFileEucKr(const std::string& path, std::wstring_view xml) {
  std::string bytes = WithDeclaredEncoding(ToCp949WithReferences(xml), "euc-kr");
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    return false;
  }
  return true;
}

}  // namespace tessal
