// Finding a data file by its bare name: the entries of the current directory that stand for it.
#include "records/data_file_names.h"

#include "records/cp932.h"
#include "records/utf8.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace records {
namespace {

// Windows compares file names ignoring the case of letters, not only of ASCII ones: fold the scripts a
// data file name may plausibly be written in.
char32_t FoldCase(char32_t cp) {
    if ((cp >= U'A' && cp <= U'Z') || (cp >= U'\u00C0' && cp <= U'\u00DE' && cp != U'\u00D7') ||
        (cp >= U'\u0391' && cp <= U'\u03A9' && cp != U'\u03A2') || (cp >= U'\u0410' && cp <= U'\u042F'))
        return cp + 0x20;
    if (cp >= U'\u0400' && cp <= U'\u040F')
        return cp + 0x50;
    if (cp >= U'\uFF21' && cp <= U'\uFF3A')
        return cp + 0x20;
    return cp;
}

} // namespace

std::string FoldedName(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();)
        AppendUtf8(out, FoldCase(NextCodePoint(utf8, pos)));
    return out;
}

std::string DisplayName(std::string_view entry) {
    if (IsValidUtf8(entry))
        return std::string(entry);
    std::string decoded;
    std::size_t badOffset = 0;
    if (DecodeCp932(entry, decoded, badOffset))
        return decoded;
    std::string shown; // neither: show the bytes that are text, and the rest as ?
    for (const char c : entry)
        shown += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return shown;
}

namespace {

// The entries of the current directory whose names, read as text, fold to the same as name.
std::vector<std::string> MatchingEntries(std::string_view name) {
    std::vector<std::string> matches;
    const std::string folded = FoldedName(name);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("."), closedir);
    if (!dir) {
        struct stat st {};
        if (lstat(std::string(name).c_str(), &st) == 0)
            matches.emplace_back(name);
        return matches;
    }
    std::string decoded;
    std::size_t badOffset = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view entryName = entry->d_name;
        if (IsValidUtf8(entryName) ? FoldedName(entryName) == folded
                                   : DecodeCp932(entryName, decoded, badOffset) && FoldedName(decoded) == folded)
            matches.emplace_back(entryName);
    }
    std::sort(matches.begin(), matches.end());
    return matches;
}

} // namespace

DataFileLookup LookUpDataFile(std::string_view name) {
    DataFileLookup lookup;
    const std::vector<std::string> matches = MatchingEntries(name);
    if (matches.empty()) {
        lookup.status = Status::Failure(Status::Code::NotFound, Status::What::SystemCall).withError(ENOENT);
        return lookup;
    }
    if (matches.size() == 1) {
        lookup.used = matches.front();
        return lookup;
    }
    std::vector<std::string> holding;
    for (const std::string& entry : matches) {
        struct stat st {};
        const bool emptyFile = lstat(entry.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
        if (emptyFile)
            lookup.unusedEmpty.push_back(entry);
        else
            holding.push_back(entry);
    }
    if (holding.size() > 1) {
        lookup.status = Status::Failure(Status::Code::Ambiguous, Status::What::SeveralHoldData).withEntries(holding);
        lookup.unusedEmpty.clear();
        return lookup;
    }
    if (holding.size() == 1) {
        lookup.used = holding.front();
    } else { // all empty: the first by name, steadily
        lookup.used = lookup.unusedEmpty.front();
        lookup.unusedEmpty.erase(lookup.unusedEmpty.begin());
    }
    return lookup;
}

std::string ResolveDataFileName(std::string_view name) {
    return LookUpDataFile(name).used;
}

} // namespace records
