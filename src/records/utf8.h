// Walking UTF-8 text one code point at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace records {

inline constexpr char32_t kBadCodePoint = 0xFFFFFFFF;

// The code point at pos, moving pos past it; kBadCodePoint for a malformed sequence (pos moves one byte).
char32_t NextCodePoint(std::string_view text, std::size_t& pos);

bool IsValidUtf8(std::string_view text);

void AppendUtf8(std::string& out, char32_t cp);

} // namespace records
