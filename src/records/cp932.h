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

// Text fields are read as a Japanese Windows desktop shows them: byte 0x5C is the yen sign U+00A5, and the
// yen sign is written back as 0x5C. This turns the backslashes of decoded text into yen signs.
void ShowBackslashesAsYen(std::string& utf8);

// The first character of the text that a code page 932 file cannot carry as itself, or nothing when the
// whole text reads back exactly as written. Malformed UTF-8 gives U+FFFD.
std::optional<char32_t> FirstUnsavableCharacter(std::string_view utf8);

// Typed text as a text field will hold it: a character that code page 932 writes in one form which reads
// back as another (〜 U+301C is written as the bytes of ～ U+FF5E, a backslash as the byte shown as ¥) becomes
// what it reads back as. Which characters those are comes from iconv's own tables. Characters the code page
// lacks are left as they are, for the writer to refuse.
std::string StorableText(std::string_view utf8);

// Encodes UTF-8 text that must read back exactly as written: false when a character is missing from code
// page 932 or would come back as another. Quicker than encoding and decoding again, for whole files.
bool EncodeCp932Exactly(std::string_view utf8, std::string& bytes);

// How many bytes text takes in code page 932, for text that the code page carries (text read from it, or
// text EncodeCp932Exactly accepts): one for ASCII, the yen sign and half-width katakana, two for the rest.
std::size_t Cp932Length(std::string_view utf8);

} // namespace records
