// Text of help files: their bytes decoded as the file says or as its language implies, and folded for
// searching Japanese the way a reader expects: no spaces between words needed, full-width and half-width
// forms alike, hiragana and katakana alike, letter case ignored.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <string_view>
#include <vector>

namespace help {

// Text whose code page is not named: UTF-8 when it is valid UTF-8, else the code page of the file's language
// (a Windows language identifier: 0x411 is Japanese, code page 932).
QString DecodeHelpText(std::string_view bytes, unsigned language);

// The charset of an HTML page or sitemap, in lower case: a byte-order mark's, else the one its <meta> names,
// else as DecodeHelpText decides.
QByteArray HelpPageCharset(QByteArrayView bytes, unsigned language);
// Bytes in a charset HelpPageCharset gave; a character the charset lacks becomes U+FFFD.
QString DecodeHelpBytes(std::string_view bytes, const QByteArray& charset);
// An HTML page, in the charset HelpPageCharset finds.
QString DecodeHelpPage(QByteArrayView bytes, unsigned language);

// The text of an attribute value or a sitemap name with its character references (&amp;, &#12354;, ...)
// replaced by the characters.
QString UnescapeHtml(const QString& text);

// A text folded for searching, with where each folded character came from.
struct FoldedText {
    QString text;
    std::vector<int> begin; // per folded character, its first character in the original text
    std::vector<int> end;   // and one past its last
};

// Folds a text: compatibility forms (full-width letters and digits, half-width katakana with their sound
// marks) become their ordinary forms, katakana become hiragana, letters lose their case, and spaces go, so
// words match across the spaces a page's line breaks leave. Paragraph and object breaks stay, as '\n', so
// nothing matches across them.
FoldedText FoldForSearch(QStringView text);

// The folded words of what the user typed, split at spaces; empty words are left out.
QStringList SearchTerms(const QString& typed);

// A match in the original text, from begin to one past its end.
struct TextRange {
    int begin;
    int end;
};

// Every match of every term in the folded text, in the original text's positions and in order; none at all
// unless each term is found at least once.
std::vector<TextRange> FindTerms(const FoldedText& folded, const QStringList& terms);

} // namespace help
