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

namespace {

// A number of the directory: seven bits a byte, most significant first, the top bit set on all but the last.
std::optional<std::uint64_t> EncodedInteger(const std::string& bytes, std::size_t& at, std::size_t end) {
    std::uint64_t value = 0;
    for (int i = 0; i < 9 && at < end; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[at++]);
        value = value << 7 | (byte & 0x7F);
        if (!(byte & 0x80))
            return value;
    }
    return std::nullopt;
}

struct Entry {
    std::uint64_t section, offset, length;
};

// Every entry of the listing chunks of the directory, which ChmHeadersSound has checked, whose name is the
// one wanted ignoring ASCII letter case, as chmlib matches names; nothing when the listing is damaged.
std::optional<std::vector<Entry>> FindEntries(const std::string& bytes, const std::string& wanted) {
    const std::string lowerWanted = Lower(wanted);
    std::vector<Entry> found;
    const std::uint64_t dirOffset = Le(bytes, 0x48, 8);
    const std::uint64_t blockLength = Le(bytes, static_cast<std::size_t>(dirOffset) + 0x10, 4);
    const std::uint64_t blocks = Le(bytes, static_cast<std::size_t>(dirOffset) + 0x2C, 4);
    for (std::uint64_t b = 0; b < blocks; ++b) {
        const auto chunk = static_cast<std::size_t>(dirOffset + 0x54 + b * blockLength);
        if (bytes.compare(chunk, 4, "PMGL") != 0)
            continue;
        const std::uint64_t free = Le(bytes, chunk + 4, 4);
        if (free > blockLength - 20)
            return std::nullopt;
        const auto end = static_cast<std::size_t>(chunk + blockLength - free);
        for (std::size_t at = chunk + 20; at < end;) {
            const auto nameLength = EncodedInteger(bytes, at, end);
            if (!nameLength || *nameLength > end - at)
                return std::nullopt;
            const bool match =
                bytes.compare(at, static_cast<std::size_t>(*nameLength), wanted) == 0 && *nameLength == wanted.size();
            at += static_cast<std::size_t>(*nameLength);
            const auto section = EncodedInteger(bytes, at, end);
            const auto offset = EncodedInteger(bytes, at, end);
            const auto length = EncodedInteger(bytes, at, end);
            if (!section || !offset || !length)
                return std::nullopt;
            if (match)
                found.push_back(Entry{*section, *offset, *length});
        }
    }
    return found;
}

// The bytes of an uncompressed object, when they lie in the file.
std::optional<std::string> Uncompressed(const std::string& bytes, const Entry& entry) {
    if (entry.section != 0)
        return std::nullopt;
    const std::uint64_t version = Le(bytes, 4, 4);
    const std::uint64_t content = version == 3 ? Le(bytes, 0x58, 8) : Le(bytes, 0x48, 8) + Le(bytes, 0x50, 8);
    if (content > bytes.size() || entry.offset > bytes.size() - content ||
        entry.length > bytes.size() - content - entry.offset)
        return std::nullopt;
    return bytes.substr(static_cast<std::size_t>(content + entry.offset), static_cast<std::size_t>(entry.length));
}

bool ControlDataSound(const std::string& control) {
    if (control.size() < 24 || control.compare(4, 4, "LZXC") != 0)
        return false;
    const std::uint64_t version = Le(control, 8, 4);
    std::uint64_t resetInterval = Le(control, 12, 4);
    std::uint64_t windowSize = Le(control, 16, 4);
    const std::uint64_t windowsPerReset = Le(control, 20, 4);
    if (version == 2) {
        resetInterval *= 0x8000;
        windowSize *= 0x8000;
    } else if (version != 1) {
        return false;
    }
    return windowSize >= 0x8000 && windowSize <= 0x200000 && (windowSize & (windowSize - 1)) == 0 &&
           resetInterval != 0 && resetInterval <= 0xFFFFFFFFu && resetInterval % (windowSize / 2) == 0 &&
           windowsPerReset != 0 && windowsPerReset <= 0x10000;
}

bool ResetTableSound(const std::string& table) {
    if (table.size() < 0x28)
        return false;
    const std::uint64_t entries = Le(table, 4, 4);
    const std::uint64_t entrySize = Le(table, 8, 4);
    const std::uint64_t tableOffset = Le(table, 12, 4);
    const std::uint64_t blockLength = Le(table, 0x20, 8);
    return blockLength != 0 && blockLength <= (1u << 24) && entrySize == 8 && tableOffset <= table.size() &&
           entries <= (table.size() - tableOffset) / 8;
}

} // namespace

bool ChmDirectorySound(const std::string& bytes) {
    // chmlib walks the listing chunks from the first one by their "next" links, until -1.
    const std::uint64_t dirOffset = Le(bytes, 0x48, 8);
    const auto itsp = static_cast<std::size_t>(dirOffset);
    const std::uint64_t blockLength = Le(bytes, itsp + 0x10, 4);
    const std::uint64_t blocks = Le(bytes, itsp + 0x2C, 4);
    auto chunk = static_cast<std::int32_t>(Le(bytes, itsp + 0x20, 4));
    for (std::uint64_t visited = 0; chunk != -1; ++visited) {
        if (chunk < 0 || static_cast<std::uint64_t>(chunk) >= blocks || visited >= blocks)
            return false; // out of the directory, or round in a circle
        const auto at = static_cast<std::size_t>(dirOffset + 0x54 + static_cast<std::uint64_t>(chunk) * blockLength);
        if (bytes.compare(at, 4, "PMGL") != 0 || Le(bytes, at + 4, 4) > blockLength - 20)
            return false;
        chunk = static_cast<std::int32_t>(Le(bytes, at + 16, 4));
    }
    return true;
}

bool ChmCompressionSound(const std::string& bytes) {
    // chmlib divides by half the LZX window and by the reset table's block length, trusting both; every
    // entry it could take for either must be sound.
    const std::string storage = "::DataSpace/Storage/MSCompressed/";
    const std::string resetTable = storage + "Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";
    for (const auto& [name, sound] :
         {std::pair{storage + "ControlData", &ControlDataSound}, std::pair{resetTable, &ResetTableSound}}) {
        const auto entries = FindEntries(bytes, name);
        if (!entries)
            return false;
        for (const Entry& entry : *entries) {
            const auto object = Uncompressed(bytes, entry);
            if (!object || !sound(*object))
                return false;
        }
    }
    return true;
}

std::unique_ptr<ChmArchive> ChmArchive::Open(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes)
        return nullptr;
    std::ifstream in(path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::size_t>(in.gcount()) != bytes.size())
        return nullptr;
    if (!ChmHeadersSound(bytes, bytes.size()) || !ChmDirectorySound(bytes) || !ChmCompressionSound(bytes))
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
