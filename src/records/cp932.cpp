// Code page 932 to and from UTF-8 through iconv. glibc's CP932 table decodes every byte sequence of
// Microsoft's table to the same code point and encodes duplicates to the bytes Windows writes.
#include "records/cp932.h"

#include "records/utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
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

constexpr char32_t kYen = 0xA5;

// The bytes that carry each code point of the Basic Multilingual Plane that a code page 932 text field
// carries as itself (those whose own encoding reads back as them), as iconv writes them: one byte, or a lead
// byte above a trail byte; 0 for the others. Made once, from every one- and two-byte sequence. Byte 0x5C reads
// as the yen sign, so the yen sign is carried (as 0x5C) and the backslash is not.
const std::vector<std::uint16_t>& ExactForms() {
    static const std::vector<std::uint16_t> forms = [] {
        std::vector<std::uint16_t> table(0x10000, 0);
        std::string back;
        std::string again;
        std::size_t badOffset = 0;
        auto consider = [&](const std::string& sequence) {
            if (!DecodeCp932(sequence, back, badOffset))
                return;
            std::size_t pos = 0;
            const char32_t cp = NextCodePoint(back, pos);
            if (pos == back.size() && cp < table.size() && EncodeCp932(back, again) && again == sequence)
                table[cp] = sequence.size() == 1
                                ? static_cast<unsigned char>(sequence[0])
                                : static_cast<std::uint16_t>(static_cast<unsigned char>(sequence[0]) << 8 |
                                                             static_cast<unsigned char>(sequence[1]));
        };
        for (int b = 1; b < 0x100; ++b)
            consider(std::string(1, static_cast<char>(b)));
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (lead >= 0xA0 && lead < 0xE0)
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail)
                consider(std::string{static_cast<char>(lead), static_cast<char>(trail)});
        }
        table[kYen] = table['\\'];
        table['\\'] = 0;
        return table;
    }();
    return forms;
}

// NUL, the one code point whose form is the byte 0, is carried as itself too.
bool IsExact(char32_t cp) {
    return cp == 0 || (cp < 0x10000 && ExactForms()[cp] != 0);
}

// The characters iconv writes in a form that reads back as another character, and that other character:
// found once by writing every character the table above leaves out and reading it back.
const std::vector<std::pair<char32_t, char32_t>>& OneWayForms() {
    static const std::vector<std::pair<char32_t, char32_t>> forms = [] {
        std::vector<std::pair<char32_t, char32_t>> found;
        std::string one;
        std::string bytes;
        std::string back;
        std::size_t badOffset = 0;
        for (char32_t cp = 0; cp < 0x10000; ++cp) {
            if ((cp >= 0xD800 && cp <= 0xDFFF) || IsExact(cp))
                continue;
            one.clear();
            AppendUtf8(one, cp);
            if (!EncodeCp932(one, bytes) || bytes.empty() || !DecodeCp932(bytes, back, badOffset))
                continue; // not in the code page, or dropped by it
            std::size_t pos = 0;
            char32_t read = NextCodePoint(back, pos);
            if (pos != back.size())
                continue;
            if (read == '\\')
                read = kYen;
            if (read != cp && IsExact(read))
                found.emplace_back(cp, read);
        }
        found.emplace_back(U'\\', kYen);
        std::sort(found.begin(), found.end());
        return found;
    }();
    return forms;
}

} // namespace

bool EncodeCp932Exactly(std::string_view utf8, std::string& bytes) {
    // From the table iconv's own answers made: quicker than a call of iconv for every short text.
    const std::vector<std::uint16_t>& forms = ExactForms();
    bytes.clear();
    bytes.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[pos]);
        if (lead < 0x80 && lead != '\\') {
            bytes += static_cast<char>(lead);
            ++pos;
            continue;
        }
        const char32_t cp = NextCodePoint(utf8, pos);
        if (cp >= forms.size() || forms[cp] == 0)
            return false;
        if (forms[cp] > 0xFF)
            bytes += static_cast<char>(forms[cp] >> 8);
        bytes += static_cast<char>(forms[cp] & 0xFF);
    }
    return true;
}

void ShowBackslashesAsYen(std::string& utf8) {
    for (std::size_t at = utf8.find('\\'); at != std::string::npos; at = utf8.find('\\', at + 2))
        utf8.replace(at, 1, "\u00A5");
}

std::size_t Cp932Length(std::string_view utf8) {
    std::size_t length = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, pos);
        length += cp < 0x80 || cp == kYen || (cp >= 0xFF61 && cp <= 0xFF9F) ? 1 : 2;
    }
    return length;
}

std::optional<char32_t> FirstUnsavableCharacter(std::string_view utf8) {
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, pos);
        if (cp == kBadCodePoint)
            return U'\uFFFD';
        if (!IsExact(cp))
            return cp;
    }
    return std::nullopt;
}

std::string StorableText(std::string_view utf8) {
    const auto& forms = OneWayForms();
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t start = pos;
        const char32_t cp = NextCodePoint(utf8, pos);
        const auto form = std::lower_bound(forms.begin(), forms.end(), std::make_pair(cp, char32_t(0)));
        if (cp != kBadCodePoint && !IsExact(cp) && form != forms.end() && form->first == cp)
            AppendUtf8(out, form->second);
        else
            out.append(utf8.substr(start, pos - start));
    }
    return out;
}

} // namespace records
