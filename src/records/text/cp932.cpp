// Code page 932 to and from UTF-8 through iconv. glibc's CP932 table decodes every byte sequence of
// Microsoft's table to the same code point and encodes duplicates to the bytes Windows writes.
#include "records/text/cp932.h"

#include "records/text/utf8.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <vector>

namespace records {
namespace {

// One conversion descriptor per direction, opened once: iconv_open loads a module and is costly per call.
// The program converts on one thread only.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of input; on failure, badOffset is where in input the conversion stopped.
    bool convert(std::string_view input, std::string& output, std::size_t growth, std::size_t& badOffset) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        output.resize(input.size() * growth + 4);
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char* out = output.data();
        std::size_t outLeft = output.size();
        const std::size_t result = iconv(m_cd, &in, &inLeft, &out, &outLeft);
        output.resize(output.size() - outLeft);
        if (result == static_cast<std::size_t>(-1) || inLeft != 0) {
            badOffset = input.size() - inLeft;
            return false;
        }
        return true;
    }

private:
    iconv_t m_cd;
};

Converter& Decoder() {
    static Converter decoder("UTF-8", "CP932");
    return decoder;
}

Converter& Encoder() {
    static Converter encoder("CP932", "UTF-8");
    return encoder;
}

} // namespace

bool DecodeCp932(std::string_view bytes, std::string& utf8, std::size_t& badOffset) {
    // A single byte (half-width katakana) becomes three UTF-8 bytes at most.
    return Decoder().convert(bytes, utf8, 3, badOffset);
}

bool EncodeCp932(std::string_view utf8, std::string& bytes) {
    if (!IsValidUtf8(utf8))
        return false;
    std::size_t badOffset = 0;
    return Encoder().convert(utf8, bytes, 1, badOffset);
}

namespace {

// Which code points of the Basic Multilingual Plane a code page 932 file carries as themselves: those whose
// own encoding decodes back to them. Made once, from every one- and two-byte sequence.
const std::vector<bool>& ExactCodePoints() {
    static const std::vector<bool> exact = [] {
        std::vector<bool> table(0x10000, false);
        std::string back;
        std::string again;
        std::size_t badOffset = 0;
        auto consider = [&](const std::string& sequence) {
            if (!DecodeCp932(sequence, back, badOffset))
                return;
            std::size_t pos = 0;
            const char32_t cp = NextCodePoint(back, pos);
            if (pos == back.size() && cp < table.size() && EncodeCp932(back, again) && again == sequence)
                table[cp] = true;
        };
        for (int b = 0; b < 0x100; ++b)
            consider(std::string(1, static_cast<char>(b)));
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (lead >= 0xA0 && lead < 0xE0)
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail)
                consider(std::string{static_cast<char>(lead), static_cast<char>(trail)});
        }
        return table;
    }();
    return exact;
}

} // namespace

bool EncodeCp932Exactly(std::string_view utf8, std::string& bytes) {
    if (!EncodeCp932(utf8, bytes))
        return false;
    const std::vector<bool>& exact = ExactCodePoints();
    for (std::size_t pos = 0; pos < utf8.size();) {
        if (static_cast<unsigned char>(utf8[pos]) < 0x80) {
            if (!exact[static_cast<unsigned char>(utf8[pos])])
                return false;
            ++pos;
            continue;
        }
        const char32_t cp = NextCodePoint(utf8, pos);
        if (cp >= exact.size() || !exact[cp])
            return false;
    }
    return true;
}

std::size_t Cp932Length(std::string_view utf8) {
    std::size_t length = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, pos);
        length += cp < 0x80 || (cp >= 0xFF61 && cp <= 0xFF9F) ? 1 : 2;
    }
    return length;
}

std::optional<char32_t> FirstUnsavableCharacter(std::string_view utf8) {
    std::string bytes;
    if (EncodeCp932Exactly(utf8, bytes))
        return std::nullopt;
    std::string back;
    std::size_t badOffset = 0;
    // Slow path, only for text that is going to be refused: find the character to name.
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t start = pos;
        const char32_t cp = NextCodePoint(utf8, pos);
        if (cp == kBadCodePoint)
            return U'\uFFFD';
        const std::string_view one = utf8.substr(start, pos - start);
        if (!EncodeCp932(one, bytes) || !DecodeCp932(bytes, back, badOffset) || back != one)
            return cp;
    }
    return U'\uFFFD';
}

} // namespace records
