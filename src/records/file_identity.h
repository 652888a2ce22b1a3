// What tells one state of a data file from another, so that the program writes only over the file it last read
// or wrote: which file the name stands for (device and inode), its size and its modification time to the
// nanosecond. Another program that renames a new file over it, writes it in place, makes or removes it, changes
// one of these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace records {

struct FileIdentity {
    enum class State {
        Missing,  // no file by that name
        Present,  // the fields below tell which file, and which state of it
        Unusable, // several entries with data stand for the name, or it could not be looked at
    };
    State state = State::Missing;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;

    bool present() const { return state == State::Present; }
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of what a stat call found.
FileIdentity IdentityOf(const struct stat& st);

// The identity of the data file a bare name stands for, found by LookUpDataFile as every operation finds it;
// through a link, of the file it leads to (the one the operations read and write).
FileIdentity IdentifyDataFile(std::string_view name);

// Puts the finished `temporary` in the place of `target` only when `target` is still the file `expected` tells
// (or, when that is Missing, still absent); otherwise nothing is replaced. The check and the replacement are one
// step where the file system can swap two names at once (renameat2), and a check just before the rename where it
// cannot. Afterwards `temporary` names only what the caller wrote, or nothing: in the one case where another
// program's file could not be put back in its place, it is left where it is and `temporary` is emptied, so that
// the caller does not remove it. Failed sets `error`.
enum class Replaced { Yes, Changed, Failed };
[[nodiscard]] Replaced ReplaceIfUnchanged(std::string& temporary, const std::string& target,
                                          const FileIdentity& expected, int& error);

} // namespace records
