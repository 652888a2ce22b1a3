// Decoding and folding the text of help files.
#include "help/help_text.h"

#include "records/cp932.h"
#include "records/utf8.h"

#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace help {

namespace {

// Code page 932 through the same conversion as the data files (glibc's CP932), so a help page reads as the
// program's own texts do. Each thread has a descriptor of its own: the search index reads pages on a thread
// of its own. A byte that is no character becomes U+FFFD and the rest still reads.
QString DecodeCp932Lossy(std::string_view bytes) {
    struct Descriptor {
        iconv_t cd = iconv_open("UTF-8", "CP932");
        ~Descriptor() {
            if (cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
        }
    };
    thread_local Descriptor descriptor;
    if (descriptor.cd == reinterpret_cast<iconv_t>(-1))
        return QString(bytes.size(), QChar::ReplacementCharacter);
    iconv(descriptor.cd, nullptr, nullptr, nullptr, nullptr);
    // A byte becomes three bytes of UTF-8 at most, U+FFFD included.
    std::string utf8(bytes.size() * 3, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* out = utf8.data();
    std::size_t outLeft = utf8.size();
    while (inLeft > 0) {
        if (iconv(descriptor.cd, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            break; // cannot happen: three bytes each
        // EILSEQ or EINVAL (a lead byte at the end): one byte skipped, where the conversion starts anew.
        std::memcpy(out, "\xEF\xBF\xBD", 3);
        out += 3;
        outLeft -= 3;
        ++in;
        --inLeft;
        iconv(descriptor.cd, nullptr, nullptr, nullptr, nullptr);
    }
    utf8.resize(utf8.size() - outLeft);
    return QString::fromStdString(utf8);
}

// The Windows ANSI code page of a language, by its primary language (the low ten bits of the identifier).
const char* CodePageOf(unsigned language) {
    const unsigned primary = language & 0x3FF;
    const unsigned sub = language >> 10;
    switch (primary) {
    case 0x11:
        return "cp932";
    case 0x04:
        return sub == 0x02 || sub == 0x04 ? "GBK" : "Big5"; // China and Singapore, else Taiwan and Hong Kong
    case 0x12:
        return "windows-949";
    case 0x02:
    case 0x19:
    case 0x22:
    case 0x23:
    case 0x2F:
        return "windows-1251";
    case 0x05:
    case 0x0E:
    case 0x15:
    case 0x18:
    case 0x1A:
    case 0x1B:
    case 0x1C:
    case 0x24:
        return "windows-1250";
    case 0x08:
        return "windows-1253";
    case 0x1F:
        return "windows-1254";
    case 0x0D:
        return "windows-1255";
    case 0x01:
    case 0x20:
    case 0x29:
        return "windows-1256";
    case 0x25:
    case 0x26:
    case 0x27:
        return "windows-1257";
    case 0x2A:
        return "windows-1258";
    case 0x1E:
        return "windows-874";
    default:
        return "windows-1252";
    }
}

bool IsShiftJisName(const QByteArray& name) {
    static const QList<QByteArray> names = {"shift_jis",   "shift-jis", "sjis",       "x-sjis",    "ms_kanji",
                                            "windows-31j", "cp932",     "x-ms-cp932", "csshiftjis"};
    return names.contains(name.toLower());
}

QString DecodeAs(const QByteArray& codePage, std::string_view bytes) {
    if (IsShiftJisName(codePage))
        return DecodeCp932Lossy(bytes);
    QStringDecoder decoder(codePage.constData());
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Latin1);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// The charset a page's <meta> names, in lower case; empty when it names none.
QByteArray MetaCharset(QByteArrayView bytes) {
    const QByteArray head = bytes.first(std::min<qsizetype>(bytes.size(), 8192)).toByteArray().toLower();
    for (qsizetype at = head.indexOf("<meta"); at >= 0; at = head.indexOf("<meta", at + 1)) {
        const qsizetype end = head.indexOf('>', at);
        if (end < 0)
            break;
        const qsizetype charset = head.indexOf("charset", at);
        if (charset < 0 || charset > end)
            continue;
        qsizetype from = charset + 7;
        while (from < end && (head[from] == ' ' || head[from] == '=' || head[from] == '"' || head[from] == '\''))
            ++from;
        qsizetype to = from;
        while (to < end && (std::isalnum(static_cast<unsigned char>(head[to])) || head[to] == '-' || head[to] == '_' ||
                            head[to] == '.' || head[to] == ':'))
            ++to;
        if (to > from)
            return head.mid(from, to - from);
    }
    return {};
}

bool IsBreak(char16_t c) {
    return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC;
}

// Characters whose compatibility form is themselves, by far the most of a Japanese page.
bool FoldsToItself(char16_t c) {
    return (c >= 0x3041 && c <= 0x3096) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= u'0' && c <= u'9');
}

char16_t ToHiragana(char16_t c) {
    if (c >= 0x30A1 && c <= 0x30F6)
        return static_cast<char16_t>(c - 0x60);
    if (c == 0x30FD || c == 0x30FE) // the katakana iteration marks
        return static_cast<char16_t>(c - 0x60);
    return c;
}

bool JoinsPrevious(QChar c) {
    return c == QChar(0xFF9E) || c == QChar(0xFF9F) || c.isMark(); // half-width and combining sound marks
}

} // namespace

QString DecodeHelpText(std::string_view bytes, unsigned language) {
    return DecodeHelpBytes(bytes, records::IsValidUtf8(bytes) ? QByteArray("utf-8") : QByteArray(CodePageOf(language)));
}

QByteArray HelpPageCharset(QByteArrayView bytes, unsigned language) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return "utf-16";
    const QByteArray charset = MetaCharset(bytes);
    if (!charset.isEmpty() && charset != "utf-8" && charset != "utf8")
        return charset;
    return records::IsValidUtf8(std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())))
               ? QByteArray("utf-8")
               : QByteArray(CodePageOf(language));
}

QString DecodeHelpBytes(std::string_view bytes, const QByteArray& charset) {
    if (charset == "utf-8") {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
            bytes.remove_prefix(3);
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    if (charset == "utf-16")
        return QStringDecoder(QStringDecoder::Utf16)
            .decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return DecodeAs(charset, bytes);
}

QString DecodeHelpPage(QByteArrayView bytes, unsigned language) {
    return DecodeHelpBytes(std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())),
                           HelpPageCharset(bytes, language));
}

QString UnescapeHtml(const QString& text) {
    static const std::pair<QStringView, char16_t> named[] = {
        {u"amp", u'&'},      {u"lt", u'<'},      {u"gt", u'>'},     {u"quot", u'"'}, {u"apos", u'\''},
        {u"nbsp", 0xA0},     {u"copy", 0xA9},    {u"reg", 0xAE},    {u"yen", 0xA5},  {u"times", 0xD7},
        {u"hellip", 0x2026}, {u"mdash", 0x2014}, {u"ndash", 0x2013}};
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype semicolon = text[i] == u'&' ? text.indexOf(u';', i + 1) : -1;
        if (semicolon < 0 || semicolon - i > 10) {
            out += text[i++];
            continue;
        }
        const QStringView name = QStringView(text).mid(i + 1, semicolon - i - 1);
        char32_t code = 0;
        bool known = false;
        if (name.startsWith(u'#')) {
            const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
            const uint value = name.mid(hex ? 2 : 1).toUInt(&known, hex ? 16 : 10);
            known = known && value > 0 && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
            code = value;
        } else {
            for (const auto& [entity, c] : named)
                if (name == entity) {
                    code = c;
                    known = true;
                }
        }
        if (!known) {
            out += text[i++];
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semicolon + 1;
    }
    return out;
}

FoldedText FoldForSearch(QStringView text) {
    FoldedText folded;
    folded.text.reserve(text.size());
    folded.begin.reserve(static_cast<std::size_t>(text.size()));
    folded.end.reserve(static_cast<std::size_t>(text.size()));
    const auto add = [&](QChar c, qsizetype begin, qsizetype end) {
        folded.text += c;
        folded.begin.push_back(static_cast<int>(begin));
        folded.end.push_back(static_cast<int>(end));
    };
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text[i].unicode();
        qsizetype length = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            length = 2;
        while (i + length < text.size() && JoinsPrevious(text[i + length]))
            ++length;
        if (length == 1 && IsBreak(c)) {
            add(u'\n', i, i + 1);
        } else if (length == 1 && QChar::isSpace(c)) {
            // a gap between words, or a line break of the page's source
        } else if (length == 1 && c < 0x80) {
            add(QChar(c).toCaseFolded(), i, i + 1);
        } else if (length == 1 && FoldsToItself(c)) {
            add(QChar(c), i, i + 1);
        } else {
            const QString form =
                text.mid(i, length).toString().normalized(QString::NormalizationForm_KC).toCaseFolded();
            for (QChar f : form)
                if (!f.isSpace())
                    add(QChar(ToHiragana(f.unicode())), i, i + length);
        }
        i += length;
    }
    return folded;
}

QStringList SearchTerms(const QString& typed) {
    QString spaced = typed;
    for (QChar& c : spaced)
        if (c.isSpace())
            c = u' ';
    QStringList terms;
    for (const QString& word : spaced.split(u' ', Qt::SkipEmptyParts)) {
        QString term = FoldForSearch(word).text;
        term.remove(u'\n');
        if (!term.isEmpty() && !terms.contains(term))
            terms << term;
    }
    return terms;
}

std::vector<TextRange> FindTerms(const FoldedText& folded, const QStringList& terms) {
    std::vector<TextRange> ranges;
    if (terms.isEmpty())
        return ranges;
    for (const QString& term : terms) {
        const std::size_t before = ranges.size();
        for (qsizetype at = folded.text.indexOf(term); at >= 0; at = folded.text.indexOf(term, at + term.size()))
            ranges.push_back(TextRange{folded.begin[static_cast<std::size_t>(at)],
                                       folded.end[static_cast<std::size_t>(at + term.size() - 1)]});
        if (ranges.size() == before)
            return {};
    }
    std::sort(ranges.begin(), ranges.end(), [](const TextRange& a, const TextRange& b) { return a.begin < b.begin; });
    return ranges;
}

} // namespace help
