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

// libmspack's view of the file: the bytes in memory, the string the current extraction writes to, the memory
// libmspack holds, and the flag that stops a read.
struct ChmArchive::System {
    mspack_system base;
    const std::string* input;
    std::string* output;
    std::uint64_t outputLimit;
    std::uint64_t allocated;
    const std::atomic<bool>* cancel;
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

bool Cancelled(const ChmArchive::System* system) {
    return system->cancel && system->cancel->load(std::memory_order_relaxed);
}

// libmspack reads its compressed input a few kilobytes at a time and writes each frame it decodes, so a read
// that is cancelled fails within a few megabytes of decoding.
int ReadFile(mspack_file* handle, void* buffer, int bytes) {
    auto* file = reinterpret_cast<MemoryFile*>(handle);
    if (file->writing || bytes < 0 || Cancelled(file->system))
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
    if (!file->writing || bytes < 0 || !system->output || Cancelled(system))
        return -1;
    // The start of an object is kept up to the limit; the rest ends the extraction.
    const std::uint64_t room = system->outputLimit - system->output->size();
    const auto kept = static_cast<std::size_t>(std::min<std::uint64_t>(room, static_cast<std::uint64_t>(bytes)));
    system->output->append(static_cast<const char*>(buffer), kept);
    return kept == static_cast<std::size_t>(bytes) ? bytes : -1;
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

namespace {

// LZX decodes in frames of 32 KB, and starts anew only at a reset point, a whole number of frames into the stream.
constexpr std::uint64_t kFrame = 0x8000;
// Objects of the compressed section are read only within its first gigabyte: libmspack counts the frames in an
// int, and no help file comes near it.
constexpr std::uint64_t kMaxStreamBytes = 1u << 30;
constexpr std::uint64_t kNever = UINT64_MAX;

std::uint64_t RoundUpToFrame(std::uint64_t position) {
    return (position + kFrame - 1) / kFrame * kFrame;
}

} // namespace

std::unique_ptr<ChmArchive> ChmArchive::Open(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes)
        return nullptr;
    std::ifstream in(path, std::ios::binary);
    auto bytes = std::make_shared<std::string>(static_cast<std::size_t>(st.st_size), '\0');
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
    return OpenBytes(std::move(bytes));
}

std::unique_ptr<ChmArchive> ChmArchive::Reopen() const {
    return OpenBytes(m_bytes);
}

std::unique_ptr<ChmArchive> ChmArchive::OpenBytes(std::shared_ptr<const std::string> bytes) {
    int selfTest = MSPACK_ERR_OK;
    MSPACK_SYS_SELFTEST(selfTest);
    if (selfTest != MSPACK_ERR_OK)
        return nullptr;
    auto system = std::make_unique<System>();
    system->base = mspack_system{&OpenFile, &CloseFile, &ReadFile, &WriteFile, &SeekFile, &TellFile,
                                 &Message,  &Alloc,     &Free,     &Copy,      nullptr};
    system->input = bytes.get();
    system->output = nullptr;
    system->outputLimit = 0;
    system->allocated = 0;
    system->cancel = nullptr;
    const Working working(system.get());
    mschm_decompressor* decompressor = mspack_create_chm_decompressor(&system->base);
    if (!decompressor)
        return nullptr;
    mschmd_header* header = decompressor->open(decompressor, "help.chm");
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
    return std::unique_ptr<ChmArchive>(new ChmArchive(std::move(bytes), std::move(system), decompressor, header));
}

ChmArchive::ChmArchive(std::shared_ptr<const std::string> bytes, std::unique_ptr<System> system,
                       mschm_decompressor* decompressor, mschmd_header* header)
    : m_bytes(std::move(bytes)), m_system(std::move(system)), m_decompressor(decompressor), m_header(header) {
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

void ChmArchive::SetCancel(const std::atomic<bool>* cancel) {
    m_system->cancel = cancel;
}

// The bytes of a file stored as it is, as libmspack reads its own control files: nothing when it lies outside
// the file.
std::optional<std::string> ChmArchive::SectionZeroBytes(const mschmd_file* file) const {
    if (!file || !file->section || file->section->id != 0 || file->offset < 0 || file->length < 0 ||
        m_header->sec0.offset < 0)
        return std::nullopt;
    const auto size = static_cast<std::uint64_t>(m_bytes->size());
    const auto start = static_cast<std::uint64_t>(m_header->sec0.offset) + static_cast<std::uint64_t>(file->offset);
    const auto length = static_cast<std::uint64_t>(file->length);
    if (start > size || length > size - start)
        return std::nullopt;
    return m_bytes->substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

// Where libmspack's decompressor, made anew, starts decoding to reach `offset`: the reset point before it that
// the file's reset table names, as libmspack looks it up; the start of the stream when the table does not serve
// (libmspack then decodes from there). Any doubt counts as the start, which only overprices a read.
std::uint64_t ChmArchive::DecodingStart(std::uint64_t offset) const {
    const auto control = SectionZeroBytes(m_header->sec1.control);
    if (!control || control->size() != 28 || Le(*control, 4, 4) != 0x43585A4C)
        return 0;
    std::uint32_t interval = 0;
    if (Le(*control, 8, 4) == 1)
        interval = static_cast<std::uint32_t>(Le(*control, 12, 4));
    else if (Le(*control, 8, 4) == 2)
        interval = static_cast<std::uint32_t>(Le(*control, 12, 4) * kFrame);
    // libmspack holds the interval in an int.
    if (interval == 0 || interval > INT32_MAX || interval % kFrame != 0)
        return 0;
    const std::uint32_t entry =
        static_cast<std::uint32_t>(offset / interval) * static_cast<std::uint32_t>(interval / kFrame);

    const mschmd_file* tableFile = m_header->sec1.rtable;
    if (!tableFile || tableFile->length < 40 || tableFile->length > 1000000)
        return 0;
    const auto table = SectionZeroBytes(tableFile);
    if (!table || Le(*table, 32, 4) != kFrame)
        return 0;
    const auto entries = static_cast<std::uint32_t>(Le(*table, 4, 4));
    const auto entrySize = static_cast<std::uint32_t>(Le(*table, 8, 4));
    const auto position = static_cast<std::uint32_t>(Le(*table, 12, 4) + std::uint64_t{entry} * entrySize);
    if (entry >= entries ||
        static_cast<std::int64_t>(position) > static_cast<std::int64_t>(table->size()) - entrySize ||
        (entrySize != 4 && entrySize != 8))
        return 0;
    return std::uint64_t{entry} * kFrame;
}

ChmArchive::Cost ChmArchive::CostOf(const mschmd_file* file, std::uint64_t limit) const {
    const auto offset = static_cast<std::uint64_t>(std::max<off_t>(file->offset, 0));
    const auto length = static_cast<std::uint64_t>(std::max<off_t>(file->length, 0));
    const std::uint64_t wanted = std::min(length, limit);
    if (file->section->id == 0)
        return Cost{wanted, wanted};
    if (offset > kMaxStreamBytes || length > kMaxStreamBytes - offset)
        return Cost{kNever, kNever};
    // libmspack decodes through the frame that holds the byte after the last one it is asked for, and a read
    // cut short stops when that byte is written.
    const std::uint64_t end = ((offset + wanted) / kFrame + 1) * kFrame;
    Cost cost{end - std::min(end, DecodingStart(offset)), kNever};
    if (m_onward && offset >= m_onwardFrom)
        cost.onward = end - std::min(end, m_decodedTo);
    return cost;
}

std::uint64_t ChmArchive::ReadCost(const std::string& path, std::uint64_t limit) const {
    const mschmd_file* file = Find(path);
    if (!file)
        return 0;
    const Cost cost = CostOf(file, limit);
    return std::min(cost.fresh, cost.onward);
}

// A decompressor made anew, for a read cheaper from a reset point than onward from where the old one stands.
// The file's header and directory stay: they belong to the file, not to the decompressor.
bool ChmArchive::RenewDecompressor() const {
    const Working working(m_system.get());
    mschm_decompressor* renewed = mspack_create_chm_decompressor(&m_system->base);
    if (!renewed)
        return false;
    mspack_destroy_chm_decompressor(m_decompressor);
    m_decompressor = renewed;
    m_onward = false;
    return true;
}

std::optional<std::string> ChmArchive::Extract(mschmd_file* file, std::uint64_t limit) const {
    if (file->length < 0 || file->offset < 0 || !file->section)
        return std::nullopt;
    const std::uint64_t length = static_cast<std::uint64_t>(file->length);
    const std::uint64_t wanted = std::min(length, limit);
    if (wanted > kMaxObjectBytes)
        return std::nullopt;
    if (length == 0)
        return std::string(); // libmspack makes an empty object without decoding anything
    Cost cost = CostOf(file, limit);
    if (cost.fresh < cost.onward && m_onward && !RenewDecompressor())
        cost.fresh = kNever;
    const std::uint64_t price = std::min(cost.fresh, cost.onward);
    if (price > kMaxReadCost)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(wanted));
    const Working working(m_system.get());
    m_system->output = &bytes;
    m_system->outputLimit = wanted;
    const int error = m_decompressor->extract(m_decompressor, file, "object");
    m_system->output = nullptr;
    m_spent += price;
    const bool whole = error == MSPACK_ERR_OK && bytes.size() == length;
    if (file->section->id == 1) {
        if (whole) {
            // The decoder stands at the object's end, with at least the frames up to there decoded.
            m_onward = true;
            m_onwardFrom = static_cast<std::uint64_t>(file->offset) + length;
            m_decodedTo = RoundUpToFrame(m_onwardFrom);
        } else if (!RenewDecompressor()) {
            // Where a failed extraction leaves libmspack is its own affair: without a fresh decompressor, every
            // later read is priced as decoding the stream from its start.
            m_onward = true;
            m_onwardFrom = 0;
            m_decodedTo = 0;
        }
    }
    if (whole || (wanted < length && bytes.size() == wanted && !Cancelled(m_system.get())))
        return bytes;
    return std::nullopt;
}

mschmd_file* ChmArchive::Find(const std::string& path) const {
    const std::string wanted = Absolute(path);
    if (const auto exact = m_byPath.find(wanted); exact != m_byPath.end())
        return exact->second;
    const auto found = m_byLowerPath.find(Lower(wanted));
    return found == m_byLowerPath.end() ? nullptr : found->second;
}

std::optional<std::string> ChmArchive::Read(const std::string& path) const {
    mschmd_file* file = Find(path);
    return file ? Extract(file, kMaxObjectBytes + 1) : std::nullopt;
}

std::optional<std::string> ChmArchive::ReadStart(const std::string& path, std::uint64_t limit) const {
    mschmd_file* file = Find(path);
    return file ? Extract(file, std::min(limit, kMaxObjectBytes)) : std::nullopt;
}

std::optional<ChmArchive::Range> ChmArchive::RangeOf(const std::string& path) const {
    const mschmd_file* file = Find(path);
    if (!file || !file->section || file->offset < 0 || file->length < 0)
        return std::nullopt;
    return Range{file->section->id, static_cast<std::uint64_t>(file->offset), static_cast<std::uint64_t>(file->length)};
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
    if (!m_defaultTopic)
        m_defaultTopic = FindDefaultTopic();
    return *m_defaultTopic;
}

std::string ChmArchive::FindDefaultTopic() const {
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
    // A damaged file may hold thousands of pages that do not read: a few are tried.
    int tried = 0;
    for (const std::string& name : m_files) {
        const std::string lower = Lower(name);
        if (!(EndsWith(lower, ".htm") || EndsWith(lower, ".html")) || name.find("/#") != std::string::npos ||
            name.find("/$") != std::string::npos)
            continue;
        if (Read(name))
            return name;
        if (++tried == 8)
            break;
    }
    return {};
}
