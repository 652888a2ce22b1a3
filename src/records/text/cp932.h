// Code page 932 (Shift_JIS with the Windows extensions) to and from the program's UTF-8 text, through iconv.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace records {

// Decodes code page 932 bytes. On failure, badOffset is the offset of the first byte that is not part of
// a code page 932 character.
bool DecodeCp932(std::string_view bytes, std::string& utf8, std::size_t& badOffset);

// Encodes UTF-8 text. Fails on malformed UTF-8 and on characters that code page 932 lacks; a character that
// iconv only maps one way (U+301C to the byte of U+FF5E, say) encodes but would not read back as itself,
// which FirstUnsavableCharacter tells.
bool EncodeCp932(std::string_view utf8, std::string& bytes);

// The first character of the text that a code page 932 file cannot carry as itself, or nothing when the
// whole text reads back exactly as written. Malformed UTF-8 gives U+FFFD.
std::optional<char32_t> FirstUnsavableCharacter(std::string_view utf8);

// Encodes UTF-8 text that must read back exactly as written: false when a character is missing from code
// page 932 or would come back as another. Quicker than encoding and decoding again, for whole files.
bool EncodeCp932Exactly(std::string_view utf8, std::string& bytes);

// How many bytes text takes in code page 932, for text that the code page carries (text decoded from it, or
// text EncodeCp932Exactly accepts): one for ASCII and half-width katakana, two for every other character.
std::size_t Cp932Length(std::string_view utf8);

} // namespace records
