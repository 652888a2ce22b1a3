// A compiled HTML Help (.chm) file, read with chmlib: its pages, style sheets and pictures by path, and the
// page it opens with. chmlib trusts the numbers in the file, so the headers are checked before it sees them
// and every length that comes out of the file is checked before it is used.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct chmFile;

class ChmArchive {
public:
    // The largest object read from a file; help pages and pictures are far smaller.
    static constexpr std::uint64_t kMaxObjectBytes = 16u << 20;
    // The largest file opened at all; help files are a fraction of it.
    static constexpr std::uint64_t kMaxFileBytes = 64u << 20;

    // Null when the file is missing, unreadable or not a sound .chm.
    static std::unique_ptr<ChmArchive> Open(const std::string& path);
    ~ChmArchive();
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    // An object by its path inside the file ("/index.html"), matched ignoring ASCII letter case.
    std::optional<std::string> Read(const std::string& path) const;
    // Paths of the ordinary files inside, in the file's order.
    const std::vector<std::string>& Files() const { return m_files; }
    // The page to open first: the file's own default topic, else the first page of its table of contents,
    // else its first HTML page; empty when it has none.
    std::string DefaultTopic() const;

private:
    explicit ChmArchive(chmFile* file);

    std::optional<std::string> SystemEntry(int code) const;
    std::string FirstTableOfContentsTopic() const;
    std::optional<std::string> Exact(const std::string& path) const;

    chmFile* m_file;
    std::vector<std::string> m_files;
};

// Checks the two headers chmlib reads first against the file's size: the bytes given are the file's first
// bytes, size its whole length.
bool ChmHeadersSound(const std::string& head, std::uint64_t size);
// Checks that the listing chunks chmlib walks are all in the directory and end.
bool ChmDirectorySound(const std::string& bytes);
// Checks the compression settings and the reset table that chmlib divides by, in the whole file's bytes,
// which ChmHeadersSound has passed.
bool ChmCompressionSound(const std::string& bytes);
