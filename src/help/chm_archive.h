// A compiled HTML Help (.chm) file, read with libmspack's CHM decompressor: its pages, style sheets and
// pictures by path, the page it opens with, its title, and where its table of contents and index are. Every
// read is priced in the bytes libmspack must decompress for it, so that no file can make one read, or many,
// take unbounded time.
#pragma once

#include <algorithm>
#include <atomic>
#include <compare>
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
    // The most one read may make libmspack decompress: the object, and what lies before it in the compressed
    // stream back to where decoding can start. In a sound file that is at most one reset interval (64 KB as
    // Microsoft's and Free Pascal's compilers write them) before the object; a file whose stream can only be
    // decoded from its start would otherwise make a page deep in it cost gigabytes. 32 MB decode in a
    // fraction of a second and hold two of the largest objects.
    static constexpr std::uint64_t kMaxReadCost = 32u << 20;

    // Null when the file is missing, unreadable, too large or not a .chm libmspack can read.
    static std::unique_ptr<ChmArchive> Open(const std::string& path);
    // Another handle on the same file, over the same bytes in memory. libmspack's decompressor carries state
    // from one read to the next, so a thread reads through a handle of its own.
    std::unique_ptr<ChmArchive> Reopen() const;
    ~ChmArchive();
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    // An object by its path inside the file ("/index.html"), matched ignoring ASCII letter case; nothing when
    // it is missing, too large, costs too much or cannot be decompressed whole.
    std::optional<std::string> Read(const std::string& path) const;
    // The first `limit` bytes of an object, or all of it when it is shorter: only that much is decompressed.
    std::optional<std::string> ReadStart(const std::string& path, std::uint64_t limit) const;

    // Where an object's bytes lie: objects with the same range hold the same bytes, read once is enough.
    struct Range {
        unsigned section = 0;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
        auto operator<=>(const Range&) const = default;
    };
    std::optional<Range> RangeOf(const std::string& path) const;
    // What ReadStart(path, limit) would cost now, in bytes decompressed (or copied, for an object stored as
    // it is). Reading objects in the order of their ranges costs the least: each goes on where the last ended.
    std::uint64_t ReadCost(const std::string& path, std::uint64_t limit) const;
    // What the reading of a whole file for one purpose (its search index, the titles of its pages) may cost,
    // in bytes decompressed, and in bytes kept of what is read. LZX packs the text of real help pages three to
    // ten to one, so 32 times the file's size reads every page of a real file; the ceiling of 32 MB keeps the
    // largest files within tens of megabytes of memory and a second or two of work. A 44 KB file that packs
    // one 15 MB page gets 1.4 MB.
    static constexpr std::uint64_t kBudgetPerFileByte = 32;
    static constexpr std::uint64_t kMaxBudget = 32u << 20;
    std::uint64_t Budget() const { return std::min(Size() * kBudgetPerFileByte, kMaxBudget); }
    // What this handle's reads have cost so far, counted the same way.
    std::uint64_t Spent() const { return m_spent; }
    // Once `*cancel` is set, a read under way stops within a few kilobytes and every later read fails. The
    // flag must outlive the handle or be unset again with nullptr.
    void SetCancel(const std::atomic<bool>* cancel);

    // The size of the file, in bytes.
    std::uint64_t Size() const { return m_bytes->size(); }
    // Paths of the ordinary files inside, in the file's order.
    const std::vector<std::string>& Files() const { return m_files; }
    // The page to open first: the file's own default topic, else the first page of its table of contents,
    // else one of its first HTML pages; empty when it has none that reads.
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
    ChmArchive(std::shared_ptr<const std::string> bytes, std::unique_ptr<System> system,
               mschm_decompressor* decompressor, mschmd_header* header);
    static std::unique_ptr<ChmArchive> OpenBytes(std::shared_ptr<const std::string> bytes);

    mschmd_file* Find(const std::string& path) const;
    std::optional<std::string> SystemEntry(int code) const;
    std::string NamedOrFirst(int code, const char* extension) const;
    std::string FindDefaultTopic() const;
    std::optional<std::string> Extract(mschmd_file* file, std::uint64_t limit) const;
    struct Cost {
        std::uint64_t fresh;  // from a decompressor that starts anew at the nearest reset point
        std::uint64_t onward; // going on from where the decompressor stands
    };
    Cost CostOf(const mschmd_file* file, std::uint64_t limit) const;
    std::uint64_t DecodingStart(std::uint64_t offset) const;
    std::optional<std::string> SectionZeroBytes(const mschmd_file* file) const;
    bool RenewDecompressor() const;

    std::shared_ptr<const std::string> m_bytes;
    std::unique_ptr<System> m_system;
    mutable mschm_decompressor* m_decompressor;
    mschmd_header* m_header;
    std::vector<std::string> m_files;
    // Every ordinary file by its path, and by its path in ASCII lower case, where the first of equal names wins.
    std::map<std::string, mschmd_file*> m_byPath;
    std::map<std::string, mschmd_file*> m_byLowerPath;
    // Where libmspack's LZX decompressor stands, as its own extraction leaves it: it goes on from there to an
    // object further on, and starts anew only for one before it.
    mutable bool m_onward = false;
    mutable std::uint64_t m_onwardFrom = 0; // the end of the last object, where the next may go on from
    mutable std::uint64_t m_decodedTo = 0;  // the end of the frames decoded so far
    mutable std::uint64_t m_spent = 0;
    mutable std::optional<std::string> m_defaultTopic;
};
