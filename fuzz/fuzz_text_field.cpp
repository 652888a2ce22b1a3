// The text-field check against code page 932: a text it accepts is written and read back exactly, the quick
// exact encoder agrees with encoding and decoding again, and the conversion of typed text gives text that is
// either stored exactly or refused, the same length, and the same when converted again.
#include "records/cp932.h"
#include "records/record_file.h"
#include "records/utf8.h"

#include <cstdlib>
#include <string>

using namespace records;

namespace {

// Code units of the text in UTF-16, as the text boxes count them.
std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, pos);
        units += cp != kBadCodePoint && cp >= 0x10000 ? 2 : 1;
    }
    return units;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string bytes;
    std::string back;
    std::size_t badOffset = 0;
    bool roundTrips = EncodeCp932(text, bytes) && DecodeCp932(bytes, back, badOffset);
    if (roundTrips) {
        ShowBackslashesAsYen(back);
        roundTrips = back == text;
    }
    std::string exact;
    if (EncodeCp932Exactly(text, exact) != roundTrips)
        std::abort();
    if (FirstUnsavableCharacter(text).has_value() == roundTrips)
        std::abort();
    if (!TextFieldFault(text)) {
        if (!roundTrips || text.find_first_of(std::string_view("\"\r\n\0", 4)) != std::string::npos)
            std::abort();
    }
    if (IsValidUtf8(text)) {
        const std::string stored = StorableText(text);
        if (StorableText(stored) != stored || Utf16Length(stored) != Utf16Length(text))
            std::abort();
        if (!FirstUnsavableCharacter(stored) && !EncodeCp932Exactly(stored, exact))
            std::abort();
    }
    DecodeCp932(text, back, badOffset); // arbitrary bytes as a file's content
    return 0;
}
