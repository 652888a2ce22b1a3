// Identities of data files, and a replacement that happens only over the file the program knows.
#include "records/file_identity.h"

#include "records/data_file_names.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace records {

FileIdentity IdentityOf(const struct stat& st) {
    FileIdentity identity;
    identity.state = FileIdentity::State::Present;
    identity.device = static_cast<std::uint64_t>(st.st_dev);
    identity.inode = static_cast<std::uint64_t>(st.st_ino);
    identity.size = static_cast<std::int64_t>(st.st_size);
    identity.modifiedSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    identity.modifiedNanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return identity;
}

FileIdentity IdentifyDataFile(std::string_view name) {
    FileIdentity identity;
    const DataFileLookup lookup = LookUpDataFile(name);
    if (lookup.status.code() == Status::Code::NotFound)
        return identity;
    struct stat st {};
    if (!lookup.status || stat(lookup.used.c_str(), &st) != 0) {
        // A link that leads nowhere is no file, as opening it finds.
        if (lookup.status && errno == ENOENT)
            return identity;
        identity.state = FileIdentity::State::Unusable;
        return identity;
    }
    return IdentityOf(st);
}

namespace {

// A file system that cannot swap or guard names in one step says so with one of these.
bool Unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

bool Unchanged(const char* path, const FileIdentity& expected) {
    struct stat st {};
    if (lstat(path, &st) != 0)
        return errno == ENOENT && expected.state == FileIdentity::State::Missing;
    return IdentityOf(st) == expected;
}

} // namespace

Replaced ReplaceIfUnchanged(std::string& temporary, const std::string& target, const FileIdentity& expected,
                            int& error) {
    const char* from = temporary.c_str();
    const char* to = target.c_str();
    if (expected.state == FileIdentity::State::Unusable)
        return Replaced::Changed; // it was not one file then; whatever it is now, it is not what was read
    if (expected.state == FileIdentity::State::Missing) {
        if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
            return Replaced::Yes;
        if (errno == EEXIST)
            return Replaced::Changed;
        if (!Unsupported(errno)) {
            error = errno;
            return Replaced::Failed;
        }
    } else if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) == 0) {
        // The two names have swapped: the file that was in the place is now under the temporary name.
        if (Unchanged(from, expected)) {
            ::unlink(from);
            return Replaced::Yes;
        }
        // Another program's file: back to its place, and ours to the temporary name again.
        if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) != 0 && std::rename(from, to) != 0)
            temporary.clear();
        return Replaced::Changed;
    } else if (errno == ENOENT) {
        return Replaced::Changed; // removed since it was read
    } else if (!Unsupported(errno)) {
        error = errno;
        return Replaced::Failed;
    }
    // No swapping here (some network and FUSE file systems): check, then replace.
    if (!Unchanged(to, expected))
        return Replaced::Changed;
    if (std::rename(from, to) != 0) {
        error = errno;
        return Replaced::Failed;
    }
    return Replaced::Yes;
}

} // namespace records
