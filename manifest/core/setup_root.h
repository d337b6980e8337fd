// Root of the manifest classes: keeps the text of the most recent failure.
#pragma once

#include <cstddef>

namespace lorix {

class CSetupRoot {
 public:
  static constexpr std::size_t kLastErrorSize = 512;
  CSetupRoot() { last_error_[0] = 0; }
  virtual ~CSetupRoot() = default;
  CSetupRoot(const CSetupRoot&) = delete;
  CSetupRoot& operator=(const CSetupRoot&) = delete;

  const char* last_error() const { return last_error_; }
  // printf-style; always terminated within the 512 bytes.
  void SetLastErrorText(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

 private:
  char last_error_[kLastErrorSize];
};

}  // namespace lorix
