// The data files by their bare names in the current directory, matched as Windows matches names: without
// regard to letter case, and in code page 932 for names unpacked from Windows archives.
#pragma once

#include "records/status.h"

#include <string>
#include <string_view>
#include <vector>

namespace records {

// What an entry that stands for a data file name is, following a symbolic link.
enum class EntryKind {
    File,      // a regular file, or a link to one
    Directory, // a folder, or a link to one
    Special,   // a pipe, a device or a socket
};

// How a bare data file name is resolved in the current directory. Every operation on a data file goes
// through the same rule, so that reading, appending and rewriting never reach two different files:
// - the entries whose names equal the name ignoring letter case (read as UTF-8, or as code page 932 for
//   names unpacked from Windows archives) all stand for it;
// - entries that are names of one file (hard links, or links to it) are that one file, known by the entry
//   spelt exactly as the name when there is one, else by the first by name;
// - one file is the file; none, and the file does not exist;
// - with several files, the one that holds data is the file and the others are empty leftovers; when all
//   are empty, the first by name; when more than one holds data, nothing is guessed: the lookup is
//   Ambiguous and names them;
// - an entry that is not a file (a directory, a pipe) stops the name from being used at all: NotAFile, with
//   the entry as the status's place.
struct DataFileLookup {
    Status status;                            // Ok, NotFound, Ambiguous or NotAFile
    std::string used;                         // the entry the name stands for, when status is Ok
    std::vector<std::string> otherNames;      // other entries that name the same file as `used`: never removed
    std::vector<std::string> unusedEmpty;     // entries of other files, each an empty regular file of one name
    std::string notAFile;                     // with NotAFile: the entry that is not a file,
    EntryKind notAFileKind = EntryKind::File; // and what it is
};
DataFileLookup LookUpDataFile(std::string_view name);

// The entry a bare name stands for under that rule; empty when there is none or the name is ambiguous.
std::string ResolveDataFileName(std::string_view name);

// Whether an entry of that name would stand for the data file `name` under that rule.
bool StandsForDataFile(std::string_view entry, std::string_view name);

// How an entry's name is written: as UTF-8, or in code page 932 (unpacked from a Windows archive), where it
// looks the same to the user as a UTF-8 name of the same letters.
enum class NameEncoding { Utf8, Cp932, Neither };
NameEncoding EncodingOfName(std::string_view entry);

// A directory entry's name as text for the user: as UTF-8, or decoded from code page 932.
std::string DisplayName(std::string_view entry);

// A name folded for comparing as Windows compares file names: the same for names that differ only in the
// case of their letters.
std::string FoldedName(std::string_view utf8);

} // namespace records
