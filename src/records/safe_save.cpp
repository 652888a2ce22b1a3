// The safe save, and the removal of what a safe save cut off leaves behind.
#include "records/safe_save.h"

#include "records/data_file_names.h"
#include "records/posix_io.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace records {

void SyncFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    FdCloser dir{::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0)
        fsync(dir.fd);
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

SafeSave::~SafeSave() {
    discard();
}

int SafeSave::begin(const std::string& target, mode_t mode) {
    discard();
    // Beside the target, so that the rename that puts it in place stays on one file system.
    std::string pattern =
        target.substr(0, target.rfind('/') + 1) + "." + target.substr(target.rfind('/') + 1) + ".XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    // Keeping the old mode is a courtesy: some file systems (FAT) refuse it, and that is no reason to fail.
    (void)fchmod(fd, mode);
    m_fd = fd;
    m_target = target;
    m_temporary = pattern;
    return 0;
}

int SafeSave::flush() {
    int error = fsync(m_fd) != 0 ? errno : 0;
    if (::close(m_fd) != 0 && error == 0)
        error = errno;
    m_fd = -1;
    return error;
}

int SafeSave::replace() {
    if (std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        const int error = errno;
        discard();
        return error;
    }
    m_temporary.clear();
    SyncFolderOf(m_target);
    return 0;
}

int SafeSave::moveTo(int folderFd, const std::string& name, const std::string& path) {
    if (renameat(AT_FDCWD, m_temporary.c_str(), folderFd, name.c_str()) != 0)
        return errno;
    m_temporary = path;
    return 0;
}

void SafeSave::keep() {
    m_temporary.clear();
}

void SafeSave::discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty())
        (void)::unlink(m_temporary.c_str());
    m_temporary.clear();
}

int RemoveLeftoverTemporaries(std::span<const std::string_view> names) {
    std::vector<std::string> folded;
    for (const std::string_view name : names)
        folded.push_back(FoldedName(name));
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("."), closedir);
    if (!dir)
        return 0;
    // A safe save writes to "." + the file's name + "." + six letters or digits (mkostemp), beside the file.
    std::vector<std::string> leftovers;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view entryName = entry->d_name;
        if (entryName.size() < 9 || entryName.front() != '.' || entryName[entryName.size() - 7] != '.')
            continue;
        const std::string_view suffix = entryName.substr(entryName.size() - 6);
        if (!std::all_of(suffix.begin(), suffix.end(),
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            continue;
        const std::string base = FoldedName(DisplayName(entryName.substr(1, entryName.size() - 8)));
        if (std::find(folded.begin(), folded.end(), base) != folded.end())
            leftovers.emplace_back(entryName);
    }
    int removed = 0;
    for (const std::string& leftover : leftovers) {
        struct stat st {};
        if (lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(leftover.c_str()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace records
