// Byte-level helpers for the 8-bit texts of the programs (CP949 on the target
// systems). Lead bytes of double-byte characters are recognised so that a trail
// byte that happens to look like an ASCII letter is never changed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessal {

// True for a CP949 lead byte (the byte after it belongs to the same character).
inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Lower-cases ASCII letters only, leaving double-byte characters whole.
std::string LowerAnsi(std::string_view text);
void LowerAnsiInPlace(char* text);

// Case-insensitive comparison of ASCII letters, bytes otherwise.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The text cut to at most max_bytes bytes, never inside a double-byte character.
std::string CutAnsi(std::string_view text, std::size_t max_bytes);

// Copies at most size - 1 bytes and always terminates (size 0 writes nothing).
// Returns false when the text was cut.
bool CopyBounded(char* out, std::size_t size, std::string_view text);

}  // namespace tessal
