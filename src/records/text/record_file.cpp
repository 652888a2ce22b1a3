// Record lines in code page 932 files, and the case-insensitive lookup of bare file names.
#include "records/text/record_file.h"

#include "records/text/cp932.h"
#include "records/text/posix_io.h"
#include "records/text/utf8.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace records {
namespace {

constexpr std::size_t kOutputChunk = 64 * 1024;

std::string SystemReason(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

// Windows compares file names ignoring the case of letters, not only of ASCII ones: fold the scripts a
// data file name may plausibly be written in.
char32_t FoldCase(char32_t cp) {
    if ((cp >= U'A' && cp <= U'Z') || (cp >= U'\u00C0' && cp <= U'\u00DE' && cp != U'\u00D7') ||
        (cp >= U'\u0391' && cp <= U'\u03A9' && cp != U'\u03A2') || (cp >= U'\u0410' && cp <= U'\u042F'))
        return cp + 0x20;
    if (cp >= U'\u0400' && cp <= U'\u040F')
        return cp + 0x50;
    if (cp >= U'\uFF21' && cp <= U'\uFF3A')
        return cp + 0x20;
    return cp;
}

std::string Folded(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();)
        AppendUtf8(out, FoldCase(NextCodePoint(utf8, pos)));
    return out;
}

// 1 + the number of line ends (CR LF, LF or CR alone) before offset.
int LineAt(std::string_view bytes, std::size_t offset) {
    int line = 1;
    for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) {
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')))
            ++line;
    }
    return line;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool AllBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), IsBlank);
}

// Where the last line begins when it has no line end: after the last CR or LF, or 0.
std::size_t LastLineStart(std::string_view bytes) {
    const std::size_t lineEnd = bytes.find_last_of("\r\n");
    return lineEnd == std::string_view::npos ? 0 : lineEnd + 1;
}

const char* const kNotRegularReason = "通常のファイルではありません";
const char* const kTextTooLongReason = "文字の欄が長すぎます（64 KB まで）";
const char* const kTextTooLongToSave = "Shift_JIS で 64 KB を超える長さの文字は保存できません";
const char* const kUtf8Reason = "UTF-8 で保存されています。Shift_JIS（CP932）で保存し直してください";
const char* const kTooLargeReason = "ファイルが大きすぎます（16 MB まで読み込めます）";

std::string NameOfCharacter(char32_t cp) {
    std::string out = "「";
    AppendUtf8(out, cp);
    char code[16];
    std::snprintf(code, sizeof code, "」(U+%04X)", static_cast<unsigned>(cp));
    return out + code;
}

// The words for a character that a code page 932 file cannot carry as itself.
std::string UnsavableCharacter(char32_t cp) {
    return "文字" + NameOfCharacter(cp) + "は Shift_JIS で保存できません";
}

} // namespace

std::string DisplayName(std::string_view entry) {
    if (IsValidUtf8(entry))
        return std::string(entry);
    std::string decoded;
    std::size_t badOffset = 0;
    if (DecodeCp932(entry, decoded, badOffset))
        return decoded;
    std::string shown; // neither: show the bytes that are text, and the rest as ?
    for (const char c : entry)
        shown += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return shown;
}

namespace {

// The entries of the current directory whose names, read as text, fold to the same as name.
std::vector<std::string> MatchingEntries(std::string_view name) {
    std::vector<std::string> matches;
    const std::string folded = Folded(name);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("."), closedir);
    if (!dir) {
        struct stat st {};
        if (lstat(std::string(name).c_str(), &st) == 0)
            matches.emplace_back(name);
        return matches;
    }
    std::string decoded;
    std::size_t badOffset = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view entryName = entry->d_name;
        if (IsValidUtf8(entryName) ? Folded(entryName) == folded
                                   : DecodeCp932(entryName, decoded, badOffset) && Folded(decoded) == folded)
            matches.emplace_back(entryName);
    }
    std::sort(matches.begin(), matches.end());
    return matches;
}

} // namespace

namespace {

// One file that entries standing for a name lead to, with every entry that names it, in order of name.
struct NamedFile {
    std::vector<std::string> names;
    struct stat st {};      // of the file, through a link; only when known
    bool known = false;     // false for a link that leads nowhere
    bool removable = false; // an empty regular file with this one name, and no link on the way
};

std::string NotAFileReason(const std::string& entry, EntryKind kind) {
    return "「" + DisplayName(entry) + "」" +
           (kind == EntryKind::Directory ? "はフォルダーなので、データファイルとして使えません"
                                         : "は通常のファイルではありません");
}

} // namespace

DataFileLookup LookUpDataFile(std::string_view name) {
    DataFileLookup lookup;
    std::vector<NamedFile> files;
    for (const std::string& entry : MatchingEntries(name)) {
        struct stat own {};
        if (lstat(entry.c_str(), &own) != 0)
            continue; // gone since the directory was read
        NamedFile file;
        file.known = stat(entry.c_str(), &file.st) == 0;
        if (file.known && !S_ISREG(file.st.st_mode)) {
            lookup.notAFileKind = S_ISDIR(file.st.st_mode) ? EntryKind::Directory : EntryKind::Special;
            lookup.notAFile = entry;
            lookup.status = Status::Failure(Status::Code::NotAFile, NotAFileReason(entry, lookup.notAFileKind));
            return lookup;
        }
        // A hard link, or a link to a file already met, is another name of that file.
        const auto same = std::find_if(files.begin(), files.end(), [&](const NamedFile& f) {
            return file.known && f.known && f.st.st_dev == file.st.st_dev && f.st.st_ino == file.st.st_ino;
        });
        if (same != files.end()) {
            same->names.push_back(entry);
            same->removable = false;
            continue;
        }
        file.names.push_back(entry);
        file.removable = S_ISREG(own.st_mode) && own.st_nlink == 1 && own.st_size == 0;
        files.push_back(std::move(file));
    }
    if (files.empty()) {
        lookup.status = Status::Failure(Status::Code::NotFound, SystemReason(ENOENT));
        return lookup;
    }
    std::vector<const NamedFile*> holding;
    for (const NamedFile& file : files) {
        if (!file.known || file.st.st_size > 0)
            holding.push_back(&file);
    }
    if (holding.size() > 1) {
        std::string names;
        for (const NamedFile* file : holding)
            for (const std::string& entry : file->names)
                names += "「" + DisplayName(entry) + "」";
        lookup.status = Status::Failure(Status::Code::Ambiguous,
                                        "同じ名前とみなされるファイルが複数あり、どれも空ではありません: " + names);
        return lookup;
    }
    // The one with data; when all are empty, the first by name, steadily.
    const NamedFile& chosen = holding.empty() ? files.front() : *holding.front();
    const auto exact = std::find(chosen.names.begin(), chosen.names.end(), name);
    lookup.used = exact != chosen.names.end() ? *exact : chosen.names.front();
    for (const std::string& entry : chosen.names) {
        if (entry != lookup.used)
            lookup.otherNames.push_back(entry);
    }
    for (const NamedFile& file : files) {
        if (&file != &chosen && file.removable)
            lookup.unusedEmpty.push_back(file.names.front());
    }
    return lookup;
}

std::string ResolveDataFileName(std::string_view name) {
    return LookUpDataFile(name).used;
}

bool StandsForDataFile(std::string_view entry, std::string_view name) {
    std::string decoded;
    std::size_t badOffset = 0;
    return IsValidUtf8(entry) ? Folded(entry) == Folded(name)
                              : DecodeCp932(entry, decoded, badOffset) && Folded(decoded) == Folded(name);
}

NameEncoding EncodingOfName(std::string_view entry) {
    if (IsValidUtf8(entry))
        return NameEncoding::Utf8;
    std::string decoded;
    std::size_t badOffset = 0;
    return DecodeCp932(entry, decoded, badOffset) ? NameEncoding::Cp932 : NameEncoding::Neither;
}

int MakeTemporaryBeside(std::string_view directory, std::string_view base, std::string& path) {
    path.assign(directory);
    path += '.';
    path += base;
    path += kTemporaryMark;
    path += "XXXXXX"; // mkostemp's six letters or digits
    return mkostemp(path.data(), O_CLOEXEC);
}

namespace {

constexpr std::size_t kTemporaryLetters = 6;

bool IsAsciiLetterOrDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The name of the data file an entry is a temporary of, when it has exactly the shape MakeTemporaryBeside
// gives; nothing otherwise.
std::optional<std::string_view> TemporaryOf(std::string_view entry) {
    const std::size_t tail = kTemporaryMark.size() + kTemporaryLetters;
    if (entry.size() <= tail + 1 || entry.front() != '.' ||
        entry.substr(entry.size() - tail, kTemporaryMark.size()) != kTemporaryMark)
        return std::nullopt;
    const std::string_view letters = entry.substr(entry.size() - kTemporaryLetters);
    if (!std::all_of(letters.begin(), letters.end(), IsAsciiLetterOrDigit))
        return std::nullopt;
    return entry.substr(1, entry.size() - tail - 1);
}

// Another name for `existing`, made beside `base` in the current directory with a temporary's shape.
bool LinkTemporaryBeside(const std::string& existing, std::string_view base, std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = MakeTemporaryBeside({}, base, path);
        if (fd < 0)
            return false;
        ::close(fd);
        ::unlink(path.c_str()); // the name was free a moment ago, and nobody else makes names of this shape
        if (::link(existing.c_str(), path.c_str()) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

} // namespace

int RemoveLeftoverTemporaries(std::span<const std::string_view> names) {
    std::vector<std::string> folded;
    for (const std::string_view name : names)
        folded.push_back(Folded(name));
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("."), closedir);
    if (!dir)
        return 0;
    std::vector<std::string> leftovers;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view entryName = entry->d_name;
        const std::optional<std::string_view> of = TemporaryOf(entryName);
        if (of && std::find(folded.begin(), folded.end(), Folded(DisplayName(*of))) != folded.end())
            leftovers.emplace_back(entryName);
    }
    int removed = 0;
    for (const std::string& leftover : leftovers) {
        struct stat st {};
        if (lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(leftover.c_str()) == 0)
            ++removed;
    }
    return removed;
}

std::optional<std::string> TextFieldFault(std::string_view text) {
    if (text.find('"') != std::string::npos)
        return "二重引用符「\"」は保存できません";
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return "改行や NUL 文字は保存できません";
    if (const auto cp = FirstUnsavableCharacter(text))
        return UnsavableCharacter(*cp);
    if (Cp932Length(text) > RecordFile::kMaxTextFieldBytes)
        return kTextTooLongToSave;
    return std::nullopt;
}

bool EncodeTextField(std::string_view text, std::string& bytes, std::string* fault) {
    const bool plain =
        std::none_of(text.begin(), text.end(), [](char c) { return c == '"' || c == '\r' || c == '\n' || c == '\0'; });
    if (plain && EncodeCp932Exactly(text, bytes) && bytes.size() <= RecordFile::kMaxTextFieldBytes)
        return true;
    bytes.clear();
    if (fault)
        *fault = TextFieldFault(text).value_or("Shift_JIS で保存できない文字があります");
    return false;
}

namespace {

// Encodes record lines to code page 932 and reads them back: text that does not come back as itself is
// refused, naming the first character that would change (looked for in the fields given, else in the text).
Status EncodeChecked(const std::string& utf8, std::span<const FieldValue> fields, std::string& bytes) {
    if (EncodeCp932Exactly(utf8, bytes))
        return {};
    for (const FieldValue& value : fields)
        if (const auto* text = std::get_if<std::string>(&value))
            if (const auto fault = TextFieldFault(*text))
                return Status::Failure(Status::Code::Unsavable, *fault);
    if (const auto cp = FirstUnsavableCharacter(utf8))
        return Status::Failure(Status::Code::Unsavable, UnsavableCharacter(*cp));
    return Status::Failure(Status::Code::Unsavable, "Shift_JIS で保存できない文字があります");
}

Status ChangedOutside() {
    return Status::Failure(Status::Code::Changed, "他のプログラムがファイルを変更しました");
}

Status FileFull() {
    return Status::Failure(Status::Code::Unsavable, "これ以上書き込むとファイルが 16 MB を超え、読み込めなくなります");
}

} // namespace

RecordFile::~RecordFile() {
    if (m_mode == Mode::Output)
        discardOutput();
    if (m_fd >= 0)
        ::close(m_fd);
}

Status RecordFile::systemFailure(int error) {
    return Status::Failure(Status::Code::System, SystemReason(error));
}

Status RecordFile::damaged(int line, std::string reason) const {
    return Status::Failure(Status::Code::Damaged, std::move(reason), line);
}

Status RecordFile::OpenForInput(std::string_view name) {
    if (isOpen())
        return systemFailure(EBUSY);
    const DataFileLookup lookup = LookUpDataFile(name);
    if (!lookup.status)
        return lookup.status;
    // Without blocking: a pipe named like a data file must not hang the program before it can say so.
    FdCloser file{::open(lookup.used.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (file.fd < 0)
        return errno == ENOENT ? Status::Failure(Status::Code::NotFound, SystemReason(ENOENT)) : systemFailure(errno);
    struct stat st {};
    if (fstat(file.fd, &st) != 0)
        return systemFailure(errno);
    if (S_ISDIR(st.st_mode))
        return systemFailure(EISDIR);
    if (!S_ISREG(st.st_mode)) // a device or a pipe would never end, or never begin
        return Status::Failure(Status::Code::System, kNotRegularReason);
    if (st.st_size > static_cast<off_t>(kMaxInputBytes))
        return Status::Failure(Status::Code::System, kTooLargeReason);
    // The shortest record, an empty text and a 0, takes 7 bytes and a line end; no data file holds 32,767.
    m_recordsAtMost = static_cast<int>(std::min<off_t>(st.st_size / 8 + 1, 32768));
    m_sizeAtOpen = static_cast<std::size_t>(st.st_size);
    m_identity = IdentityOf(st);
    m_fd = file.fd;
    file.fd = -1;
    m_mode = Mode::Input;
    m_raw.clear();
    m_rawEnd = false;
    m_rawLine = 1;
    m_rawRead = 0;
    m_text.clear();
    m_textBase = 0;
    m_pos = 0;
    m_line = 1;
    m_afterLineEnd = true;
    m_tailOffset = std::string::npos;
    m_tornPending = false;
    m_tornLine = 0;
    m_inputFailure = {};
    // The first piece now, so that a file that is not code page 932 at all is told at once.
    if (!readAhead() && !m_inputFailure.ok()) {
        const Status failure = m_inputFailure;
        (void)Close();
        return failure;
    }
    return {};
}

// The file is read a piece of whole lines at a time and decoded piece by piece, so that a large file is never
// in memory whole, as bytes or as text: only the records not yet read are. A file is read as code page 932
// whenever it decodes as such, as the program's own files always do; only a file that does not is told apart
// as UTF-8. The last line, when it has no line end, may be the remains of a write that was cut off: bytes that
// do not decode there make it that, not a damaged file. False when nothing more comes: at the end, or after a
// failure, which m_inputFailure then holds.
bool RecordFile::readAhead() {
    if (!m_inputFailure.ok() || (m_rawEnd && m_raw.empty()))
        return false;
    constexpr std::size_t kPiece = 256 * 1024;
    // Where the piece ends: after its last line end (not a CR that may be the first half of a CR LF), or, at
    // the end of the file, where its last line without a line end begins.
    auto cut = [this] {
        if (m_rawEnd)
            return LastLineStart(m_raw);
        if (const std::size_t lf = m_raw.find_last_of('\n'); lf != std::string::npos)
            return lf + 1;
        const std::size_t cr = m_raw.find_last_of('\r');
        return cr != std::string::npos && cr + 1 < m_raw.size() ? cr + 1 : std::size_t(0);
    };
    while (!m_rawEnd && (m_raw.size() < kPiece || cut() == 0)) {
        // A piece, or what is left of a smaller file and a byte to find its end (or that it grew).
        const std::size_t had = m_raw.size();
        const std::size_t left = m_sizeAtOpen > m_rawRead ? m_sizeAtOpen - m_rawRead : 0;
        const std::size_t want = std::min(kPiece, left + 1);
        m_raw.resize(had + want);
        const ssize_t n = ::read(m_fd, m_raw.data() + had, want);
        m_raw.resize(had + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_inputFailure = systemFailure(errno);
            return false;
        }
        m_rawEnd = n == 0;
        m_rawRead += static_cast<std::size_t>(n);
        if (m_rawRead > kMaxInputBytes) { // grown while being read
            m_inputFailure = Status::Failure(Status::Code::System, kTooLargeReason);
            return false;
        }
    }
    if (m_textBase == 0 && m_text.empty() && m_rawLine == 1 && std::string_view(m_raw).starts_with("\xEF\xBB\xBF")) {
        m_inputFailure = damaged(1, kUtf8Reason);
        return false;
    }
    const std::size_t bodyEnd = cut();
    const std::string_view body(m_raw.data(), bodyEnd);
    if (const auto nul = body.find('\0'); nul != std::string_view::npos) {
        m_inputFailure = damaged(m_rawLine + LineAt(body, nul) - 1, "NUL 文字（0x00）が含まれています");
        return false;
    }
    std::size_t badOffset = 0;
    if (!DecodeCp932(body, m_decoded, badOffset)) {
        m_inputFailure = wholeFileIsUtf8() ? damaged(1, kUtf8Reason)
                                           : damaged(m_rawLine + LineAt(body, badOffset) - 1,
                                                     "Shift_JIS（CP932）の文字ではないバイトがあります");
        return false;
    }
    m_text += m_decoded;
    m_rawLine += LineAt(body, body.size()) - 1;
    m_raw.erase(0, bodyEnd);
    if (!m_rawEnd || m_raw.empty())
        return true;
    const std::string_view tail = m_raw;
    if (tail.find('\0') != std::string_view::npos || !DecodeCp932(tail, m_decoded, badOffset)) {
        if (tail.find('\0') == std::string_view::npos && wholeFileIsUtf8()) {
            m_inputFailure = damaged(1, kUtf8Reason);
            return false;
        }
        m_tornPending = true;
        m_tornLine = m_rawLine;
    } else {
        m_tailOffset = m_textBase + m_text.size();
        m_text += m_decoded;
    }
    m_raw.clear();
    return true;
}

// Whether the whole file, with text beyond ASCII, is valid UTF-8: asked only of a file that does not decode.
bool RecordFile::wholeFileIsUtf8() const {
    struct stat st {};
    if (fstat(m_fd, &st) != 0 || st.st_size <= 0 || st.st_size > static_cast<off_t>(kMaxInputBytes))
        return false;
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    if (pread(m_fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        return false;
    return IsValidUtf8(bytes);
}

char RecordFile::peekAt(std::size_t pos) {
    while (pos >= m_text.size())
        if (!readAhead())
            return '\0';
    return m_text[pos];
}

std::size_t RecordFile::findFrom(char c, std::size_t from) {
    for (;;) {
        if (const std::size_t at = m_text.find(c, from); at != std::string::npos)
            return at;
        if (!readAhead())
            return std::string::npos;
    }
}

Status RecordFile::tornTail() {
    m_tornPending = false;
    m_pos = m_text.size();
    m_raw.clear();
    m_rawEnd = true;
    return Status::Failure(Status::Code::Torn, "最後の行は、書き込みの途中で途切れた記録の残りです", m_tornLine);
}

Status RecordFile::OpenForOutput(std::string_view name) {
    if (isOpen())
        return systemFailure(EBUSY);
    const DataFileLookup lookup = LookUpDataFile(name);
    if (!lookup.status && lookup.status.code() != Status::Code::NotFound)
        return lookup.status;
    std::string target = lookup.status ? lookup.used : std::string(name);
    // Write beside what a link points to, so the link stays a link.
    struct stat st {};
    bool exists = false;
    if (lstat(target.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            if (char* real = realpath(target.c_str(), nullptr)) {
                target = real;
                std::free(real);
            }
        }
        exists = stat(target.c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode))
            return systemFailure(EISDIR);
        if (exists && !S_ISREG(st.st_mode)) // never put a file in the place of a device or a pipe
            return Status::Failure(Status::Code::System, kNotRegularReason);
    }
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // The file's other names beside it (hard links) are names of one file to the user: they get the new
    // content with it, or the next start would find two files with data.
    std::vector<std::string> otherLinks;
    if (exists && st.st_nlink > 1 && !lookup.otherNames.empty()) {
        char* real = realpath(target.c_str(), nullptr);
        const std::string targetPath = real ? real : "";
        std::free(real);
        for (const std::string& other : lookup.otherNames) {
            struct stat link {};
            char* otherReal = realpath(other.c_str(), nullptr);
            const bool itself = !otherReal || targetPath == otherReal;
            std::free(otherReal);
            if (!itself && lstat(other.c_str(), &link) == 0 && S_ISREG(link.st_mode) && link.st_dev == st.st_dev &&
                link.st_ino == st.st_ino)
                otherLinks.push_back(other);
        }
    }
    std::string pattern;
    const int fd = MakeTemporaryBeside(directory, base, pattern);
    if (fd < 0)
        return systemFailure(errno);
    mode_t mode = st.st_mode & 07777;
    if (!exists) {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    // Keeping the old mode is a courtesy: some file systems (FAT) refuse it, and that is no reason to fail.
    (void)fchmod(fd, mode);
    m_fd = fd;
    m_target = target;
    m_temporary = pattern;
    m_otherLinks = std::move(otherLinks);
    m_buffer.clear();
    m_encoded.clear();
    m_failure = {};
    m_written = 0;
    m_mode = Mode::Output;
    return {};
}

Status RecordFile::OpenForAppend(std::string_view name) {
    if (isOpen())
        return systemFailure(EBUSY);
    const DataFileLookup lookup = LookUpDataFile(name);
    if (!lookup.status && lookup.status.code() != Status::Code::NotFound)
        return lookup.status;
    const std::string target = lookup.status ? lookup.used : std::string(name);
    struct stat st {};
    m_created = lstat(target.c_str(), &st) != 0;
    int flags = O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (m_expected) { // onto the file that was read, or onto a new one where there was none
        if (m_expected->state == FileIdentity::State::Unusable)
            return ChangedOutside();
        flags = m_expected->present() ? flags & ~O_CREAT : flags | O_EXCL;
    }
    const int fd = ::open(target.c_str(), flags, 0666);
    if (fd < 0)
        return m_expected && (errno == ENOENT || errno == EEXIST) ? ChangedOutside() : systemFailure(errno);
    FdCloser guard{fd};
    if (fstat(fd, &st) != 0)
        return systemFailure(errno);
    if (S_ISDIR(st.st_mode))
        return systemFailure(EISDIR);
    if (!S_ISREG(st.st_mode))
        return Status::Failure(Status::Code::System, kNotRegularReason);
    if (m_expected && m_expected->present() && IdentityOf(st) != *m_expected)
        return ChangedOutside();
    m_appendSize = st.st_size;
    m_tailStart = -1;
    m_tail.clear();
    // A last line without its line end is either a whole record (an edited file) or what a cut-off write
    // left; which it is, the first record written decides, by its kinds.
    char last = 0;
    if (st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n' && last != '\r') {
        const off_t window = std::min<off_t>(st.st_size, static_cast<off_t>(kMaxInputBytes) + 1);
        std::string end(static_cast<std::size_t>(window), '\0');
        if (pread(fd, end.data(), end.size(), st.st_size - window) != static_cast<ssize_t>(end.size()))
            return systemFailure(errno ? errno : EIO);
        const std::size_t start = LastLineStart(end);
        m_tailStart = st.st_size - window + static_cast<off_t>(start);
        m_tail = end.substr(start);
    }
    guard.fd = -1;
    m_fd = fd;
    m_buffer.clear();
    m_mode = Mode::Append;
    return {};
}

bool RecordFile::AtEnd() {
    if (m_mode != Mode::Input)
        return true;
    for (std::size_t pos = m_pos;; ++pos) {
        const char c = peekAt(pos);
        if (c == '\0')
            return !m_tornPending && m_inputFailure.ok();
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
}

void RecordFile::skipBlanks() {
    while (IsBlank(peekAt(m_pos)))
        ++m_pos;
}

bool RecordFile::atLineEnd() {
    const char c = peekAt(m_pos);
    return c == '\r' || c == '\n';
}

// Moves past one line end at the read position: CR LF, LF or CR.
void RecordFile::skipLineEnds() {
    while (atLineEnd()) {
        if (m_text[m_pos] == '\r' && peekAt(m_pos + 1) == '\n')
            ++m_pos;
        ++m_pos;
        ++m_line;
        skipBlanks();
    }
}

// Moves past the text of an unquoted field, up to the next comma or line end.
void RecordFile::skipBareField() {
    char c = peekAt(m_pos);
    while (c != '\0' && c != ',' && c != '\r' && c != '\n')
        c = peekAt(++m_pos);
}

// Moves past everything up to and including the next comma or line end.
void RecordFile::consumeDelimiter() {
    skipBareField();
    const char c = peekAt(m_pos);
    m_afterLineEnd = c != ',';
    if (c == '\0')
        return;
    if (c == ',') {
        ++m_pos;
        return;
    }
    if (c == '\r' && peekAt(m_pos + 1) == '\n')
        ++m_pos;
    ++m_pos;
    ++m_line;
}

Status RecordFile::ReadRecord(std::span<const FieldKind> kinds, std::vector<FieldValue>& values) {
    // The texts go where the last record's were, into the room those strings already have: a ledger of
    // thousands of records is read without a string made for each field. values ends with the fields read.
    std::size_t filled = 0;
    struct Trim {
        std::vector<FieldValue>& values;
        const std::size_t& filled;
        ~Trim() { values.resize(filled); }
    } trim{values, filled};
    auto nextText = [&]() -> std::string& {
        if (filled == values.size())
            values.emplace_back(std::string());
        else if (!std::holds_alternative<std::string>(values[filled]))
            values[filled] = std::string();
        return std::get<std::string>(values[filled++]);
    };
    if (m_mode != Mode::Input)
        return systemFailure(EBADF);
    if (!m_inputFailure.ok())
        return m_inputFailure;
    // What has been read goes: only the records still to come are kept.
    if (m_pos > 64 * 1024) {
        m_text.erase(0, m_pos);
        m_textBase += m_pos;
        m_pos = 0;
    }
    std::size_t recordStart = std::string::npos;
    // A record that fails where it begins on a last line without a line end is what a cut-off write left;
    // one that fails because the file could not be read further fails with that.
    auto failure = [&](int line, std::string reason) {
        if (!m_inputFailure.ok())
            return m_inputFailure;
        if (recordStart != std::string::npos && m_tailOffset != std::string::npos &&
            m_textBase + recordStart >= m_tailOffset) {
            m_tornLine = m_recordLine;
            return tornTail();
        }
        return damaged(line, std::move(reason));
    };
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        skipBlanks();
        if (i == 0 || m_afterLineEnd)
            skipLineEnds();
        if (i == 0) {
            m_recordLine = m_line;
            recordStart = m_pos;
            if (m_tornPending && peekAt(m_pos) == '\0' && m_inputFailure.ok())
                return tornTail();
        }
        const char first = peekAt(m_pos);
        if (first == '\0')
            return failure(m_recordLine, "レコードが途中で終わっています");
        const int line = m_line;
        if (kinds[i] == FieldKind::Text) {
            if (first == '"') {
                const std::size_t close = findFrom('"', m_pos + 1);
                if (close == std::string::npos)
                    return failure(line, "レコードが途中で終わっています（閉じる「\"」がありません）");
                const std::string_view value(m_text.data() + m_pos + 1, close - m_pos - 1);
                if (value.size() > kMaxTextFieldBytes && Cp932Length(value) > kMaxTextFieldBytes)
                    return failure(line, kTextTooLongReason);
                m_line += LineAt(value, value.size()) - 1;
                std::string& text = nextText();
                text.assign(value);
                ShowBackslashesAsYen(text);
                m_pos = close + 1;
            } else {
                const std::size_t start = m_pos;
                skipBareField();
                std::string& value = nextText();
                value.assign(m_text, start, m_pos - start);
                while (!value.empty() && IsBlank(value.back()))
                    value.pop_back();
                if (value.size() > kMaxTextFieldBytes && Cp932Length(value) > kMaxTextFieldBytes)
                    return failure(line, kTextTooLongReason);
                ShowBackslashesAsYen(value);
            }
            consumeDelimiter();
        } else {
            const std::size_t start = m_pos;
            skipBareField();
            const std::string_view field(m_text.data() + start, m_pos - start);
            const auto amount = ParseMoneyField(field);
            if (!amount)
                return failure(line, "金額「" + std::string(field) + "」が数値ではありません");
            if (filled == values.size())
                values.emplace_back(*amount);
            else
                values[filled] = *amount;
            ++filled;
            consumeDelimiter();
        }
    }
    return {};
}

Status RecordFile::WriteRecord(std::span<const FieldValue> values) {
    if (m_mode != Mode::Output && m_mode != Mode::Append)
        return systemFailure(EBADF);
    std::string line;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            line += ',';
        if (const auto* text = std::get_if<std::string>(&values[i])) {
            std::optional<Status> refused;
            if (text->find_first_of(std::string_view("\"\r\n\0", 4)) != std::string::npos)
                refused = Status::Failure(Status::Code::Unsavable, *TextFieldFault(*text));
            // Code page 932 never takes more bytes than UTF-8: only a long text needs counting.
            else if (text->size() > kMaxTextFieldBytes && Cp932Length(*text) > kMaxTextFieldBytes)
                refused = Status::Failure(Status::Code::Unsavable, kTextTooLongToSave);
            if (refused) {
                if (m_mode == Mode::Output && m_failure.ok())
                    m_failure = *refused; // a rewrite without this record would lose it
                return *refused;
            }
            line += '"';
            line += *text;
            line += '"';
        } else {
            line += MoneyToText(std::get<Currency>(values[i]));
        }
    }
    line += "\r\n";
    if (m_mode == Mode::Append)
        return appendLine(values, line);
    // A rewrite is checked and encoded a chunk at a time, which costs a fraction of a line at a time; a
    // character that does not survive fails the whole rewrite at the latest at Close.
    if (!m_failure.ok())
        return m_failure;
    m_buffer += line;
    if (m_buffer.size() >= kOutputChunk)
        return flushOutput();
    return {};
}

bool RecordFile::IsWholeRecord(std::string_view bytes, std::span<const FieldKind> kinds) {
    if (bytes.find('\0') != std::string_view::npos)
        return false;
    RecordFile probe;
    std::size_t badOffset = 0;
    if (!DecodeCp932(bytes, probe.m_text, badOffset))
        return false;
    probe.m_mode = Mode::Input;
    probe.m_rawEnd = true; // the text is all there is
    std::vector<FieldValue> values;
    return probe.ReadRecord(kinds, values).ok() && probe.AtEnd();
}

Status RecordFile::appendLine(std::span<const FieldValue> values, const std::string& line) {
    std::string bytes;
    if (const Status encoded = EncodeChecked(line, values, bytes); !encoded)
        return encoded;
    // A last line without a line end: a whole record gets its line end; the remains of a cut-off write go.
    bool dropTail = false;
    std::string prefix;
    if (m_tailStart >= 0) {
        std::vector<FieldKind> kinds;
        for (const FieldValue& value : values)
            kinds.push_back(std::holds_alternative<std::string>(value) ? FieldKind::Text : FieldKind::Money);
        dropTail = !AllBlank(m_tail) && !IsWholeRecord(m_tail, kinds);
        if (!dropTail)
            prefix = "\r\n";
    }
    const off_t size = dropTail ? m_tailStart : m_appendSize;
    if (static_cast<std::size_t>(size) + prefix.size() + bytes.size() > kMaxInputBytes)
        return FileFull();
    if (dropTail && ftruncate(m_fd, m_tailStart) != 0)
        return systemFailure(errno);
    // One write per record, so a record is in the file whole or not at all.
    const Status written = writeOut(prefix + bytes);
    if (written) {
        m_appendSize = size + static_cast<off_t>(prefix.size() + bytes.size());
        m_tailStart = -1;
        m_tail.clear();
    }
    return written;
}

Status RecordFile::writeOut(std::string_view bytes) {
    struct stat st {};
    const bool sized = fstat(m_fd, &st) == 0;
    int error = 0;
    if (WriteAll(m_fd, bytes, error))
        return {};
    // Take back a record cut short by a full disk, so the file keeps whole lines.
    if (sized && ftruncate(m_fd, st.st_size) != 0) {
        // Nothing more can be done; the reader leaves out the cut record.
    }
    return systemFailure(error);
}

Status RecordFile::WriteEncodedLines(std::string_view bytes) {
    if (m_mode != Mode::Output)
        return systemFailure(EBADF);
    if (!m_failure.ok())
        return m_failure;
    if (!m_buffer.empty() && !encodeBuffered())
        return m_failure;
    if (!m_encoded.empty()) {
        m_encoded += bytes;
        return writeEncoded();
    }
    return writeEncoded(bytes);
}

// The lines written as text so far, in code page 932 after what was written encoded.
bool RecordFile::encodeBuffered() {
    std::string bytes;
    if (const Status encoded = EncodeChecked(m_buffer, {}, bytes); !encoded)
        m_failure = encoded;
    else
        m_encoded += bytes;
    m_buffer.clear();
    return m_failure.ok();
}

Status RecordFile::writeEncoded() {
    const Status status = writeEncoded(m_encoded);
    m_encoded.clear();
    return status;
}

Status RecordFile::writeEncoded(std::string_view bytes) {
    if (m_written + bytes.size() > kMaxInputBytes) {
        m_failure = FileFull();
    } else if (int error = 0; !WriteAll(m_fd, bytes, error)) {
        m_failure = systemFailure(error);
    }
    m_written += bytes.size();
    return m_failure;
}

Status RecordFile::flushOutput() {
    if (!m_failure.ok())
        return m_failure;
    if (!m_buffer.empty() && !encodeBuffered())
        return m_failure;
    return m_encoded.empty() ? m_failure : writeEncoded();
}

void RecordFile::discardOutput() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    ::unlink(m_temporary.c_str());
    m_buffer.clear();
    m_encoded.clear();
    m_mode = Mode::Closed;
}

namespace {

// Makes a new or renamed directory entry durable.
void SyncDirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    FdCloser dir{::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0)
        fsync(dir.fd);
}

} // namespace

Status RecordFile::Close() {
    Status result;
    switch (m_mode) {
    case Mode::Closed:
        break;
    case Mode::Input:
        ::close(m_fd);
        m_fd = -1;
        m_text.clear();
        m_text.shrink_to_fit();
        m_raw.clear();
        m_raw.shrink_to_fit();
        m_decoded.clear();
        m_decoded.shrink_to_fit();
        m_tornPending = false;
        break;
    case Mode::Append:
        // A deposit is on the disk before it is shown as done.
        if (fdatasync(m_fd) != 0)
            result = systemFailure(errno);
        if (struct stat st{}; result && fstat(m_fd, &st) == 0)
            m_identity = IdentityOf(st);
        if (::close(m_fd) != 0 && result)
            result = systemFailure(errno);
        m_fd = -1;
        if (m_created)
            SyncDirectoryOf(".");
        break;
    case Mode::Output: {
        if (m_failure.ok())
            flushOutput();
        if (m_failure.ok() && fsync(m_fd) != 0)
            m_failure = systemFailure(errno);
        struct stat st {};
        if (m_failure.ok() && fstat(m_fd, &st) != 0)
            m_failure = systemFailure(errno);
        if (::close(m_fd) != 0 && m_failure.ok())
            m_failure = systemFailure(errno);
        m_fd = -1;
        // The other names are linked to the new content first, so that a failure leaves every name as it was;
        // then all are renamed into place, which does not fail for want of room.
        std::vector<std::pair<std::string, std::string>> links; // a new link, and the name it goes to
        for (const std::string& other : m_otherLinks) {
            std::string link;
            if (!m_failure.ok())
                break;
            if (LinkTemporaryBeside(m_temporary, other, link))
                links.emplace_back(std::move(link), other);
            else
                m_failure = systemFailure(errno);
        }
        if (m_failure.ok() && m_expected) {
            int error = 0;
            switch (ReplaceIfUnchanged(m_temporary, m_target, *m_expected, error)) {
            case Replaced::Yes:
                break;
            case Replaced::Changed:
                m_failure = ChangedOutside();
                break;
            case Replaced::Failed:
                m_failure = systemFailure(error);
                break;
            }
        } else if (m_failure.ok() && std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
            m_failure = systemFailure(errno);
        }
        if (!m_failure.ok()) {
            if (!m_temporary.empty())
                ::unlink(m_temporary.c_str());
            for (const auto& link : links)
                ::unlink(link.first.c_str());
            result = m_failure;
            break;
        }
        for (const auto& [link, other] : links) {
            if (std::rename(link.c_str(), other.c_str()) != 0)
                ::unlink(link.c_str()); // that name keeps the old content: the next start names both
        }
        m_identity = IdentityOf(st); // a rename keeps the file, its size and its time
        SyncDirectoryOf(m_target);
        break;
    }
    }
    m_buffer.clear();
    m_encoded.clear();
    m_mode = Mode::Closed;
    m_expected.reset();
    return result;
}

Status AppendRecord(std::string_view name, std::span<const FieldValue> values, const FileIdentity* expected,
                    FileIdentity* written) {
    RecordFile file;
    if (expected)
        file.expect(*expected);
    Status status = file.OpenForAppend(name);
    if (status)
        status = file.WriteRecord(values);
    const Status closed = file.Close();
    if (status && closed && written)
        *written = file.identity();
    return status ? closed : status;
}

Status EmptyFile(std::string_view name, const FileIdentity* expected, FileIdentity* written) {
    RecordFile file;
    if (expected)
        file.expect(*expected);
    Status status = file.OpenForOutput(name);
    if (status)
        status = file.Close();
    if (status && written)
        *written = file.identity();
    return status;
}

} // namespace records
