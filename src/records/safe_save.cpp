// The safe save, and the removal of what a safe save cut off leaves behind.
#include "records/safe_save.h"

#include "records/data_file_names.h"
#include "records/posix_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
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

int MakeTemporaryBeside(std::string_view directory, std::string_view base, std::string& path) {
    path.assign(directory);
    path += '.';
    path += base;
    path += kTemporaryMark;
    path += "XXXXXX"; // mkostemp's six letters or digits
    return mkostemp(path.data(), O_CLOEXEC);
}

namespace {

constexpr std::size_t kTemporaryLetters = 6;

bool IsAsciiLetterOrDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The name of the data file an entry is a temporary of, when it has exactly the shape MakeTemporaryBeside
// gives; nothing otherwise.
std::optional<std::string_view> TemporaryOf(std::string_view entry) {
    const std::size_t tail = kTemporaryMark.size() + kTemporaryLetters;
    if (entry.size() <= tail + 1 || entry.front() != '.' ||
        entry.substr(entry.size() - tail, kTemporaryMark.size()) != kTemporaryMark)
        return std::nullopt;
    const std::string_view letters = entry.substr(entry.size() - kTemporaryLetters);
    if (!std::all_of(letters.begin(), letters.end(), IsAsciiLetterOrDigit))
        return std::nullopt;
    return entry.substr(1, entry.size() - tail - 1);
}

// Another name for `existing`, made beside `base` in the current directory with a temporary's shape.
bool LinkTemporaryBeside(const std::string& existing, std::string_view base, std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = MakeTemporaryBeside({}, base, path);
        if (fd < 0)
            return false;
        ::close(fd);
        ::unlink(path.c_str()); // the name was free a moment ago, and nobody else makes names of this shape
        if (::link(existing.c_str(), path.c_str()) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

} // namespace

int SafeSave::begin(const std::string& target, mode_t mode) {
    discard();
    // Beside the target, so that the rename that puts it in place stays on one file system.
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string path;
    const int fd = MakeTemporaryBeside(directory, base, path);
    if (fd < 0)
        return errno;
    // Keeping the old mode is a courtesy: some file systems (FAT) refuse it, and that is no reason to fail.
    (void)fchmod(fd, mode);
    m_fd = fd;
    m_target = target;
    m_temporary = path;
    return 0;
}

int SafeSave::flush() {
    int error = fsync(m_fd) != 0 ? errno : 0;
    if (::close(m_fd) != 0 && error == 0)
        error = errno;
    m_fd = -1;
    return error;
}

int SafeSave::replace(const FileIdentity* expected, std::span<const std::string> otherNames) {
    // The other names are linked to the new content first, so that a failure leaves every name as it was; then
    // all are renamed into place, which does not fail for want of room.
    std::vector<std::pair<std::string, std::string>> links; // a new link, and the name it goes to
    int error = 0;
    for (const std::string& other : otherNames) {
        std::string link;
        if (!LinkTemporaryBeside(m_temporary, other, link)) {
            error = errno;
            break;
        }
        links.emplace_back(std::move(link), other);
    }
    if (error == 0 && expected) {
        switch (ReplaceIfUnchanged(m_temporary, m_target, *expected, error)) {
        case Replaced::Yes:
            break;
        case Replaced::Changed:
            error = kChanged;
            break;
        case Replaced::Failed:
            break;
        }
    } else if (error == 0 && std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        for (const auto& link : links)
            ::unlink(link.first.c_str());
        discard();
        return error;
    }
    m_temporary.clear();
    for (const auto& [link, other] : links) {
        if (std::rename(link.c_str(), other.c_str()) != 0)
            ::unlink(link.c_str()); // that name keeps the old content: the next start names both
    }
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
    std::vector<std::string> leftovers;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view entryName = entry->d_name;
        const std::optional<std::string_view> of = TemporaryOf(entryName);
        if (of && std::find(folded.begin(), folded.end(), FoldedName(DisplayName(*of))) != folded.end())
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
