// Record lines in code page 932 files: reading them a piece at a time, appending them, and rewriting a file whole.
#include "records/record_file.h"

#include "records/cp932.h"
#include "records/posix_io.h"
#include "records/utf8.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace records {
namespace {

constexpr std::size_t kOutputChunk = 64 * 1024;
constexpr char kEndOfFileMark = '\x1A'; // Ctrl-Z

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

// Unsavable texts, as values.
Status Unsavable(Status::What what) {
    return Status::Failure(Status::Code::Unsavable, what);
}

Status TooLongToSave() {
    return Unsavable(Status::What::TextTooLongToSave).withLimit(RecordFile::kMaxTextFieldBytes);
}

Status NotRegularFile() {
    return Status::Failure(Status::Code::System, Status::What::NotRegularFile);
}

Status TooLarge() {
    return Status::Failure(Status::Code::System, Status::What::FileTooLarge).withLimit(RecordFile::kMaxInputBytes);
}

} // namespace

std::optional<Status> TextFieldFault(std::string_view text) {
    if (text.find('"') != std::string::npos)
        return Unsavable(Status::What::DoubleQuote);
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return Unsavable(Status::What::LineBreak);
    if (const auto cp = FirstUnsavableCharacter(text))
        return Unsavable(Status::What::UnsavableCharacter).withCharacter(*cp);
    if (Cp932Length(text) > RecordFile::kMaxTextFieldBytes)
        return TooLongToSave();
    return std::nullopt;
}

bool EncodeTextField(std::string_view text, std::string& bytes, Status* fault) {
    const bool plain =
        std::none_of(text.begin(), text.end(), [](char c) { return c == '"' || c == '\r' || c == '\n' || c == '\0'; });
    if (plain && EncodeCp932Exactly(text, bytes) && bytes.size() <= RecordFile::kMaxTextFieldBytes)
        return true;
    bytes.clear();
    if (fault)
        *fault = TextFieldFault(text).value_or(Unsavable(Status::What::NotEncodable));
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
                return *fault;
    if (const auto cp = FirstUnsavableCharacter(utf8))
        return Unsavable(Status::What::UnsavableCharacter).withCharacter(*cp);
    return Unsavable(Status::What::NotEncodable);
}

Status ChangedOutside() {
    return Status::Failure(Status::Code::Changed, Status::What::ChangedOutside);
}

Status FileFull() {
    return Unsavable(Status::What::FileWouldBeTooLarge).withLimit(RecordFile::kMaxInputBytes);
}

} // namespace

RecordFile::~RecordFile() {
    if (m_mode == Mode::Output)
        discardOutput();
    if (m_fd >= 0)
        ::close(m_fd);
}

Status RecordFile::systemFailure(int error) {
    return Status::SystemError(error);
}

Status RecordFile::damaged(int line, Status::What what) const {
    return Status::Failure(Status::Code::Damaged, what).atLine(line);
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
        return errno == ENOENT ? Status::Failure(Status::Code::NotFound, Status::What::SystemCall).withError(ENOENT)
                               : systemFailure(errno);
    struct stat st {};
    if (fstat(file.fd, &st) != 0)
        return systemFailure(errno);
    if (S_ISDIR(st.st_mode))
        return systemFailure(EISDIR);
    if (!S_ISREG(st.st_mode)) // a device or a pipe would never end, or never begin
        return NotRegularFile();
    if (st.st_size > static_cast<off_t>(kMaxInputBytes))
        return TooLarge();
    // The shortest record, an empty text and a 0, takes 7 bytes and a line end; a data file holds kMaxRecords,
    // and the one after them is read before it is refused.
    m_recordsAtMost = static_cast<int>(std::min<off_t>(st.st_size / 8 + 1, kMaxRecords + 2));
    m_sizeAtOpen = static_cast<std::size_t>(st.st_size);
    m_recordsRead = 0;
    m_inputName = name;
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
        // Old Windows editors end a file with Ctrl-Z: an end-of-file mark, not a line.
        if (m_rawEnd && !m_raw.empty() && m_raw.back() == kEndOfFileMark)
            m_raw.pop_back();
        if (m_rawRead > kMaxInputBytes) { // grown while being read
            m_inputFailure = TooLarge();
            return false;
        }
    }
    if (m_textBase == 0 && m_text.empty() && m_rawLine == 1 && std::string_view(m_raw).starts_with("\xEF\xBB\xBF")) {
        m_inputFailure = damaged(1, Status::What::Utf8File);
        return false;
    }
    const std::size_t bodyEnd = cut();
    const std::string_view body(m_raw.data(), bodyEnd);
    if (const auto nul = body.find('\0'); nul != std::string_view::npos) {
        m_inputFailure = damaged(m_rawLine + LineAt(body, nul) - 1, Status::What::NulByte);
        return false;
    }
    std::size_t badOffset = 0;
    if (!DecodeCp932(body, m_decoded, badOffset)) {
        m_inputFailure = wholeFileIsUtf8()
                             ? damaged(1, Status::What::Utf8File)
                             : damaged(m_rawLine + LineAt(body, badOffset) - 1, Status::What::NotCodePage932);
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
            m_inputFailure = damaged(1, Status::What::Utf8File);
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
    return Status::Failure(Status::Code::Torn, Status::What::CutOffLastLine).atLine(m_tornLine);
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
            return NotRegularFile();
    }
    // The file's other names beside it (hard links) are names of one file to the user: they get the new
    // content with it, or the next start would find two files with data.
    m_otherLinks.clear();
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
                m_otherLinks.push_back(other);
        }
    }
    if (const int error = m_save.begin(target, exists ? st.st_mode & 07777 : NewFileMode()))
        return systemFailure(error);
    m_fd = m_save.fd();
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
        return NotRegularFile();
    if (m_expected && m_expected->present() && IdentityOf(st) != *m_expected)
        return ChangedOutside();
    m_appendSize = st.st_size;
    m_tailStart = -1;
    m_tail.clear();
    m_endMark = -1;
    // A Ctrl-Z at the end is read as the end of the file, so what is written goes before it and the mark
    // goes: after it, a record would be a line the reader does not take.
    off_t size = st.st_size;
    char last = 0;
    if (size > 0 && pread(fd, &last, 1, size - 1) == 1 && last == kEndOfFileMark)
        m_endMark = --size;
    // A last line without its line end is either a whole record (an edited file) or what a cut-off write
    // left; which it is, the first record written decides, by its kinds.
    if (size > 0 && pread(fd, &last, 1, size - 1) == 1 && last != '\n' && last != '\r') {
        const off_t window = std::min<off_t>(size, static_cast<off_t>(kMaxInputBytes) + 1);
        std::string end(static_cast<std::size_t>(window), '\0');
        if (pread(fd, end.data(), end.size(), size - window) != static_cast<ssize_t>(end.size()))
            return systemFailure(errno ? errno : EIO);
        const std::size_t start = LastLineStart(end);
        m_tailStart = size - window + static_cast<off_t>(start);
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
    auto failure = [&](int line, const Status& damage) {
        if (!m_inputFailure.ok())
            return m_inputFailure;
        if (recordStart != std::string::npos && m_tailOffset != std::string::npos &&
            m_textBase + recordStart >= m_tailOffset) {
            m_tornLine = m_recordLine;
            return tornTail();
        }
        return damage.atLine(line);
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
            return failure(m_recordLine, damaged(0, Status::What::RecordCutShort));
        const int line = m_line;
        if (kinds[i] == FieldKind::Text) {
            if (first == '"') {
                const std::size_t close = findFrom('"', m_pos + 1);
                if (close == std::string::npos)
                    return failure(line, damaged(0, Status::What::QuoteNotClosed));
                const std::string_view value(m_text.data() + m_pos + 1, close - m_pos - 1);
                if (value.size() > kMaxTextFieldBytes && Cp932Length(value) > kMaxTextFieldBytes)
                    return failure(line, damaged(0, Status::What::TextFieldTooLong).withLimit(kMaxTextFieldBytes));
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
                    return failure(line, damaged(0, Status::What::TextFieldTooLong).withLimit(kMaxTextFieldBytes));
                ShowBackslashesAsYen(value);
            }
            consumeDelimiter();
        } else {
            const std::size_t start = m_pos;
            skipBareField();
            const std::string_view field(m_text.data() + start, m_pos - start);
            const auto amount = ParseMoneyField(field);
            if (!amount)
                return failure(line, damaged(0, Status::What::NotAnAmount).withText(std::string(field)));
            if (filled == values.size())
                values.emplace_back(*amount);
            else
                values[filled] = *amount;
            ++filled;
            consumeDelimiter();
        }
    }
    // A record ends its line: a comma after the last field is a record longer than its kinds, never the
    // remains of a cut-off write, which stops short of the line end.
    if (!m_afterLineEnd) {
        if (!m_inputFailure.ok())
            return m_inputFailure;
        return damaged(m_line, Status::What::ExtraField);
    }
    if (++m_recordsRead > kMaxRecords)
        return damaged(m_recordLine, Status::What::TooManyRecords).withLimit(kMaxRecords).withPlace(m_inputName);
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
                refused = *TextFieldFault(*text);
            // Code page 932 never takes more bytes than UTF-8: only a long text needs counting.
            else if (text->size() > kMaxTextFieldBytes && Cp932Length(*text) > kMaxTextFieldBytes)
                refused = TooLongToSave();
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
    const off_t size = dropTail ? m_tailStart : m_endMark >= 0 ? m_endMark : m_appendSize;
    if (static_cast<std::size_t>(size) + prefix.size() + bytes.size() > kMaxInputBytes)
        return FileFull();
    if (size != m_appendSize && ftruncate(m_fd, size) != 0)
        return systemFailure(errno);
    // One write per record, so a record is in the file whole or not at all.
    const Status written = writeOut(prefix + bytes);
    if (written) {
        m_appendSize = size + static_cast<off_t>(prefix.size() + bytes.size());
        m_tailStart = -1;
        m_tail.clear();
        m_endMark = -1;
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
    m_fd = -1;
    m_save.discard();
    m_buffer.clear();
    m_encoded.clear();
    m_mode = Mode::Closed;
}

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
            SyncFolderOf(".");
        break;
    case Mode::Output: {
        if (m_failure.ok())
            flushOutput();
        struct stat st {};
        if (m_failure.ok() && fstat(m_fd, &st) != 0)
            m_failure = systemFailure(errno);
        m_fd = -1;
        if (const int error = m_save.flush(); error != 0 && m_failure.ok())
            m_failure = systemFailure(error);
        if (m_failure.ok()) {
            const int error = m_save.replace(m_expected ? &*m_expected : nullptr, m_otherLinks);
            if (error == SafeSave::kChanged)
                m_failure = ChangedOutside();
            else if (error != 0)
                m_failure = systemFailure(error);
        }
        if (!m_failure.ok()) {
            m_save.discard();
            result = m_failure;
        } else {
            m_identity = IdentityOf(st); // a rename keeps the file, its size and its time
        }
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
