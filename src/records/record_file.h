// The record format: one open data file of record lines, comma-separated fields, text fields in double quotes,
// money fields as plain decimal numbers, CR LF after each record, all in code page 932. Files are named by
// bare names in the current directory (data_file_names.h); a rewrite is a safe save (safe_save.h).
#pragma once

#include "records/data_file_names.h"
#include "records/file_identity.h"
#include "records/money.h"
#include "records/safe_save.h"
#include "records/status.h"

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

// Puts the bytes of a text field's text in code page 932 (without its quotes) in `bytes`; false when
// TextFieldFault finds a fault, which it then tells.
bool EncodeTextField(std::string_view text, std::string& bytes, Status* fault = nullptr);

// What makes a text unfit for a text field (a double quote, a line break, a NUL, a character code page 932
// cannot carry as itself, more than the reader takes), as an Unsavable status; nothing when it can be saved.
std::optional<Status> TextFieldFault(std::string_view text);

// The most records a data file holds: 32,766. The program the files come from counts rows, deposits and the
// records it loads in 16-bit integers, and its grid keeps a header row: a file with more would no longer open
// there. The limit is kept so that the files still open where they came from.
inline constexpr int kMaxRecords = 32766;

class RecordFile {
public:
    // What a data file may hold, in the file's bytes; writers refuse what the reader would refuse.
    // 16 MB for a whole file: a full ledger of ordinary items is about 1.5 MB, so this is ten times what any
    // data file needs, and what the window's thread reads in a blink.
    static constexpr std::size_t kMaxInputBytes = 16u << 20;
    // 64 KB for a text field: a text box takes 32,767 characters, which are at most 65,534 bytes in code page 932.
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
    // whole last record without a line end (as an editor saves it) reads as any other. The record after
    // kMaxRecords is refused (TooManyRecords, with the limit, the file's name as opened and its line).
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
    Status damaged(int line, Status::What what) const;
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
    int m_recordsRead = 0;
    std::string m_inputName; // as opened, to name the file in what is refused
    // Output and append.
    int m_fd = -1;
    SafeSave m_save; // an output's new content, until Close puts it in the file's place
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
    off_t m_endMark = -1; // where a Ctrl-Z that ends the file stands: the next record goes in its place
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
