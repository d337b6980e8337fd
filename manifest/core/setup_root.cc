#include "manifest/core/setup_root.h"

#include <cstdarg>
#include <cstdio>

namespace lorix {

void CSetupRoot::SetLastErrorText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(last_error_, sizeof(last_error_), format, args);
  va_end(args);
}

}  // namespace lorix
