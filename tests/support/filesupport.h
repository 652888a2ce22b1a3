// What the tests share about files, in plain C++, so that the tests of the records layer link no Qt: a working
// directory of each test's own, environment variables, file bytes, record lines and a file size limit.
#pragma once

#include "records/status.h"

#include <sys/resource.h>

#include <ctime>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace files {

// Sets an environment variable for as long as it lives, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_previous;
};

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it, whatever the names' bytes.
class TemporaryDir {
public:
    explicit TemporaryDir(const std::string& pattern = {});
    ~TemporaryDir();
    TemporaryDir(const TemporaryDir&) = delete;
    TemporaryDir& operator=(const TemporaryDir&) = delete;
    bool valid() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// Makes a fresh temporary directory the current one for as long as it lives, and gives the test a data home
// ($XDG_DATA_HOME) of its own beside it, so that whatever a clear puts in the trash stays out of the user's.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;
    const std::string& path() const { return m_dir.path(); }
    const std::string& dataHome() const { return m_dataHome.path(); }

private:
    TemporaryDir m_dir;
    TemporaryDir m_dataHome;
    ScopedEnv m_dataHomeEnv;
    std::string m_previous;
};

// The data files' names, as the tests spell them.
inline const char* const kLedgerName = "テーマ１.txt";
inline const char* const kItemsName = "項目１.txt";
inline const char* const kThemeName = "テーマ名１.txt";

// File contents in the bytes they have on disk; names and paths as their bytes.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, std::string_view bytes);
bool FileExists(const std::string& path);
// The names in a directory, "." and ".." included, sorted; none when there is no such directory.
std::vector<std::string> Listing(const std::string& directory);
// Removes a directory and everything in it, by the names' bytes; true when it is gone.
bool RemoveTree(const std::string& path);
// UTF-8 text as code page 932 bytes.
std::string Cp932(std::string_view utf8);
// A path as a URL keeps it, the way the trash information is checked against: bytes other than letters,
// digits and "-._~/" as %XX.
std::string PercentEncoding(std::string_view path);

// A CSV file's records as RFC 4180 reads them, from its UTF-8 text after the byte-order mark: quoted fields with
// doubled quotes, records ended by CR LF. None for anything else, malformed UTF-8 included.
std::optional<std::vector<std::vector<std::string>>> ReadCsv(std::string_view bytes);

// One entry of a trash: the copy's name in files/ (the bytes the file system has), its bytes and its whole
// information file.
struct Trashed {
    std::string name;
    std::string bytes;
    std::string info;
};
// The entries of the trash at `trash`, by their information files; the file's own name before its numbered
// copies.
std::vector<Trashed> TrashEntries(const std::string& trash);
// What is wrong with an information file that should lead back to `path` (percent-encoded here, not by the
// program) and carry a deletion date in local time from `since` to now; empty when nothing is.
std::string TrashInfoFault(const std::string& info, const std::string& path, std::time_t since);
// The absolute path of a file in the current directory, in the bytes the file system has.
std::string Here(const std::string& name);

// A record line in code page 932: a deposit of the fixed test day (2026-12-07), an item of the list.
std::string Deposit(std::string_view item, const char* amount);
std::string Item(std::string_view item, const char* amount);

// A status as a developer reads it in a failed test: its code, what failed and its values.
std::string Describe(const records::Status& status);

// Makes writes past `bytes` fail, as a full disk does, for the life of the object. Tests run as root, who
// passes permission checks, so this is how they make a write fail.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
};

} // namespace files
