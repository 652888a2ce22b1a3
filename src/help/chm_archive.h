// A compiled HTML Help (.chm) file, read with libmspack's CHM decompressor: its pages, style sheets and
// pictures by path, the page it opens with, its title, and where its table of contents and index are.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct mschm_decompressor;
struct mschmd_file;
struct mschmd_header;

class ChmArchive {
public:
    // The largest object read from a file; help pages and pictures are far smaller.
    static constexpr std::uint64_t kMaxObjectBytes = 16u << 20;
    // The largest file opened at all; help files are a fraction of it.
    static constexpr std::uint64_t kMaxFileBytes = 64u << 20;
    // The most memory libmspack may hold for one file at a time: its directory listing, chunk cache and
    // LZX window. A real help file needs a few megabytes.
    static constexpr std::uint64_t kMaxLibraryBytes = 64u << 20;

    // Null when the file is missing, unreadable, too large or not a .chm libmspack can read.
    static std::unique_ptr<ChmArchive> Open(const std::string& path);
    ~ChmArchive();
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    // An object by its path inside the file ("/index.html"), matched ignoring ASCII letter case; nothing when
    // it is missing, too large or cannot be decompressed whole.
    std::optional<std::string> Read(const std::string& path) const;
    // Paths of the ordinary files inside, in the file's order.
    const std::vector<std::string>& Files() const { return m_files; }
    // The page to open first: the file's own default topic, else the first page of its table of contents,
    // else its first HTML page; empty when it has none.
    std::string DefaultTopic() const;
    // The file's title as its bytes, in the file's code page; empty when it has none.
    std::string Title() const;
    // The table of contents (.hhc) and the index (.hhk), as paths inside; empty when the file has none.
    std::string ContentsFile() const;
    std::string IndexFile() const;
    // The Windows language identifier the file was written for (0x411 is Japanese).
    unsigned Language() const;

public:
    struct System; // libmspack's file system over the bytes in memory

private:
    ChmArchive(std::unique_ptr<System> system, mschm_decompressor* decompressor, mschmd_header* header);

    std::optional<std::string> SystemEntry(int code) const;
    std::string NamedOrFirst(int code, const char* extension) const;
    std::optional<std::string> Extract(mschmd_file* file) const;

    std::unique_ptr<std::string> m_bytes;
    std::unique_ptr<System> m_system;
    mschm_decompressor* m_decompressor;
    mschmd_header* m_header;
    std::vector<std::string> m_files;
    // Every ordinary file by its path, and by its path in ASCII lower case, where the first of equal names wins.
    std::map<std::string, mschmd_file*> m_byPath;
    std::map<std::string, mschmd_file*> m_byLowerPath;
};
