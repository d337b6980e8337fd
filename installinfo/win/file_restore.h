// Puts a protected copy back over an installed file without ever writing
// through a name that someone else could have prepared.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tavin {

// Where the random part of a temporary name comes from.
using NonceSource = std::function<uint64_t()>;
// Unpredictable numbers from the system's random generator.
uint64_t SystemNonce();

// Copies `source` into a new temporary file beside `target`, created exclusively
// under a fresh name (a name that exists already, file or link, is never opened
// but another one is drawn), carries the source's times over and moves it into
// place, replacing the target. On any failure the target is left as it was and
// the temporary file is removed.
bool RestoreFile(const std::string& source, const std::string& target, const NonceSource& nonce);

}  // namespace tavin
