// Record lines in code page 932 files, and the case-insensitive lookup of bare file names.
#include "records/text/record_file.h"

#include "records/text/cp932.h"
#include "records/text/utf8.h"

#include <algorithm>
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

bool Exists(const std::string& name) {
    struct stat st {};
    return lstat(name.c_str(), &st) == 0;
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

// Japanese text saved as UTF-8 by a Linux editor would decode as code page 932 to nonsense or fail at a
// random place; say what it is instead. Real code page 932 text with kana or kanji is practically never
// valid UTF-8.
bool LooksLikeUtf8(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return true;
    const bool hasMultibyte = std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
    return hasMultibyte && IsValidUtf8(bytes);
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

bool WriteAll(int fd, std::string_view bytes, int& error) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

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

std::string ResolveDataFileName(std::string_view name) {
    const std::string wanted(name);
    if (Exists(wanted))
        return wanted;
    const std::string folded = Folded(wanted);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("."), closedir);
    if (!dir)
        return {};
    std::vector<std::string> matches;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view entryName = entry->d_name;
        if (IsValidUtf8(entryName)) {
            if (Folded(entryName) == folded)
                matches.emplace_back(entryName);
            continue;
        }
        std::string decoded;
        std::size_t badOffset = 0;
        if (DecodeCp932(entryName, decoded, badOffset) && Folded(decoded) == folded)
            matches.emplace_back(entryName);
    }
    if (matches.empty())
        return {};
    // Several spellings of one name can only come from a case-sensitive system; take one steadily.
    return *std::min_element(matches.begin(), matches.end());
}

std::optional<std::string> TextFieldFault(std::string_view text) {
    if (text.find('"') != std::string::npos)
        return "二重引用符「\"」は保存できません";
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return "改行や NUL 文字は保存できません";
    if (const auto cp = FirstUnsavableCharacter(text))
        return UnsavableCharacter(*cp);
    return std::nullopt;
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
    std::string resolved = ResolveDataFileName(name);
    if (resolved.empty())
        return Status::Failure(Status::Code::NotFound, SystemReason(ENOENT));
    FdCloser file{::open(resolved.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0)
        return errno == ENOENT ? Status::Failure(Status::Code::NotFound, SystemReason(ENOENT)) : systemFailure(errno);
    struct stat st {};
    if (fstat(file.fd, &st) != 0)
        return systemFailure(errno);
    if (S_ISDIR(st.st_mode))
        return systemFailure(EISDIR);
    if (!S_ISREG(st.st_mode)) // a device or a pipe would never end, or never begin
        return Status::Failure(Status::Code::System, "通常のファイルではありません");
    if (st.st_size > static_cast<off_t>(kMaxInputBytes))
        return Status::Failure(Status::Code::System, "ファイルが大きすぎます（16 MB まで読み込めます）");
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(file.fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return systemFailure(errno);
        }
        if (n == 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(n));
        if (bytes.size() > kMaxInputBytes) // grown while being read
            return Status::Failure(Status::Code::System, "ファイルが大きすぎます（16 MB まで読み込めます）");
    }
    if (LooksLikeUtf8(bytes))
        return damaged(1, "UTF-8 で保存されています。Shift_JIS（CP932）で保存し直してください");
    if (const auto nul = bytes.find('\0'); nul != std::string::npos)
        return damaged(LineAt(bytes, nul), "NUL 文字（0x00）が含まれています");
    std::size_t badOffset = 0;
    if (!DecodeCp932(bytes, m_text, badOffset)) {
        m_text.clear();
        return damaged(LineAt(bytes, badOffset), "Shift_JIS（CP932）の文字ではないバイトがあります");
    }
    m_pos = 0;
    m_line = 1;
    m_afterLineEnd = true;
    m_mode = Mode::Input;
    return {};
}

Status RecordFile::OpenForOutput(std::string_view name) {
    if (isOpen())
        return systemFailure(EBUSY);
    std::string target = ResolveDataFileName(name);
    if (target.empty())
        target = name;
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
    }
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = directory + "/." + base + ".XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return systemFailure(errno);
    mode_t mode = st.st_mode & 07777;
    if (!exists) {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(pattern.c_str());
        return systemFailure(error);
    }
    m_fd = fd;
    m_target = target;
    m_temporary = pattern;
    m_buffer.clear();
    m_failure = {};
    m_mode = Mode::Output;
    return {};
}

Status RecordFile::OpenForAppend(std::string_view name) {
    if (isOpen())
        return systemFailure(EBUSY);
    std::string target = ResolveDataFileName(name);
    if (target.empty())
        target = name;
    struct stat st {};
    if (stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return systemFailure(EISDIR);
    const int fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return systemFailure(errno);
    m_fd = fd;
    m_buffer.clear();
    // A last line without its line end (an edited file) must not swallow the first new record.
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
        char last = 0;
        const int reader = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
        if (reader >= 0) {
            if (pread(reader, &last, 1, st.st_size - 1) == 1 && last != '\n' && last != '\r')
                m_buffer = "\r\n";
            ::close(reader);
        }
    }
    m_mode = Mode::Append;
    return {};
}

bool RecordFile::AtEnd() const {
    if (m_mode != Mode::Input)
        return true;
    return std::all_of(m_text.begin() + static_cast<std::ptrdiff_t>(m_pos), m_text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

void RecordFile::skipBlanks() {
    while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t'))
        ++m_pos;
}

bool RecordFile::atLineEnd() const {
    return m_pos < m_text.size() && (m_text[m_pos] == '\r' || m_text[m_pos] == '\n');
}

// Moves past one line end at the read position: CR LF, LF or CR.
void RecordFile::skipLineEnds() {
    while (atLineEnd()) {
        if (m_text[m_pos] == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n')
            ++m_pos;
        ++m_pos;
        ++m_line;
        skipBlanks();
    }
}

// Moves past everything up to and including the next comma or line end.
void RecordFile::consumeDelimiter() {
    while (m_pos < m_text.size() && m_text[m_pos] != ',' && !atLineEnd())
        ++m_pos;
    m_afterLineEnd = m_pos >= m_text.size() || atLineEnd();
    if (m_pos >= m_text.size())
        return;
    if (m_text[m_pos] == ',') {
        ++m_pos;
        return;
    }
    if (m_text[m_pos] == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n')
        ++m_pos;
    ++m_pos;
    ++m_line;
}

Status RecordFile::ReadRecord(std::span<const FieldKind> kinds, std::vector<FieldValue>& values) {
    values.clear();
    if (m_mode != Mode::Input)
        return systemFailure(EBADF);
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        skipBlanks();
        if (i == 0 || m_afterLineEnd)
            skipLineEnds();
        if (i == 0)
            m_recordLine = m_line;
        if (m_pos >= m_text.size())
            return damaged(m_line, "レコードが途中で終わっています");
        const int line = m_line;
        if (kinds[i] == FieldKind::Text) {
            if (m_text[m_pos] == '"') {
                const std::size_t close = m_text.find('"', m_pos + 1);
                if (close == std::string::npos)
                    return damaged(line, "レコードが途中で終わっています（閉じる「\"」がありません）");
                const std::string_view value(m_text.data() + m_pos + 1, close - m_pos - 1);
                if (value.size() > kMaxTextFieldBytes)
                    return damaged(line, "文字の欄が長すぎます（64 KB まで）");
                m_line += LineAt(value, value.size()) - 1;
                values.emplace_back(std::string(value));
                m_pos = close + 1;
            } else {
                const std::size_t start = m_pos;
                while (m_pos < m_text.size() && m_text[m_pos] != ',' && !atLineEnd())
                    ++m_pos;
                if (m_pos - start > kMaxTextFieldBytes)
                    return damaged(line, "文字の欄が長すぎます（64 KB まで）");
                std::string value = m_text.substr(start, m_pos - start);
                while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
                    value.pop_back();
                values.emplace_back(std::move(value));
            }
            consumeDelimiter();
        } else {
            const std::size_t start = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] != ',' && !atLineEnd())
                ++m_pos;
            const std::string_view field(m_text.data() + start, m_pos - start);
            const auto amount = ParseMoneyField(field);
            if (!amount)
                return damaged(line, "金額「" + std::string(field) + "」が数値ではありません");
            values.emplace_back(*amount);
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
            if (text->find_first_of(std::string_view("\"\r\n\0", 4)) != std::string::npos) {
                const Status refused = Status::Failure(Status::Code::Unsavable, *TextFieldFault(*text));
                if (m_mode == Mode::Output && m_failure.ok())
                    m_failure = refused; // a rewrite without this record would lose it
                return refused;
            }
            line += '"';
            line += *text;
            line += '"';
        } else {
            line += MoneyToText(std::get<Currency>(values[i]));
        }
    }
    line += "\r\n";
    if (m_mode == Mode::Output) {
        // A rewrite is checked and encoded a chunk at a time, which costs a fraction of a line at a time;
        // a character that does not survive fails the whole rewrite at the latest at Close.
        if (!m_failure.ok())
            return m_failure;
        m_buffer += line;
        if (m_buffer.size() >= kOutputChunk)
            return flushOutput();
        return {};
    }
    std::string bytes;
    if (const Status encoded = EncodeChecked(line, values, bytes); !encoded)
        return encoded;
    // One write per record, so a record is in the file whole or not at all.
    m_buffer += bytes;
    const Status written = writeOut(m_buffer);
    m_buffer.clear();
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
        // Nothing more can be done; the reader reports the cut record.
    }
    return systemFailure(error);
}

Status RecordFile::flushOutput() {
    if (m_buffer.empty() || !m_failure.ok())
        return m_failure;
    std::string bytes;
    if (const Status encoded = EncodeChecked(m_buffer, {}, bytes); !encoded) {
        m_failure = encoded;
    } else if (int error = 0; !WriteAll(m_fd, bytes, error)) {
        m_failure = systemFailure(error);
    }
    m_buffer.clear();
    return m_failure;
}

void RecordFile::discardOutput() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    ::unlink(m_temporary.c_str());
    m_buffer.clear();
    m_mode = Mode::Closed;
}

Status RecordFile::Close() {
    Status result;
    switch (m_mode) {
    case Mode::Closed:
        break;
    case Mode::Input:
        m_text.clear();
        m_text.shrink_to_fit();
        break;
    case Mode::Append:
        if (!m_buffer.empty())
            result = writeOut(m_buffer);
        if (::close(m_fd) != 0 && result)
            result = systemFailure(errno);
        m_fd = -1;
        break;
    case Mode::Output: {
        if (m_failure.ok())
            flushOutput();
        if (m_failure.ok() && fsync(m_fd) != 0)
            m_failure = systemFailure(errno);
        if (::close(m_fd) != 0 && m_failure.ok())
            m_failure = systemFailure(errno);
        m_fd = -1;
        if (m_failure.ok() && std::rename(m_temporary.c_str(), m_target.c_str()) != 0)
            m_failure = systemFailure(errno);
        if (!m_failure.ok()) {
            ::unlink(m_temporary.c_str());
            result = m_failure;
            break;
        }
        // The new content is in place; make the rename itself durable.
        const std::size_t slash = m_target.rfind('/');
        const std::string directory = slash == std::string::npos ? "." : m_target.substr(0, slash == 0 ? 1 : slash);
        FdCloser dir{::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        if (dir.fd >= 0)
            fsync(dir.fd);
        break;
    }
    }
    m_buffer.clear();
    m_mode = Mode::Closed;
    return result;
}

Status AppendRecord(std::string_view name, std::span<const FieldValue> values) {
    RecordFile file;
    Status status = file.OpenForAppend(name);
    if (status)
        status = file.WriteRecord(values);
    const Status closed = file.Close();
    return status ? closed : status;
}

Status EmptyFile(std::string_view name) {
    RecordFile file;
    const Status status = file.OpenForOutput(name);
    return status ? file.Close() : status;
}

} // namespace records
