// The safe save: a file's new content is written to a temporary file beside it, flushed to the disk, and only then
// put in the file's place by a rename, whose folder is flushed too. A failure or a kill at any point leaves the old
// file as it was, and the new content, once in place, is on the disk whole. Record files and the trash both save
// this way; anything that writes a file later should too.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace records {

class SafeSave {
public:
    SafeSave() = default;
    ~SafeSave(); // a content not put in its place is removed
    SafeSave(const SafeSave&) = delete;
    SafeSave& operator=(const SafeSave&) = delete;

    // Makes the temporary file beside `target` (a path): "." + the target's name + "." + six letters or
    // digits, with `mode`. 0, or the system's error.
    [[nodiscard]] int begin(const std::string& target, mode_t mode);
    // Where the new content is written, until flush.
    int fd() const { return m_fd; }
    bool active() const { return !m_temporary.empty(); }

    // Flushes the content to the disk and closes it: 0, or the system's error.
    [[nodiscard]] int flush();
    // Puts the flushed content in the target's place and flushes its folder: 0, or the system's error. The
    // temporary file is gone either way.
    [[nodiscard]] int replace();
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

// Removes what writes that were cut off (a kill, a power cut) left in the current directory: the temporary files
// of safe saves of the named data files. Returns how many.
int RemoveLeftoverTemporaries(std::span<const std::string_view> names);

} // namespace records
