// Reading .chm files with chmlib, with the checks chmlib leaves out.
#include "shell/chm_archive.h"

#include <chm_lib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace {

std::uint64_t Le(const std::string& bytes, std::size_t offset, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
    return value;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A path inside the file, made absolute.
std::string Absolute(std::string path) {
    if (path.empty() || path[0] != '/')
        path.insert(path.begin(), '/');
    return path;
}

// The value of the first <param name="Local" value="..."> in a sitemap (table of contents) text.
std::string FirstLocal(const std::string& sitemap) {
    const std::string lower = Lower(sitemap);
    for (std::size_t at = lower.find("<param"); at != std::string::npos; at = lower.find("<param", at + 1)) {
        const std::size_t end = lower.find('>', at);
        if (end == std::string::npos)
            break;
        const std::string tag = lower.substr(at, end - at);
        if (tag.find("\"local\"") == std::string::npos)
            continue;
        const std::size_t value = tag.find("value=\"");
        if (value == std::string::npos)
            continue;
        const std::size_t first = value + 7;
        const std::size_t last = tag.find('"', first);
        if (last == std::string::npos)
            continue;
        return sitemap.substr(at + first, last - first); // the original letter case
    }
    return {};
}

} // namespace

bool ChmHeadersSound(const std::string& head, std::uint64_t size) {
    // ITSF: signature, version 2 or 3, header length, and where the directory and the content lie.
    if (head.size() < 0x58 || head.compare(0, 4, "ITSF") != 0)
        return false;
    const std::uint64_t version = Le(head, 4, 4);
    const std::uint64_t headerLength = Le(head, 8, 4);
    if ((version != 2 && version != 3) || headerLength < (version == 3 ? 0x60u : 0x58u) || headerLength > size)
        return false;
    const std::uint64_t dirOffset = Le(head, 0x48, 8);
    const std::uint64_t dirLength = Le(head, 0x50, 8);
    if (dirOffset > size || dirLength > size - dirOffset || dirLength < 0x54)
        return false;
    if (version == 3) {
        if (head.size() < 0x60 || Le(head, 0x58, 8) > size)
            return false;
    }
    // Header section 0 records the file's length: a file cut short, or grown, is not read.
    const std::uint64_t section0 = Le(head, 0x38, 8);
    const std::uint64_t section0Length = Le(head, 0x40, 8);
    if (section0Length < 0x10 || section0 > head.size() || section0Length > head.size() - section0 ||
        Le(head, static_cast<std::size_t>(section0) + 8, 8) != size)
        return false;
    // ITSP, the directory header: its blocks must fit in the directory.
    if (head.size() < dirOffset + 0x54)
        return false;
    const std::size_t itsp = static_cast<std::size_t>(dirOffset);
    if (head.compare(itsp, 4, "ITSP") != 0)
        return false;
    const std::uint64_t itspLength = Le(head, itsp + 8, 4);
    const std::uint64_t blockLength = Le(head, itsp + 0x10, 4);
    const auto indexRoot = static_cast<std::int32_t>(Le(head, itsp + 0x1C, 4));
    const auto indexHead = static_cast<std::int32_t>(Le(head, itsp + 0x20, 4));
    const std::uint64_t blocks = Le(head, itsp + 0x2C, 4);
    if (itspLength != 0x54 || blockLength < 0x20 || blockLength > (1u << 20) || blocks == 0 ||
        blocks > (dirLength - itspLength) / blockLength)
        return false;
    if (indexHead < 0 || static_cast<std::uint64_t>(indexHead) >= blocks)
        return false;
    if (indexRoot < -1 || (indexRoot >= 0 && static_cast<std::uint64_t>(indexRoot) >= blocks))
        return false;
    return true;
}

std::unique_ptr<ChmArchive> ChmArchive::Open(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    std::ifstream in(path, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (!ChmHeadersSound(head, static_cast<std::uint64_t>(st.st_size)))
        return nullptr;
    chmFile* file = chm_open(path.c_str());
    if (!file)
        return nullptr;
    return std::unique_ptr<ChmArchive>(new ChmArchive(file));
}

ChmArchive::ChmArchive(chmFile* file) : m_file(file) {
    chm_enumerate(
        m_file, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES,
        [](chmFile*, chmUnitInfo* ui, void* context) -> int {
            const std::size_t length = strnlen(ui->path, sizeof ui->path);
            static_cast<std::vector<std::string>*>(context)->emplace_back(ui->path, length);
            return CHM_ENUMERATOR_CONTINUE;
        },
        &m_files);
}

ChmArchive::~ChmArchive() {
    chm_close(m_file);
}

std::optional<std::string> ChmArchive::Exact(const std::string& path) const {
    if (path.size() > CHM_MAX_PATHLEN)
        return std::nullopt;
    chmUnitInfo ui{};
    if (chm_resolve_object(m_file, path.c_str(), &ui) != CHM_RESOLVE_SUCCESS || ui.length > kMaxObjectBytes)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(ui.length), '\0');
    if (ui.length == 0)
        return bytes;
    const LONGINT64 got = chm_retrieve_object(m_file, &ui, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                                              static_cast<LONGINT64>(ui.length));
    if (got != static_cast<LONGINT64>(ui.length))
        return std::nullopt;
    return bytes;
}

std::optional<std::string> ChmArchive::Read(const std::string& path) const {
    const std::string wanted = Absolute(path);
    if (auto bytes = Exact(wanted))
        return bytes;
    const std::string lower = Lower(wanted);
    for (const std::string& name : m_files)
        if (Lower(name) == lower)
            return Exact(name);
    return std::nullopt;
}

// An entry of the file's #SYSTEM object: after a 4-byte version, records of a 16-bit code, a 16-bit
// length and that many bytes.
std::optional<std::string> ChmArchive::SystemEntry(int code) const {
    const auto system = Exact("/#SYSTEM");
    if (!system)
        return std::nullopt;
    std::size_t at = 4;
    while (at + 4 <= system->size()) {
        const auto entryCode = static_cast<int>(Le(*system, at, 2));
        const auto length = static_cast<std::size_t>(Le(*system, at + 2, 2));
        at += 4;
        if (length > system->size() - at)
            return std::nullopt;
        if (entryCode == code) {
            std::string value = system->substr(at, length);
            value.resize(strnlen(value.c_str(), value.size()));
            return value;
        }
        at += length;
    }
    return std::nullopt;
}

std::string ChmArchive::FirstTableOfContentsTopic() const {
    std::string contents;
    if (auto named = SystemEntry(0); named && !named->empty())
        contents = Absolute(*named);
    else
        for (const std::string& name : m_files)
            if (EndsWith(Lower(name), ".hhc")) {
                contents = name;
                break;
            }
    if (contents.empty())
        return {};
    const auto sitemap = Read(contents);
    return sitemap ? FirstLocal(*sitemap) : std::string();
}

std::string ChmArchive::DefaultTopic() const {
    for (const std::string& topic : {SystemEntry(2).value_or(std::string()), FirstTableOfContentsTopic()}) {
        if (topic.empty())
            continue;
        const std::string page = Absolute(topic.substr(0, topic.find('#')));
        if (Read(page))
            return Absolute(topic);
    }
    for (const std::string& name : m_files) {
        const std::string lower = Lower(name);
        if ((EndsWith(lower, ".htm") || EndsWith(lower, ".html")) && name.find("/#") == std::string::npos &&
            name.find("/$") == std::string::npos)
            return name;
    }
    return {};
}
