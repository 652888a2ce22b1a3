// The text-field check against code page 932: a text it accepts is written and read back exactly, and the
// quick exact encoder agrees with encoding and decoding again.
#include "records/text/cp932.h"
#include "records/text/record_file.h"

#include <cstdlib>
#include <string>

using namespace records;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string bytes;
    std::string back;
    std::size_t badOffset = 0;
    const bool roundTrips = EncodeCp932(text, bytes) && DecodeCp932(bytes, back, badOffset) && back == text;
    std::string exact;
    if (EncodeCp932Exactly(text, exact) != roundTrips)
        std::abort();
    if (FirstUnsavableCharacter(text).has_value() == roundTrips)
        std::abort();
    if (!TextFieldFault(text)) {
        if (!roundTrips || text.find_first_of(std::string_view("\"\r\n\0", 4)) != std::string::npos)
            std::abort();
    }
    DecodeCp932(text, back, badOffset); // arbitrary bytes as a file's content
    return 0;
}
