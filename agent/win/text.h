// Conversions between the programs' 8-bit texts and the UTF-16 of the platform.
#pragma once

#include "common/win/wide_text.h"

namespace kestra {

using tessal::Widen;

}  // namespace kestra
