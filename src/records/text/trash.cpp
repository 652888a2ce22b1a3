// Copies of data files in the freedesktop.org trash: the trash directory for the file's file system, the copy made
// beside the file, then a name of its own in the trash, its information file, and the copy renamed to that name,
// each flushed to the disk.
#include "records/text/trash.h"

#include "records/text/posix_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace records {
namespace {

// More copies of one name than anyone keeps in a trash: past this, something else is wrong.
constexpr int kMaxNumberedNames = 10000;

// A file made on the way, removed unless it has been taken where it belongs.
struct TemporaryFile {
    std::string path;
    ~TemporaryFile() {
        if (!path.empty())
            (void)::unlink(path.c_str());
    }
};

// A failed call, with the place it concerned, for the user.
Status Failed(const std::string& path, int error) {
    char buffer[256];
    return Status::Failure(Status::Code::System,
                           "「" + DisplayName(path) + "」: " + strerror_r(error, buffer, sizeof buffer));
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

// $XDG_DATA_HOME/Trash; a relative $XDG_DATA_HOME is no valid setting and is ignored, as the XDG base directory
// standard says.
std::string HomeTrash() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
        return std::string(data) + "/Trash";
    const std::string home = HomeDirectory();
    return home.empty() ? std::string() : home + "/.local/share/Trash";
}

std::string Parent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// The device the path is on, or would be on once made: that of its nearest existing directory above.
dev_t DeviceOf(std::string path) {
    struct stat st {};
    while (stat(path.c_str(), &st) != 0 && path != "/")
        path = Parent(path);
    return st.st_dev;
}

// Makes the directory and those missing above it, as the user's own (0700). 0, or why it is not a directory.
int MakeDirectories(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    if (const int error = path == "/" ? 0 : MakeDirectories(Parent(path)))
        return error;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    if (stat(path.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Where the file system that holds `path` is mounted: the topmost directory above it on the same device.
std::string TopDirectory(const std::string& path, dev_t device) {
    std::string top = Parent(path);
    while (top != "/") {
        struct stat st {};
        const std::string up = Parent(top);
        if (stat(up.c_str(), &st) != 0 || st.st_dev != device)
            break;
        top = up;
    }
    return top;
}

// A directory of this user's that nobody could have put in the way: not a link, owned by the user.
bool IsOwnDirectory(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

// The trash at the top of another file system: $topdir/.Trash/$uid when an administrator has made $topdir/.Trash
// (a directory, not a link, with the sticky bit), else $topdir/.Trash-$uid, made when missing.
std::string TopDirectoryTrash(const std::string& top) {
    const std::string uid = std::to_string(getuid());
    const std::string base = top == "/" ? std::string() : top;
    const std::string shared = base + "/.Trash";
    struct stat st {};
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const std::string mine = shared + "/" + uid;
        (void)::mkdir(mine.c_str(), 0700);
        if (IsOwnDirectory(mine))
            return mine;
    }
    const std::string mine = base + "/.Trash-" + uid;
    (void)::mkdir(mine.c_str(), 0700);
    return IsOwnDirectory(mine) ? mine : std::string();
}

// The trash for a file at `original` on `device`, made when missing, and the file's path as its information keeps
// it: absolute in the home trash, relative to the top directory in a top directory's trash.
Status LocateTrash(const std::string& original, dev_t device, std::string& trash, std::string& kept) {
    const std::string home = HomeTrash();
    if (home.empty())
        return Status::Failure(Status::Code::System, "ホームフォルダーがわかりません（HOME が設定されていません）");
    if (DeviceOf(home) == device) {
        if (const int error = MakeDirectories(home))
            return Failed(home, error);
        trash = home;
        kept = original;
        return {};
    }
    const std::string top = TopDirectory(original, device);
    trash = TopDirectoryTrash(top);
    if (trash.empty())
        return Status::Failure(Status::Code::System,
                               "「" + DisplayName(top) + "」のファイルシステムには、ゴミ箱を作れません");
    kept = original.substr(top == "/" ? 1 : top.size() + 1);
    return {};
}

// The copy's name in the trash: the file's own, then "テーマ１.2.txt", "テーマ１.3.txt", ... as file managers
// number theirs.
std::string NumberedName(const std::string& name, int n) {
    if (n == 1)
        return name;
    const std::size_t dot = name.find('.', 1);
    if (dot == std::string::npos)
        return name + "." + std::to_string(n);
    return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

// Local time without a zone, as the Trash standard has it.
std::string DeletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// The source's bytes into `to`, with its permissions and times, flushed to the disk and closed: 0 or the error.
int CopyContent(int from, int to, const struct stat& source) {
    char chunk[64 * 1024];
    int error = 0;
    for (off_t offset = 0; error == 0;) {
        const ssize_t n = pread(from, chunk, sizeof chunk, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        if (WriteAll(to, std::string_view(chunk, static_cast<std::size_t>(n)), error))
            offset += n;
    }
    if (error == 0) {
        // Keeping the file's mode and times is a courtesy to whoever restores it; not every file system keeps them.
        (void)fchmod(to, source.st_mode & 07777);
        const timespec times[2] = {source.st_atim, source.st_mtim};
        (void)futimens(to, times);
        if (fsync(to) != 0)
            error = errno;
    }
    if (::close(to) != 0 && error == 0)
        error = errno;
    return error;
}

} // namespace

std::string PercentEncoded(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '/') {
            out += byte;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

TrashedCopy CopyToTrash(std::string_view name) {
    TrashedCopy result;
    const DataFileLookup lookup = LookUpDataFile(name);
    if (lookup.status.code() == Status::Code::NotFound)
        return result;
    if (!lookup.status) {
        result.status = lookup.status;
        return result;
    }
    const FdCloser source{::open(lookup.used.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (source.fd < 0 && errno == ENOENT)
        return result;
    struct stat st {};
    if (source.fd < 0 || fstat(source.fd, &st) != 0) {
        result.status = Failed(lookup.used, errno);
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.status =
            Status::Failure(Status::Code::System, "「" + DisplayName(lookup.used) + "」は通常のファイルではありません");
        return result;
    }
    if (st.st_size == 0)
        return result;
    // The file the name leads to, through any link, is the one a clear empties and a restore puts back.
    std::string original;
    if (char* real = realpath(lookup.used.c_str(), nullptr)) {
        original = real;
        std::free(real);
    } else {
        result.status = Failed(lookup.used, errno);
        return result;
    }

    std::string trash, kept;
    if (result.status = LocateTrash(original, st.st_dev, trash, kept); !result.status)
        return result;
    const std::string filesPath = trash + "/files", infoPath = trash + "/info";
    for (const std::string& directory : {filesPath, infoPath}) {
        if (const int error = MakeDirectories(directory)) {
            result.status = Failed(directory, error);
            return result;
        }
    }
    const FdCloser files{::open(filesPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    const FdCloser info{::open(infoPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (files.fd < 0 || info.fd < 0) {
        result.status = Failed(files.fd < 0 ? filesPath : infoPath, errno);
        return result;
    }

    // The copy is made beside the file first, as a rewrite makes its new content, and comes into the trash whole,
    // by a rename: the trash never holds part of a copy. A copy cut off by a kill is a rewrite's leftover to the
    // next start, which removes it.
    const std::string own = original.substr(original.rfind('/') + 1);
    const std::string destination = filesPath + "/" + own;
    const std::string folder = original.substr(0, original.rfind('/') + 1);
    std::string pattern;
    const int copyFd = MakeTemporaryBeside(folder, own, pattern);
    if (copyFd < 0) {
        result.status = Failed(folder, errno);
        return result;
    }
    TemporaryFile copy{pattern};
    if (const int error = CopyContent(source.fd, copyFd, st)) {
        result.status = Failed(destination, error);
        return result;
    }

    const std::string information =
        "[Trash Info]\nPath=" + PercentEncoded(kept) + "\nDeletionDate=" + DeletionDate() + "\n";
    for (int n = 1; n <= kMaxNumberedNames; ++n) {
        const std::string entry = NumberedName(own, n);
        const std::string infoName = entry + ".trashinfo";
        struct stat taken {};
        if (fstatat(files.fd, entry.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
            continue;
        // The information file first, made only if its name is free, so that two programs trashing one name at
        // once take two names; then the copy under the same name.
        const int infoFd =
            openat(info.fd, infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (infoFd < 0 && errno == EEXIST)
            continue;
        if (infoFd < 0) {
            result.status = Failed(infoPath, errno);
            return result;
        }
        // Written, renamed, and only then flushed: a kill finds the information file without its copy for as short
        // a time as can be, and the caller empties the file only after both are on the disk.
        int error = 0;
        bool renamed = false;
        if (WriteAll(infoFd, information, error)) {
            renamed = renameat(AT_FDCWD, copy.path.c_str(), files.fd, entry.c_str()) == 0;
            if (!renamed)
                error = errno;
            else if (fsync(infoFd) != 0)
                error = errno;
        }
        if (::close(infoFd) != 0 && error == 0)
            error = errno;
        if (renamed)
            copy.path = filesPath + "/" + entry; // taken back if anything failed
        if (error != 0) {
            (void)unlinkat(info.fd, infoName.c_str(), 0);
            result.status = Failed(filesPath + "/" + entry, error);
            return result;
        }
        copy.path.clear();
        (void)fsync(files.fd);
        (void)fsync(info.fd);
        result.path = filesPath + "/" + entry;
        return result;
    }
    result.status = Failed(filesPath, EEXIST);
    return result;
}

} // namespace records
