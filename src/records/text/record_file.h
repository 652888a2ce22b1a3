// One open data file of record lines: comma-separated fields, text fields in double quotes, money fields as
// plain decimal numbers, CR LF after each record, all in code page 932. Files are named by bare names in
// the current directory, matched without regard to letter case.
#pragma once

#include "records/text/money.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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
    int line() const { return m_line; } // 1-based, for Damaged; 0 otherwise

private:
    Code m_code = Code::Ok;
    std::string m_reason;
    int m_line = 0;
};

// The name of the directory entry in the current directory that a bare name stands for: the name itself
// when it exists, otherwise an entry equal to it ignoring letter case (its name read as UTF-8, or as code
// page 932 for names unpacked from Windows archives); empty when there is none.
std::string ResolveDataFileName(std::string_view name);

// What makes a text unfit for a text field (a double quote, a line break, a NUL, a character code page 932
// cannot carry as itself), in words for the user; nothing when it can be saved.
std::optional<std::string> TextFieldFault(std::string_view text);

class RecordFile {
public:
    // What a data file may hold: a full ledger is about 1.5 MB, and no item or theme name comes near 64 KB.
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

    // True when nothing but line ends and blanks remains to be read.
    bool AtEnd() const;
    // Reads one field of each kind, in order. Line ends separate fields as commas do; blank lines and LF or
    // CR alone as line ends are accepted.
    [[nodiscard]] Status ReadRecord(std::span<const FieldKind> kinds, std::vector<FieldValue>& values);
    // Writes the fields as one line. Refuses (Unsavable) a text with a double quote, a line break, a NUL or
    // a character code page 932 cannot carry as itself, writing nothing.
    [[nodiscard]] Status WriteRecord(std::span<const FieldValue> values);
    // Closes the file; an output replaces the old file now, after flushing it to disk. A write that failed
    // earlier makes Close discard the output and report that failure.
    [[nodiscard]] Status Close();

    bool isOpen() const { return m_mode != Mode::Closed; }
    // The line on which the record read last began, for messages about its values.
    int recordLine() const { return m_recordLine; }

private:
    enum class Mode { Closed, Input, Output, Append };

    Status writeOut(std::string_view bytes);
    Status flushOutput();
    void discardOutput();
    Status systemFailure(int error);
    Status damaged(int line, std::string reason) const;
    void skipBlanks();
    void skipLineEnds();
    bool atLineEnd() const;
    void consumeDelimiter();

    Mode m_mode = Mode::Closed;
    // Input: the whole file decoded, the read position and its line.
    std::string m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
    int m_recordLine = 0;
    bool m_afterLineEnd = true;
    // Output and append.
    int m_fd = -1;
    std::string m_target;    // the file an output replaces
    std::string m_temporary; // where an output is written until Close
    std::string m_buffer;
    Status m_failure; // the first failed write of an output
};

// Opens, writes one record, closes: a deposit or a registration in one call.
[[nodiscard]] Status AppendRecord(std::string_view name, std::span<const FieldValue> values);

// Opens for output and closes at once: the file is emptied, or left as it was on failure.
[[nodiscard]] Status EmptyFile(std::string_view name);

} // namespace records
