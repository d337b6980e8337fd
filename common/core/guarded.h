// The last line of defence of the libraries' flat exports: no exception
// crosses into a caller written in C. A call that throws answers 0, which every
// export already uses for "failed".
#pragma once

namespace tessal {

template <typename F>
int Guarded(F f) noexcept {
  try {
    return f();
  } catch (...) {
    return 0;
  }
}

}  // namespace tessal
