// The .chm reader on arbitrary bytes: it opens, finds the first page, reads every object and the sitemaps and
// follows their links, or refuses.
#include "help/chm_archive.h"
#include "help/chm_sitemap.h"
#include "scratch_dir.h"

#include <cstdio>

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
        for (const SitemapEntry& entry : ParseSitemap(*text))
            for (const SitemapTopic& topic : entry.topics)
                (void)ChmLocalPath(topic.local, "/");
    }
    std::size_t read = 0;
    for (const std::string& name : archive->Files())
        if (read++ < 64)
            (void)archive->Read(name);
    return 0;
}
