// The outcome of an operation on a file, as the records layer reports it.
#pragma once

#include <cstring>
#include <string>

namespace records {

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
        Torn,      // the last line is the remains of a write that was cut off; the records before it are whole
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

// The system's own words for a failed call.
inline std::string SystemReason(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

} // namespace records
