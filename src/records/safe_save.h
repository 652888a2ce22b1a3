// The safe save: a file's new content is written to a temporary file beside it, flushed to the disk, and only then
// put in the file's place by a rename, whose folder is flushed too. A failure or a kill at any point leaves the old
// file as it was, and the new content, once in place, is on the disk whole. Record files and the trash both save
// this way; anything that writes a file later should too.
#pragma once

#include "records/file_identity.h"

#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace records {

// The program's own temporary files are named "." + the name of the file they are made for + this mark + six
// letters or digits, beside that file: hidden, in the same folder so that a rename puts them in place whole, and
// marked so that no file of the user's or of another program is ever taken for one.
inline constexpr std::string_view kTemporaryMark = ".tsumotto-tmp-";

// Makes a new, empty temporary file for `base` in `directory` (with a slash at its end, or empty for the current
// directory) and opens it for writing. Its path goes in `path`; -1 with errno when none was made.
int MakeTemporaryBeside(std::string_view directory, std::string_view base, std::string& path);

class SafeSave {
public:
    // What replace gives when the file in the target's place is no longer the one expected.
    static constexpr int kChanged = -1;

    SafeSave() = default;
    ~SafeSave(); // a content not put in its place is removed
    SafeSave(const SafeSave&) = delete;
    SafeSave& operator=(const SafeSave&) = delete;

    // Makes the temporary file beside `target` (a path), named as MakeTemporaryBeside names it, with `mode`. 0, or
    // the system's error.
    [[nodiscard]] int begin(const std::string& target, mode_t mode);
    // Where the new content is written, until flush.
    int fd() const { return m_fd; }
    bool active() const { return !m_temporary.empty(); }

    // Flushes the content to the disk and closes it: 0, or the system's error.
    [[nodiscard]] int flush();
    // Puts the flushed content in the target's place and flushes its folder: 0, or the system's error. The
    // temporary file is gone either way. With `expected`, only over that file: kChanged, leaving the file in
    // the place as it is, when another program has changed, replaced, made or removed it. `otherNames` (hard
    // links of the target beside it) are given the new content too, so that they stay names of one file.
    [[nodiscard]] int replace(const FileIdentity* expected = nullptr, std::span<const std::string> otherNames = {});
    // Or gives the flushed content another name, `name` in the folder `folderFd` on the same file system, which
    // `path` names: 0, or the system's error. The file is still removed at the end unless kept.
    [[nodiscard]] int moveTo(int folderFd, const std::string& name, const std::string& path);
    // Leaves the file where it is now.
    void keep();
    // Removes the content now, wherever it is.
    void discard();

private:
    int m_fd = -1;
    std::string m_target;
    std::string m_temporary; // where the content is now
};

// The default mode of a new file: 0666 less the process's umask.
mode_t NewFileMode();

// Makes a new or renamed directory entry durable: flushes the folder `path` is in.
void SyncFolderOf(const std::string& path);

// Removes what writes that were cut off (a kill, a power cut) left in the current directory: the regular files
// whose names have exactly the temporaries' shape for one of the named data files. Nothing else is removed,
// whatever its name. Returns how many.
int RemoveLeftoverTemporaries(std::span<const std::string_view> names);

} // namespace records
