// Scrambled settings files: every byte is stored complemented, with no header,
// length or terminator, so the file is exactly as long as its text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/core/safe_folder.h"

namespace kestra {

// Complements every byte; the same operation scrambles and unscrambles.
std::string Scramble(std::string_view bytes);

// Paths longer than this are refused rather than cut.
inline constexpr std::size_t kMaxPathLength = 511;

// Length-first form. out null: the file length (0 also when it cannot be opened).
// out given: 1 when read and unscrambled into out, 0 when it cannot be opened; at
// most out_size - 1 bytes are stored and terminated, even if the file grew meanwhile.
int ReadScrambledFile(const char* path, char* out, std::size_t out_size);

// Whole unscrambled text of a trusted file; false when it cannot be read or is
// larger than limit.
bool ReadScrambledText(const std::string& path, std::string* text, std::size_t limit);

// Writes the text scrambled into the file `name` of a folder that other processes
// can write to: a planted link or extra hard link there is refused, never followed.
// False when nothing is written (null name or text, unopenable file).
bool WriteScrambledFile(const tessal::SafeFolder& folder, const char* name, const char* text);

}  // namespace kestra
