// The plain file helpers of the tests.
#include "filesupport.h"

#include "records/cp932.h"
#include "records/utf8.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <ftw.h>
#include <iomanip>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* previous = std::getenv(name))
        m_previous = previous;
    setenv(name, value, 1);
}

ScopedEnv::~ScopedEnv() {
    if (m_previous)
        setenv(m_name, m_previous->c_str(), 1);
    else
        unsetenv(m_name);
}

TemporaryDir::TemporaryDir(const std::string& pattern) {
    std::string path = pattern;
    if (path.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/tsumotto-test-XXXXXX";
    }
    if (mkdtemp(path.data()))
        m_path = path;
}

TemporaryDir::~TemporaryDir() {
    if (!m_path.empty())
        (void)RemoveTree(m_path);
}

bool RemoveTree(const std::string& path) {
    // By the names' bytes: a data file unpacked in code page 932 goes as well as any other.
    nftw(
        path.c_str(), [](const char* entry, const struct stat*, int, FTW*) { return std::remove(entry); }, 16,
        FTW_DEPTH | FTW_PHYS);
    struct stat st {};
    return lstat(path.c_str(), &st) != 0;
}

ScopedWorkDir::ScopedWorkDir() : m_dataHomeEnv("XDG_DATA_HOME", m_dataHome.path().c_str()) {
    if (!m_dir.valid() || !m_dataHome.valid())
        throw std::runtime_error("no temporary directory");
    char* current = getcwd(nullptr, 0);
    m_previous = current ? current : "/";
    std::free(current);
    if (chdir(m_dir.path().c_str()) != 0)
        throw std::runtime_error("cannot enter the temporary directory");
}

ScopedWorkDir::~ScopedWorkDir() {
    if (chdir(m_previous.c_str()) != 0)
        std::perror("back to the directory before the test");
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> Listing(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(dir))
            names.emplace_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Cp932(std::string_view utf8) {
    std::string bytes;
    if (!records::EncodeCp932(utf8, bytes))
        throw std::invalid_argument("test text not in code page 932");
    return bytes;
}

std::string PercentEncoding(std::string_view path) {
    std::ostringstream out;
    out << std::uppercase << std::hex << std::setfill('0');
    for (const unsigned char c : path) {
        if (c < 0x80 && (std::isalnum(c) || (c != 0 && std::strchr("-._~/", c))))
            out << c;
        else
            out << '%' << std::setw(2) << static_cast<unsigned>(c);
    }
    return out.str();
}

std::vector<Trashed> TrashEntries(const std::string& trash) {
    const std::string_view extension = ".trashinfo";
    std::vector<std::string> names;
    for (const std::string& name : Listing(trash + "/info"))
        if (std::string_view(name).ends_with(extension))
            names.push_back(name.substr(0, name.size() - extension.size()));
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::vector<Trashed> entries;
    for (const std::string& name : names)
        entries.push_back(
            {name, ReadBytes(trash + "/files/" + name), ReadBytes(trash + "/info/" + name + ".trashinfo")});
    return entries;
}

std::string TrashInfoFault(const std::string& info, const std::string& path, std::time_t since) {
    // "[Trash Info]", "Path=" and "DeletionDate=" lines, each ended by a line feed, and nothing else.
    const std::string group = "[Trash Info]\nPath=", dateKey = "\nDeletionDate=";
    const std::size_t pathEnd = info.starts_with(group) ? info.find('\n', group.size()) : std::string::npos;
    const std::size_t dateStart = pathEnd == std::string::npos ? pathEnd : pathEnd + dateKey.size();
    if (pathEnd == std::string::npos || info.compare(pathEnd, dateKey.size(), dateKey) != 0 ||
        info.find('\n', dateStart) != info.size() - 1)
        return "not an information file: " + info;
    const std::string written = info.substr(group.size(), pathEnd - group.size());
    if (written != PercentEncoding(path))
        return "the path is " + written + ", not " + PercentEncoding(path);
    const std::string deleted = info.substr(dateStart, info.size() - 1 - dateStart);
    std::tm date{};
    const char* end = strptime(deleted.c_str(), "%Y-%m-%dT%H:%M:%S", &date);
    if (!end || *end != '\0')
        return "no deletion date: " + deleted;
    date.tm_isdst = -1;
    const std::time_t when = std::mktime(&date);
    if (when < since || when > std::time(nullptr))
        return "deleted at " + deleted + ", not since the test began";
    return {};
}

std::optional<std::vector<std::vector<std::string>>> ReadCsv(std::string_view bytes) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    if (!bytes.starts_with(kMark) || !records::IsValidUtf8(bytes.substr(kMark.size())))
        return std::nullopt;
    // Byte by byte: the quote, comma, CR and LF never occur inside a UTF-8 sequence.
    const std::string_view text = bytes.substr(kMark.size());
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false, wasQuoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else
                quoted = false;
        } else if (c == '"' && field.empty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == ',' || c == '\r') {
            fields.push_back(std::move(field));
            field.clear();
            wasQuoted = false;
            if (c == '\r') {
                if (i + 1 >= text.size() || text[++i] != '\n')
                    return std::nullopt;
                records.push_back(std::move(fields));
                fields.clear();
            }
        } else if (c == '"' || c == '\n' || wasQuoted) {
            return std::nullopt; // a quote inside a bare field, a bare LF, or text after a closing quote
        } else {
            field += c;
        }
    }
    if (quoted || !fields.empty() || !field.empty())
        return std::nullopt; // the last record must end with CR LF
    return records;
}

std::string Here(const std::string& name) {
    char* here = realpath(".", nullptr);
    const std::string path = std::string(here ? here : ".") + '/' + name;
    std::free(here);
    return path;
}

std::string Deposit(std::string_view item, const char* amount) {
    return Cp932("\"2026年12月07日\",\"" + std::string(item) + "\",") + amount + "\r\n";
}

std::string Item(std::string_view item, const char* amount) {
    return Cp932("\"" + std::string(item) + "\",") + amount + "\r\n";
}

std::string Describe(const records::Status& status) {
    std::string text = "code " + std::to_string(static_cast<int>(status.code())) + ", what " +
                       std::to_string(static_cast<int>(status.what()));
    if (status.line() != 0)
        text += ", line " + std::to_string(status.line());
    if (status.limit() != 0)
        text += ", limit " + std::to_string(status.limit());
    if (status.error() != 0)
        text += ", " + std::string(std::strerror(status.error()));
    if (!status.place().empty())
        text += ", at " + status.place();
    if (!status.text().empty())
        text += ", text " + status.text();
    for (const std::string& entry : status.entries())
        text += ", entry " + entry;
    return text;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
}

} // namespace files
