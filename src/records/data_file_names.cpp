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

bool StandsForDataFile(std::string_view entry, std::string_view name) {
    std::string decoded;
    std::size_t badOffset = 0;
    return IsValidUtf8(entry) ? FoldedName(entry) == FoldedName(name)
                              : DecodeCp932(entry, decoded, badOffset) && FoldedName(decoded) == FoldedName(name);
}

NameEncoding EncodingOfName(std::string_view entry) {
    if (IsValidUtf8(entry))
        return NameEncoding::Utf8;
    std::string decoded;
    std::size_t badOffset = 0;
    return DecodeCp932(entry, decoded, badOffset) ? NameEncoding::Cp932 : NameEncoding::Neither;
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

namespace {

// One file that entries standing for a name lead to, with every entry that names it, in order of name.
struct NamedFile {
    std::vector<std::string> names;
    struct stat st {};      // of the file, through a link; only when known
    bool known = false;     // false for a link that leads nowhere
    bool removable = false; // an empty regular file with this one name, and no link on the way
};

} // namespace

DataFileLookup LookUpDataFile(std::string_view name) {
    DataFileLookup lookup;
    std::vector<NamedFile> files;
    for (const std::string& entry : MatchingEntries(name)) {
        struct stat own {};
        if (lstat(entry.c_str(), &own) != 0)
            continue; // gone since the directory was read
        NamedFile file;
        file.known = stat(entry.c_str(), &file.st) == 0;
        if (file.known && !S_ISREG(file.st.st_mode)) {
            const bool folder = S_ISDIR(file.st.st_mode);
            lookup.notAFileKind = folder ? EntryKind::Directory : EntryKind::Special;
            lookup.notAFile = entry;
            lookup.status = Status::Failure(Status::Code::NotAFile,
                                            folder ? Status::What::FolderInPlace : Status::What::SpecialInPlace)
                                .withPlace(entry);
            return lookup;
        }
        // A hard link, or a link to a file already met, is another name of that file.
        const auto same = std::find_if(files.begin(), files.end(), [&](const NamedFile& f) {
            return file.known && f.known && f.st.st_dev == file.st.st_dev && f.st.st_ino == file.st.st_ino;
        });
        if (same != files.end()) {
            same->names.push_back(entry);
            same->removable = false;
            continue;
        }
        file.names.push_back(entry);
        file.removable = S_ISREG(own.st_mode) && own.st_nlink == 1 && own.st_size == 0;
        files.push_back(std::move(file));
    }
    if (files.empty()) {
        lookup.status = Status::Failure(Status::Code::NotFound, Status::What::SystemCall).withError(ENOENT);
        return lookup;
    }
    std::vector<const NamedFile*> holding;
    for (const NamedFile& file : files) {
        if (!file.known || file.st.st_size > 0)
            holding.push_back(&file);
    }
    if (holding.size() > 1) {
        std::vector<std::string> names;
        for (const NamedFile* file : holding)
            names.insert(names.end(), file->names.begin(), file->names.end());
        lookup.status = Status::Failure(Status::Code::Ambiguous, Status::What::SeveralHoldData).withEntries(names);
        return lookup;
    }
    // The one with data; when all are empty, the first by name, steadily.
    const NamedFile& chosen = holding.empty() ? files.front() : *holding.front();
    const auto exact = std::find(chosen.names.begin(), chosen.names.end(), name);
    lookup.used = exact != chosen.names.end() ? *exact : chosen.names.front();
    for (const std::string& entry : chosen.names) {
        if (entry != lookup.used)
            lookup.otherNames.push_back(entry);
    }
    for (const NamedFile& file : files) {
        if (&file != &chosen && file.removable)
            lookup.unusedEmpty.push_back(file.names.front());
    }
    return lookup;
}

std::string ResolveDataFileName(std::string_view name) {
    return LookUpDataFile(name).used;
}

} // namespace records
