// One open data file of record lines: comma-separated fields, text fields in double quotes, money fields as
// plain decimal numbers, CR LF after each record, all in code page 932. Files are named by bare names in
// the current directory, matched without regard to letter case.
#pragma once

#include "records/text/file_identity.h"
#include "records/text/money.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <variant>
#include <vector>

namespace records {

enum class FieldKind { Text, Money };
using FieldValue = std::variant<std::string, Currency>;

// The outcome of a file operation. Reasons are for the user: the system's own words for a failed call,
// or what is wrong with a record, with its line.
class Status {
public:
    enum class Code {
        Ok,
        NotFound,  // no such file: the one failure a caller may recover from
        System,    // a call failed: open, read, write, flush, replace
        Damaged,   // the file's content is not records of the kinds asked for
        Unsavable, // a value a record line cannot carry
        Ambiguous, // several directory entries stand for the name, and more than one holds data
        NotAFile,  // an entry that stands for the name is a directory, a pipe or a device
        Torn,      // the last line is the remains of a write that was cut off; the records before it are whole
        Changed,   // another program changed, replaced, made or removed the file since it was read: nothing written
    };

    Status() = default;
    static Status Failure(Code code, std::string reason, int line = 0) {
        Status s;
        s.m_code = code;
        s.m_reason = std::move(reason);
        s.m_line = line;
        return s;
    }

    bool ok() const { return m_code == Code::Ok; }
    explicit operator bool() const { return ok(); }
    Code code() const { return m_code; }
    const std::string& reason() const { return m_reason; }
    int line() const { return m_line; } // 1-based, for Damaged and Torn; 0 otherwise

private:
    Code m_code = Code::Ok;
    std::string m_reason;
    int m_line = 0;
};

// What an entry that stands for a data file name is, following a symbolic link.
enum class EntryKind {
    File,      // a regular file, or a link to one
    Directory, // a folder, or a link to one
    Special,   // a pipe, a device or a socket
};

// How a bare data file name is resolved in the current directory. Every operation on a data file goes
// through the same rule, so that reading, appending and rewriting never reach two different files:
// - the entries whose names equal the name ignoring letter case (read as UTF-8, or as code page 932 for
//   names unpacked from Windows archives) all stand for it;
// - entries that are names of one file (hard links, or links to it) are that one file, known by the entry
//   spelt exactly as the name when there is one, else by the first by name;
// - one file is the file; none, and the file does not exist;
// - with several files, the one that holds data is the file and the others are empty leftovers; when all
//   are empty, the first by name; when more than one holds data, nothing is guessed: the lookup is
//   Ambiguous and names them;
// - an entry that is not a file (a directory, a pipe) stops the name from being used at all: NotAFile.
struct DataFileLookup {
    Status status;                            // Ok, NotFound, Ambiguous or NotAFile
    std::string used;                         // the entry the name stands for, when status is Ok
    std::vector<std::string> otherNames;      // other entries that name the same file as `used`: never removed
    std::vector<std::string> unusedEmpty;     // entries of other files, each an empty regular file of one name
    std::string notAFile;                     // with NotAFile: the entry that is not a file,
    EntryKind notAFileKind = EntryKind::File; // and what it is
};
DataFileLookup LookUpDataFile(std::string_view name);

// The entry a bare name stands for under that rule; empty when there is none or the name is ambiguous.
std::string ResolveDataFileName(std::string_view name);

// Whether an entry of that name would stand for the data file `name` under that rule.
bool StandsForDataFile(std::string_view entry, std::string_view name);

// How an entry's name is written: as UTF-8, or in code page 932 (unpacked from a Windows archive), where it
// looks the same to the user as a UTF-8 name of the same letters.
enum class NameEncoding { Utf8, Cp932, Neither };
NameEncoding EncodingOfName(std::string_view entry);

// A directory entry's name as text for the user: as UTF-8, or decoded from code page 932.
std::string DisplayName(std::string_view entry);

// The program's own temporary files are named "." + the name of the file they are made for + this mark +
// six letters or digits, beside that file: hidden, in the same folder so that a rename puts them in place
// whole, and marked so that no file of the user's or of another program is ever taken for one.
inline constexpr std::string_view kTemporaryMark = ".tsumotto-tmp-";

// Makes a new, empty temporary file for `base` in `directory` (with a slash at its end, or empty for the
// current directory) and opens it for writing. Its path goes in `path`; -1 with errno when none was made.
int MakeTemporaryBeside(std::string_view directory, std::string_view base, std::string& path);

// Removes what writes that were cut off (a kill, a power cut) left in the current directory: the regular
// files whose names have exactly the temporaries' shape for one of the named data files. Nothing else is
// removed, whatever its name. Returns how many.
int RemoveLeftoverTemporaries(std::span<const std::string_view> names);

// Puts the bytes of a text field's text in code page 932 (without its quotes) in `bytes`; false when
// TextFieldFault finds a fault, which it then tells.
bool EncodeTextField(std::string_view text, std::string& bytes, std::string* fault = nullptr);

// What makes a text unfit for a text field (a double quote, a line break, a NUL, a character code page 932
// cannot carry as itself, more than the reader takes), in words for the user; nothing when it can be saved.
std::optional<std::string> TextFieldFault(std::string_view text);

class RecordFile {
public:
    // What a data file may hold, in the file's bytes: a full ledger of ordinary items is about 1.5 MB, and a
    // text box's 32,767 characters take at most 65,534 bytes. Writers refuse what the reader would refuse.
    static constexpr std::size_t kMaxInputBytes = 16u << 20;
    static constexpr std::size_t kMaxTextFieldBytes = 64u << 10;

    RecordFile() = default;
    ~RecordFile(); // an output never closed is discarded: the old file stays as it was
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Reads an existing file from its start. NotFound when there is none.
    [[nodiscard]] Status OpenForInput(std::string_view name);
    // Starts a new content for the file. It is written beside the file and replaces it whole at Close, so
    // a failure at any point leaves the previous file as it was. Opening and closing at once empties it.
    [[nodiscard]] Status OpenForOutput(std::string_view name);
    // Writes after the file's last byte, creating the file when it does not exist.
    [[nodiscard]] Status OpenForAppend(std::string_view name);
    // Before an OpenForOutput or OpenForAppend: write only over this state of the file, the one last read or
    // written. When the file is another by then, OpenForAppend, or Close of an output, writes nothing and gives
    // Changed.
    void expect(const FileIdentity& identity) { m_expected = identity; }
    // The file as this object saw it, taken from its descriptor: an input as it was opened, an output or an
    // append as Close left it.
    const FileIdentity& identity() const { return m_identity; }

    // True when nothing but line ends and blanks remains to be read.
    bool AtEnd();
    // Reads one field of each kind, in order. Line ends separate fields as commas do; blank lines and LF or
    // CR alone as line ends are accepted. A last line without a line end that is not a whole record is
    // what a write cut off left: it gives Torn once, with its line, and the file is then at its end. A
    // whole last record without a line end (as an editor saves it) reads as any other.
    [[nodiscard]] Status ReadRecord(std::span<const FieldKind> kinds, std::vector<FieldValue>& values);
    // Writes the fields as one line. Refuses (Unsavable) a text with a double quote, a line break, a NUL, a
    // character code page 932 cannot carry as itself or more bytes than the reader takes, and a line that
    // would take the file past what the reader takes, writing nothing. An append after the remains of a
    // cut-off write removes them first; after a whole last record without a line end it adds the line end.
    [[nodiscard]] Status WriteRecord(std::span<const FieldValue> values);
    // For a rewrite of many records whose texts recur: whole record lines, CR LF included, in code page 932,
    // made of text fields from EncodeTextField and money fields from MoneyToText.
    [[nodiscard]] Status WriteEncodedLines(std::string_view bytes);
    // Closes the file after flushing it to disk; an output replaces the old file now. A write that failed
    // earlier makes Close discard the output and report that failure.
    [[nodiscard]] Status Close();

    bool isOpen() const { return m_mode != Mode::Closed; }
    // An input's number of records can be no more than this: room to make for them.
    int recordsAtMost() const { return m_recordsAtMost; }
    // The line on which the record read last began, for messages about its values.
    int recordLine() const { return m_recordLine; }

private:
    enum class Mode { Closed, Input, Output, Append };

    bool readAhead();
    bool wholeFileIsUtf8() const;
    char peekAt(std::size_t pos); // '\0' past what the file holds
    std::size_t findFrom(char c, std::size_t from);
    Status tornTail();
    // Whether bytes, a last line without its line end, hold exactly one record of these kinds.
    static bool IsWholeRecord(std::string_view bytes, std::span<const FieldKind> kinds);
    Status appendLine(std::span<const FieldValue> values, const std::string& line);
    Status writeOut(std::string_view bytes);
    bool encodeBuffered();
    Status writeEncoded();
    Status writeEncoded(std::string_view bytes);
    Status flushOutput();
    void discardOutput();
    Status systemFailure(int error);
    Status damaged(int line, std::string reason) const;
    void skipBlanks();
    void skipLineEnds();
    bool atLineEnd();
    void skipBareField();
    void consumeDelimiter();

    Mode m_mode = Mode::Closed;
    // Input: the bytes read and not yet decoded (the start of a line up to where reading stopped), the text
    // decoded and not yet read, the read position and its line.
    std::string m_raw;
    bool m_rawEnd = false;
    int m_rawLine = 1;         // the line m_raw begins on
    std::size_t m_rawRead = 0; // bytes read from the file so far
    std::size_t m_sizeAtOpen = 0;
    std::string m_decoded; // a piece as it is decoded
    std::string m_text;
    std::size_t m_textBase = 0; // how much of the file's text came before m_text
    Status m_inputFailure;      // found while reading ahead
    std::size_t m_pos = 0;
    int m_line = 1;
    int m_recordLine = 0;
    bool m_afterLineEnd = true;
    std::size_t m_tailOffset = std::string::npos; // where the last line without a line end begins in the text
    int m_tornLine = 0;                           // a cut-off last line not yet reported
    bool m_tornPending = false;
    int m_recordsAtMost = 0;
    // Output and append.
    int m_fd = -1;
    std::string m_target;    // the file an output replaces
    std::string m_temporary; // where an output is written until Close
    // Other names of the file an output replaces (hard links beside it): they are given the new content too,
    // so that they stay names of one file.
    std::vector<std::string> m_otherLinks;
    std::string m_buffer;      // lines of an output as text, not yet encoded
    std::string m_encoded;     // what an output writes next, in code page 932
    Status m_failure;          // the first failed write of an output
    std::size_t m_written = 0; // bytes an output has taken so far
    // Append: the file's size when opened, and its last line when that has no line end.
    off_t m_appendSize = 0;
    off_t m_tailStart = -1;
    std::string m_tail;
    bool m_created = false;
    std::optional<FileIdentity> m_expected;
    FileIdentity m_identity;
};

// Opens, writes one record, closes: a deposit or a registration in one call. With `expected`, only onto that
// state of the file (see RecordFile::expect); `written`, when given, gets the file's identity afterwards.
[[nodiscard]] Status AppendRecord(std::string_view name, std::span<const FieldValue> values,
                                  const FileIdentity* expected = nullptr, FileIdentity* written = nullptr);

// Opens for output and closes at once: the file is emptied, or left as it was on failure. `expected` and
// `written` as for AppendRecord.
[[nodiscard]] Status EmptyFile(std::string_view name, const FileIdentity* expected = nullptr,
                               FileIdentity* written = nullptr);

} // namespace records
