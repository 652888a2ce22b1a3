// The sitemaps of a .chm: its table of contents (.hhc) and its index (.hhk), HTML lists of <OBJECT
// type="text/sitemap"> entries, each with <param name="..." value="...">. They are read as bytes: every byte
// of their structure is ASCII, which the code pages of help files never use inside a multibyte character, so
// names and paths come out in the file's own code page, HTML entities and all.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct SitemapTopic {
    std::string name; // empty when the entry names its page only by its path
    std::string local;
};

struct SitemapEntry {
    int depth = 0; // 0 at the top level, one more inside each nested list
    std::string name;
    std::vector<SitemapTopic> topics; // a contents entry has one; a keyword may have several
    std::vector<std::string> seeAlso; // other keywords an index entry points to instead of pages
};

// The most entries read from one sitemap; real help files have a few thousand at most.
inline constexpr std::size_t kMaxSitemapEntries = 100000;

// The entries in the order of the file; entries with neither a name nor a page are left out.
std::vector<SitemapEntry> ParseSitemap(std::string_view html);

// The path inside the .chm that a sitemap's or a page's link names, made absolute against the folder of the
// file it is in ("/folder/"), with its fragment: "ms-its:file.chm::/a.htm#x" gives "/a.htm#x". Empty for a
// link outside the file (a web address, another file's path) and for an empty link.
std::string ChmLocalPath(std::string_view link, std::string_view folder);
