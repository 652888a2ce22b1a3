// The desktop's trash, as the freedesktop.org Trash standard lays it out: where a clear keeps the file it
// empties, so that 「元に戻す」 in a file manager puts it back.
#pragma once

#include "records/status.h"

#include <string>
#include <string_view>

namespace records {

// A data file's content kept in the trash.
struct TrashedCopy {
    Status status;    // Ok, or why no copy could be kept: the place concerned and the system's reason
    std::string path; // the copy, in the trash's "files" directory; empty when there was nothing to keep
};

// Puts a copy of the data file that `name` stands for (by LookUpDataFile) into the user's trash, under the file's
// own name (numbered when the trash has one of that name already), with the trash information that takes it back
// to the file's place. The trash is the home trash ($XDG_DATA_HOME/Trash) when the file is on its file system, else
// the trash at the top of the file's own file system; the copy is on the disk when this returns. The data file is
// not touched, and a missing or empty file is not copied. A copy that fails leaves nothing in the trash.
[[nodiscard]] TrashedCopy CopyToTrash(std::string_view name);

// A path in the form the trash information keeps it: bytes other than letters, digits and "-._~/" as %XX.
std::string PercentEncoded(std::string_view bytes);

} // namespace records
