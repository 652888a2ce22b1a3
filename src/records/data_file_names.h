// The data files by their bare names in the current directory, matched as Windows matches names: without
// regard to letter case, and in code page 932 for names unpacked from Windows archives.
#pragma once

#include "records/status.h"

#include <string>
#include <string_view>
#include <vector>

namespace records {

// How a bare data file name is resolved in the current directory. Every operation on a data file goes
// through the same rule, so that reading, appending and rewriting never reach two different files:
// - the entries whose names equal the name ignoring letter case (read as UTF-8, or as code page 932 for
//   names unpacked from Windows archives) all stand for it;
// - with one such entry, that is the file; with none, the file does not exist;
// - with several, the one that holds data is the file and the others are empty leftovers; when all are
//   empty, the first by name; when more than one holds data (or is not a regular file), nothing is
//   guessed: the lookup is Ambiguous and names them.
struct DataFileLookup {
    Status status;                        // Ok, NotFound or Ambiguous
    std::string used;                     // the entry the name stands for, when status is Ok
    std::vector<std::string> unusedEmpty; // other matching entries, all empty regular files
};
DataFileLookup LookUpDataFile(std::string_view name);

// The entry a bare name stands for under that rule; empty when there is none or the name is ambiguous.
std::string ResolveDataFileName(std::string_view name);

// A directory entry's name as text for the user: as UTF-8, or decoded from code page 932.
std::string DisplayName(std::string_view entry);

// A name folded for comparing as Windows compares file names: the same for names that differ only in the
// case of their letters.
std::string FoldedName(std::string_view utf8);

} // namespace records
