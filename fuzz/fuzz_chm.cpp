// The .chm reader on arbitrary bytes: it opens, finds the first page and reads every object, or refuses.
#include "scratch_dir.h"
#include "shell/chm_archive.h"

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
    std::size_t read = 0;
    for (const std::string& name : archive->Files())
        if (read++ < 64)
            (void)archive->Read(name);
    return 0;
}
