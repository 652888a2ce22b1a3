// The outcome of an operation on a file, as the records layer reports it: what failed, where, on which line,
// against which limit and with which error of the system, all as values. The layer words nothing; the window
// says it to the user in Japanese (src/window/messages.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace records {

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

    // What failed, within its code, and which of the values below tell more.
    enum class What {
        None,
        SystemCall,          // a call of the system failed with error(), on place() when it is not empty
        NotRegularFile,      // the name, or place(), is a directory entry that is not a regular file
        FileTooLarge,        // the file holds more than limit() bytes, more than any data file takes
        NoHomeFolder,        // the trash has no place: HOME names no folder
        NoTrashOnFileSystem, // the file system mounted at place() has no trash this user can make
        Utf8File,            // the file is UTF-8 text, not code page 932
        NulByte,             // a NUL byte, on line()
        NotCodePage932,      // bytes that are no code page 932 character, on line()
        RecordCutShort,      // the record that begins on line() ends before its last field
        ExtraField,          // the record on line() goes on with a comma after its last field
        QuoteNotClosed,      // the text field on line() has no closing double quote
        TextFieldTooLong,    // the text field on line() takes more than limit() bytes
        NotAnAmount,         // the money field text() on line() is not an amount
        TooManyRecords,      // the file holds more than limit() records; line() is the first past it
        TotalOutOfRange,     // the running total up to line() leaves the range of money
        CutOffLastLine,      // the last line, line(), is the remains of a write that was cut off
        DoubleQuote,         // a text with a double quote, which ends a text field
        LineBreak,           // a text with a line break or a NUL
        UnsavableCharacter,  // character() is not in code page 932, or would read back as another
        NotEncodable,        // a text code page 932 cannot carry, where no one character is to blame
        TextTooLongToSave,   // a text that takes more than limit() bytes in code page 932
        FileWouldBeTooLarge, // the write would take the file past limit() bytes, which the reader refuses
        AmountNotReadable,   // an amount as a grid shows it does not read back as an amount
        SeveralHoldData,     // entries() all stand for the name, and each holds data
        FolderInPlace,       // place(), an entry that stands for the name, is a directory
        SpecialInPlace,      // place(), an entry that stands for the name, is a pipe, a device or a socket
        ChangedOutside,      // the file is no longer the one last read or written: another program changed it
        GoalNotAbove0,       // a goal of zero or less, which nothing saves towards
        GoalNotReadable,     // the goal file's line, line(), is no whole record of an amount
        GoalHasMore,         // the goal file holds more than its one record, from line()
    };

    Status() = default;
    static Status Failure(Code code, What what) {
        Status s;
        s.m_code = code;
        s.m_what = what;
        return s;
    }
    // A failed call of the system, with its errno; the place it concerned when the caller does not name it.
    static Status SystemError(int error, std::string place = {}) {
        return Failure(Code::System, What::SystemCall).withError(error).withPlace(std::move(place));
    }

    [[nodiscard]] Status atLine(int line) const { return with(&Status::m_line, line); }
    [[nodiscard]] Status withLimit(std::uint64_t limit) const { return with(&Status::m_limit, limit); }
    [[nodiscard]] Status withError(int error) const { return with(&Status::m_error, error); }
    [[nodiscard]] Status withPlace(std::string place) const { return with(&Status::m_place, std::move(place)); }
    [[nodiscard]] Status withText(std::string text) const { return with(&Status::m_text, std::move(text)); }
    [[nodiscard]] Status withCharacter(char32_t cp) const { return with(&Status::m_character, cp); }
    [[nodiscard]] Status withEntries(std::vector<std::string> entries) const {
        return with(&Status::m_entries, std::move(entries));
    }

    bool ok() const { return m_code == Code::Ok; }
    explicit operator bool() const { return ok(); }
    Code code() const { return m_code; }
    What what() const { return m_what; }
    int line() const { return m_line; }                  // 1-based; 0 when no line is concerned
    std::uint64_t limit() const { return m_limit; }      // the limit passed, in bytes or records
    int error() const { return m_error; }                // the system's errno for SystemCall
    const std::string& place() const { return m_place; } // a path or directory entry, as the system has it
    const std::string& text() const { return m_text; }   // the field's text, UTF-8
    char32_t character() const { return m_character; }
    const std::vector<std::string>& entries() const { return m_entries; }

private:
    template <typename T, typename V> Status with(T Status::*member, V&& value) const {
        Status s = *this;
        s.*member = std::forward<V>(value);
        return s;
    }

    Code m_code = Code::Ok;
    What m_what = What::None;
    int m_line = 0;
    std::uint64_t m_limit = 0;
    int m_error = 0;
    std::string m_place;
    std::string m_text;
    char32_t m_character = 0;
    std::vector<std::string> m_entries;
};

} // namespace records
