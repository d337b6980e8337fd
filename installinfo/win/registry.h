// CRegistry: one registry key named by a full path ("HKEY_LOCAL_MACHINE\...").
#pragma once

#include "common/win/platform.h"

#include <string>

#include "common/win/scoped_handle.h"

namespace tavin {

class CRegistry {
 public:
  CRegistry();
  virtual ~CRegistry();
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  // Opens the key with full access, creating it when missing.
  bool OpenOrCreate(const char* path);
  // A value of any type as text (at most 1023 bytes); false when missing.
  bool ReadText(const char* value_name, std::string* text);

 private:
  HKEY root_ = nullptr;  // a predefined key, never closed
  tessal::ScopedRegKey key_;
  char data_[1024];
  DWORD size_ = 0;
  char sub_key_[260];
};

}  // namespace tavin
