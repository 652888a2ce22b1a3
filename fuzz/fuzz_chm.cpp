// The .chm reader on arbitrary bytes: it opens, finds the first page, reads the sitemaps and follows their
// links, and reads the pages as the search index does (in the order of their bytes, each range once, their
// start only, within the file's budget) and bounds them as the window does; or it refuses. What it promises
// is checked: sitemap entries within their depth, reads within their price and their limit, the budget kept.
#include "help/chm_archive.h"
#include "help/chm_sitemap.h"
#include "scratch_dir.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

void Require(bool promise) {
    if (!promise)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    EnterScratchDirectory();
    if (std::FILE* f = std::fopen("fuzz.chm", "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    const auto archive = ChmArchive::Open("fuzz.chm");
    if (!archive)
        return 0;
    (void)archive->DefaultTopic();
    (void)archive->Title();
    (void)archive->Language();
    for (const std::string& sitemap : {archive->ContentsFile(), archive->IndexFile()}) {
        const auto text = sitemap.empty() ? std::nullopt : archive->Read(sitemap);
        if (!text)
            continue;
        const std::vector<SitemapEntry> entries = ParseSitemap(*text);
        Require(entries.size() <= kMaxSitemapEntries);
        for (const SitemapEntry& entry : entries) {
            Require(entry.depth >= 0 && entry.depth < kMaxSitemapDepth);
            for (const SitemapTopic& topic : entry.topics)
                (void)ChmLocalPath(topic.local, "/");
        }
    }

    const auto reader = archive->Reopen();
    Require(reader != nullptr);
    std::map<ChmArchive::Range, std::string> pages;
    for (const std::string& name : reader->Files())
        if (const auto range = reader->RangeOf(name))
            pages.try_emplace(*range, name);
    constexpr std::uint64_t kPageBytes = 512 * 1024;
    for (const auto& [range, name] : pages) {
        const std::uint64_t price = reader->ReadCost(name, kPageBytes);
        if (reader->Spent() + price > reader->Budget())
            continue;
        const std::uint64_t before = reader->Spent();
        const auto page = reader->ReadStart(name, kPageBytes);
        Require(reader->Spent() - before <= std::min(price, ChmArchive::kMaxReadCost));
        Require(reader->Spent() <= reader->Budget());
        if (!page)
            continue;
        Require(page->size() == std::min(range.length, kPageBytes));
        (void)BoundPage(*page);
    }
    // Whole objects, as pictures and style sheets are read, while the first handle's budget lasts.
    for (const std::string& name : archive->Files())
        if (archive->Spent() + archive->ReadCost(name, ChmArchive::kMaxObjectBytes) <= archive->Budget())
            (void)archive->Read(name);
    return 0;
}
