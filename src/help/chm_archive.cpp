// Reading .chm files with libmspack. The file is read into memory once, within a size cap, and libmspack
// reads it from there through a file system of our own: what it allocates is capped too, and the one object
// being extracted goes into a string that cannot grow past the object's declared length.
#include "help/chm_archive.h"

#include "help/chm_sitemap.h"

#include <mspack.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
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
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
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

} // namespace

// libmspack's view of the file: the bytes in memory, the string the current extraction writes to, and the
// memory libmspack holds.
struct ChmArchive::System {
    mspack_system base;
    const std::string* input;
    std::string* output;
    std::uint64_t outputLimit;
    std::uint64_t allocated;
};

namespace {

struct MemoryFile {
    ChmArchive::System* system;
    bool writing;
    std::uint64_t position;
};

// Ahead of every block libmspack allocates: whose it is and how large, for free(), which is given neither.
struct BlockHeader {
    ChmArchive::System* system;
    std::size_t bytes;
};
constexpr std::size_t kHeaderBytes =
    alignof(std::max_align_t) >= sizeof(BlockHeader)
        ? alignof(std::max_align_t)
        : (sizeof(BlockHeader) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);

// The file system of the archive libmspack is working for. libmspack hands its callbacks copies of the
// mspack_system it was given, so they cannot find their archive from it; each call into libmspack names it here.
thread_local ChmArchive::System* t_working = nullptr;

class Working {
public:
    explicit Working(ChmArchive::System* system) : m_previous(t_working) { t_working = system; }
    ~Working() { t_working = m_previous; }
    Working(const Working&) = delete;
    Working& operator=(const Working&) = delete;

private:
    ChmArchive::System* m_previous;
};

mspack_file* OpenFile(mspack_system*, const char*, int mode) {
    ChmArchive::System* system = t_working;
    if (!system)
        return nullptr;
    if (mode == MSPACK_SYS_OPEN_READ)
        return reinterpret_cast<mspack_file*>(new (std::nothrow) MemoryFile{system, false, 0});
    if (mode == MSPACK_SYS_OPEN_WRITE && system->output)
        return reinterpret_cast<mspack_file*>(new (std::nothrow) MemoryFile{system, true, 0});
    return nullptr;
}

void CloseFile(mspack_file* file) {
    delete reinterpret_cast<MemoryFile*>(file);
}

int ReadFile(mspack_file* handle, void* buffer, int bytes) {
    auto* file = reinterpret_cast<MemoryFile*>(handle);
    if (file->writing || bytes < 0)
        return -1;
    const std::string& input = *file->system->input;
    const std::uint64_t left = input.size() - std::min<std::uint64_t>(file->position, input.size());
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(left, static_cast<std::uint64_t>(bytes)));
    if (count > 0)
        std::memcpy(buffer, input.data() + file->position, count);
    file->position += count;
    return static_cast<int>(count);
}

int WriteFile(mspack_file* handle, void* buffer, int bytes) {
    auto* file = reinterpret_cast<MemoryFile*>(handle);
    ChmArchive::System* system = file->system;
    if (!file->writing || bytes < 0 || !system->output ||
        static_cast<std::uint64_t>(bytes) > system->outputLimit - system->output->size())
        return -1;
    system->output->append(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
    return bytes;
}

int SeekFile(mspack_file* handle, off_t offset, int mode) {
    auto* file = reinterpret_cast<MemoryFile*>(handle);
    const auto size =
        static_cast<std::int64_t>(file->writing ? file->system->output->size() : file->system->input->size());
    std::int64_t from = 0;
    if (mode == MSPACK_SYS_SEEK_CUR)
        from = static_cast<std::int64_t>(file->position);
    else if (mode == MSPACK_SYS_SEEK_END)
        from = size;
    else if (mode != MSPACK_SYS_SEEK_START)
        return -1;
    // Both lie within ±2^63 only when they do not overflow: the file is at most kMaxFileBytes long.
    if (offset < -size - 1 || offset > size + 1)
        return -1;
    const std::int64_t to = from + static_cast<std::int64_t>(offset);
    if (to < 0 || to > size)
        return -1;
    file->position = static_cast<std::uint64_t>(to);
    return 0;
}

off_t TellFile(mspack_file* handle) {
    return static_cast<off_t>(reinterpret_cast<MemoryFile*>(handle)->position);
}

// libmspack's warnings about a damaged file go nowhere: the file is read or it is not.
void Message(mspack_file*, const char*, ...) {}

void* Alloc(mspack_system*, std::size_t bytes) {
    ChmArchive::System* system = t_working;
    if (!system || bytes > ChmArchive::kMaxLibraryBytes - system->allocated)
        return nullptr;
    void* block = std::malloc(kHeaderBytes + bytes);
    if (!block)
        return nullptr;
    new (block) BlockHeader{system, bytes};
    system->allocated += bytes;
    return static_cast<char*>(block) + kHeaderBytes;
}

void Free(void* pointer) {
    if (!pointer)
        return;
    void* block = static_cast<char*>(pointer) - kHeaderBytes;
    const auto* header = static_cast<BlockHeader*>(block);
    header->system->allocated -= header->bytes;
    std::free(block);
}

void Copy(void* source, void* destination, std::size_t bytes) {
    std::memmove(destination, source, bytes);
}

} // namespace

std::unique_ptr<ChmArchive> ChmArchive::Open(const std::string& path) {
    int selfTest = MSPACK_ERR_OK;
    MSPACK_SYS_SELFTEST(selfTest);
    if (selfTest != MSPACK_ERR_OK)
        return nullptr;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes)
        return nullptr;
    std::ifstream in(path, std::ios::binary);
    auto bytes = std::make_unique<std::string>(static_cast<std::size_t>(st.st_size), '\0');
    in.read(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    if (static_cast<std::size_t>(in.gcount()) != bytes->size())
        return nullptr;
    // chmcmd (Free Pascal), which compiles the program's own help, writes the header's first GUID where the
    // second belongs. HTML Help does not look at it; libmspack refuses the file. The copy in memory gets the
    // GUID HTML Help's compiler writes there, {7C01FD11-7BAA-11D0-9E0C-00A0C922E6EC}.
    static constexpr char kFirstGuid[] = "\x10\xFD\x01\x7C\xAA\x7B\xD0\x11\x9E\x0C\x00\xA0\xC9\x22\xE6\xEC";
    if (bytes->size() >= 0x38 && bytes->compare(0, 4, "ITSF") == 0 && bytes->compare(0x18, 16, kFirstGuid, 16) == 0 &&
        bytes->compare(0x28, 16, kFirstGuid, 16) == 0)
        (*bytes)[0x28] = '\x11';

    auto system = std::make_unique<System>();
    system->base = mspack_system{&OpenFile, &CloseFile, &ReadFile, &WriteFile, &SeekFile, &TellFile,
                                 &Message,  &Alloc,     &Free,     &Copy,      nullptr};
    system->input = bytes.get();
    system->output = nullptr;
    system->outputLimit = 0;
    system->allocated = 0;
    const Working working(system.get());
    mschm_decompressor* decompressor = mspack_create_chm_decompressor(&system->base);
    if (!decompressor)
        return nullptr;
    mschmd_header* header = decompressor->open(decompressor, path.c_str());
    // A file cut short, or grown, is not the help its author made: libmspack would read what it still can, and
    // pages would be missing here and there. A whole file or nothing.
    if (header && header->length != static_cast<off_t>(bytes->size())) {
        decompressor->close(decompressor, header);
        header = nullptr;
    }
    if (!header) {
        mspack_destroy_chm_decompressor(decompressor);
        return nullptr;
    }
    std::unique_ptr<ChmArchive> archive(new ChmArchive(std::move(system), decompressor, header));
    archive->m_bytes = std::move(bytes);
    return archive;
}

ChmArchive::ChmArchive(std::unique_ptr<System> system, mschm_decompressor* decompressor, mschmd_header* header)
    : m_system(std::move(system)), m_decompressor(decompressor), m_header(header) {
    for (mschmd_file* file = m_header->files; file; file = file->next) {
        m_files.emplace_back(file->filename);
        m_byPath.emplace(file->filename, file);
        m_byLowerPath.emplace(Lower(file->filename), file);
    }
}

ChmArchive::~ChmArchive() {
    const Working working(m_system.get());
    m_decompressor->close(m_decompressor, m_header);
    mspack_destroy_chm_decompressor(m_decompressor);
}

std::optional<std::string> ChmArchive::Extract(mschmd_file* file) const {
    if (file->length < 0 || static_cast<std::uint64_t>(file->length) > kMaxObjectBytes)
        return std::nullopt;
    const auto length = static_cast<std::size_t>(file->length);
    std::string bytes;
    bytes.reserve(length);
    const Working working(m_system.get());
    m_system->output = &bytes;
    m_system->outputLimit = length;
    const int error = m_decompressor->extract(m_decompressor, file, "object");
    m_system->output = nullptr;
    if (error != MSPACK_ERR_OK || bytes.size() != length)
        return std::nullopt;
    return bytes;
}

std::optional<std::string> ChmArchive::Read(const std::string& path) const {
    const std::string wanted = Absolute(path);
    if (const auto exact = m_byPath.find(wanted); exact != m_byPath.end())
        return Extract(exact->second);
    const auto found = m_byLowerPath.find(Lower(wanted));
    if (found == m_byLowerPath.end())
        return std::nullopt;
    return Extract(found->second);
}

// An entry of the file's #SYSTEM object: after a 4-byte version, records of a 16-bit code, a 16-bit
// length and that many bytes.
std::optional<std::string> ChmArchive::SystemEntry(int code) const {
    const auto system = Read("/#SYSTEM");
    if (!system)
        return std::nullopt;
    std::size_t at = 4;
    while (at + 4 <= system->size()) {
        const auto entryCode = static_cast<int>(Le(*system, at, 2));
        const auto length = static_cast<std::size_t>(Le(*system, at + 2, 2));
        at += 4;
        if (length > system->size() - at)
            return std::nullopt;
        if (entryCode == code)
            return system->substr(at, length);
        at += length;
    }
    return std::nullopt;
}

namespace {

// A text entry of #SYSTEM ends at its first NUL.
std::string Text(std::optional<std::string> entry) {
    if (!entry)
        return {};
    entry->resize(strnlen(entry->c_str(), entry->size()));
    return *entry;
}

} // namespace

// The file named in #SYSTEM, when the file holds it, else the first file with the extension.
std::string ChmArchive::NamedOrFirst(int code, const char* extension) const {
    const std::string named = Text(SystemEntry(code));
    if (!named.empty()) {
        const std::string path = Absolute(named);
        if (m_byLowerPath.count(Lower(path)))
            return path;
    }
    for (const std::string& name : m_files)
        if (EndsWith(Lower(name), extension))
            return name;
    return {};
}

std::string ChmArchive::ContentsFile() const {
    return NamedOrFirst(0, ".hhc");
}

std::string ChmArchive::IndexFile() const {
    return NamedOrFirst(1, ".hhk");
}

std::string ChmArchive::Title() const {
    return Text(SystemEntry(3));
}

unsigned ChmArchive::Language() const {
    // The compiler's language, when #SYSTEM does not say the file's own.
    const auto settings = SystemEntry(4);
    if (settings && settings->size() >= 4)
        return static_cast<unsigned>(Le(*settings, 0, 4));
    return m_header->language;
}

std::string ChmArchive::DefaultTopic() const {
    std::string firstOfContents;
    if (const std::string contents = ContentsFile(); !contents.empty())
        if (const auto sitemap = Read(contents))
            for (const SitemapEntry& entry : ParseSitemap(*sitemap))
                if (!entry.topics.empty()) {
                    firstOfContents =
                        ChmLocalPath(entry.topics.front().local, contents.substr(0, contents.rfind('/') + 1));
                    break;
                }
    for (const std::string& topic : {ChmLocalPath(Text(SystemEntry(2)), "/"), firstOfContents}) {
        if (topic.empty())
            continue;
        if (Read(topic.substr(0, topic.find('#'))))
            return topic;
    }
    for (const std::string& name : m_files) {
        const std::string lower = Lower(name);
        if ((EndsWith(lower, ".htm") || EndsWith(lower, ".html")) && name.find("/#") == std::string::npos &&
            name.find("/$") == std::string::npos && Read(name))
            return name;
    }
    return {};
}
