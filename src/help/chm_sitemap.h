// The HTML of a .chm as the help window reads it. Its sitemaps: the table of contents (.hhc) and the index
// (.hhk), HTML lists of <OBJECT type="text/sitemap"> entries, each with <param name="..." value="...">. They
// are read as bytes: every byte of their structure is ASCII, which the code pages of help files never use
// inside a multibyte character, so names and paths come out in the file's own code page, HTML entities and
// all. And its pages, bounded before they reach Qt's text layout, whose time grows with the nesting of a page
// far faster than with its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct SitemapTopic {
    std::string name; // empty when the entry names its page only by its path
    std::string local;
};

// Entries nested deeper than this many lists stay at the deepest level: Qt's tree views recurse once per level
// (expanding all of them, walking them with the keyboard), and real help files nest a handful.
inline constexpr int kMaxSitemapDepth = 32;

struct SitemapEntry {
    int depth = 0; // 0 at the top level, one more inside each nested list, at most kMaxSitemapDepth - 1
    std::string name;
    std::vector<SitemapTopic> topics; // a contents entry has one; a keyword may have several
    std::vector<std::string> seeAlso; // other keywords an index entry points to instead of pages
};

// The most entries read from one sitemap. Real help files have a few thousand at most; each entry costs the
// window about a kilobyte in its tree, so a file's contents and index together stay near 100 MB at the worst.
inline constexpr std::size_t kMaxSitemapEntries = 50000;

// The entries in the order of the file, up to `most`; entries with neither a name nor a page are left out.
std::vector<SitemapEntry> ParseSitemap(std::string_view html, std::size_t most = kMaxSitemapEntries);

// The path inside the .chm that a sitemap's or a page's link names, made absolute against the folder of the
// file it is in ("/folder/"), with its fragment: "ms-its:file.chm::/a.htm#x" gives "/a.htm#x". Empty for a
// link outside the file (a web address, another file's path) and for an empty link.
std::string ChmLocalPath(std::string_view link, std::string_view folder);

// A page as the help window shows it, bounded so that Qt lays it out in a fraction of a second on the window's
// thread. Measured with Qt 6.4: one paragraph of 57,000 characters takes half a second, a table of 9,000 cells
// almost three; each table inside another doubles the work of its cells, so tables 14 deep take a second and a
// half with hardly any text, and 3,000 deep end the program; 12,000 elements of text style inside each other
// take ten seconds. So:
// - tables, lists, quotes and divisions inside more than kMaxPageNesting others lose their tags and keep
//   their text (a line break where a block began or ended);
// - any element inside more than kMaxElementDepth others loses its tags likewise;
// - the page ends where the work of laying it out passes kMaxPageWork: a character costs 1, a tag 2, a table 20
//   and a table cell 40, each doubled for every table around it. That is about 0.7 seconds at the rates above,
//   and no real help page comes near it.
inline constexpr int kMaxPageNesting = 8;
inline constexpr int kMaxElementDepth = 64;
inline constexpr std::uint64_t kMaxPageWork = 64000;

struct BoundedPage {
    std::string html;
    bool cut = false; // the page ends early: what follows is not shown
};

// The page (HTML in UTF-8) within those bounds. An element, comment or tag left unfinished at the end is dropped.
BoundedPage BoundPage(std::string_view html);
