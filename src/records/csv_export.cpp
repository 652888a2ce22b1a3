// The CSV file of the ledger. UTF-8 carries every character the ledger can hold, and its byte-order mark is what
// makes Excel read the file as UTF-8 when it is opened by a double-click (without it Excel on a Japanese desktop
// reads Shift_JIS); LibreOffice Calc takes the mark as the file's character set too.
#include "records/csv_export.h"

#include "records/posix_io.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace records {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kBlock = 256 * 1024;

void AppendText(std::string& out, std::string_view text) {
    out += '"';
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        out += '\'';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

Status SystemFailure(int error) {
    return Status::SystemError(error);
}

} // namespace

std::string CsvHeaderLine() {
    return "\"日付\",\"項目\",\"金額\",\"累計\"\r\n";
}

void AppendCsvLine(std::string& out, const CsvLedgerRow& row) {
    AppendText(out, row.date);
    out += ',';
    AppendText(out, row.item);
    out += ',';
    out += MoneyToText(row.amount);
    out += ',';
    out += MoneyToText(row.total);
    out += "\r\n";
}

Status SaveLedgerCsv(const std::string& path, std::size_t rows, const std::function<CsvLedgerRow(std::size_t)>& rowAt) {
    std::string target = path;
    struct stat st {};
    bool exists = false;
    if (lstat(target.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            char* real = realpath(target.c_str(), nullptr);
            if (!real)
                return SystemFailure(errno);
            target = real;
            std::free(real);
        }
        exists = stat(target.c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode))
            return SystemFailure(EISDIR);
        if (exists && !S_ISREG(st.st_mode))
            return Status::Failure(Status::Code::System, Status::What::NotRegularFile);
    }
    // The same safe save as the data files: a copy beside the target, flushed, then renamed into place.
    SafeSave save;
    if (const int error = save.begin(target, exists ? st.st_mode & 07777 : NewFileMode()))
        return SystemFailure(error);
    int error = 0;
    std::string block(kByteOrderMark);
    block += CsvHeaderLine();
    bool written = true;
    for (std::size_t i = 0; i < rows && written; ++i) {
        AppendCsvLine(block, rowAt(i));
        if (block.size() >= kBlock) {
            written = WriteAll(save.fd(), block, error);
            block.clear();
        }
    }
    if (written)
        written = WriteAll(save.fd(), block, error);
    if (!written)
        return SystemFailure(error);
    if (const int flushed = save.flush())
        return SystemFailure(flushed);
    if (const int replaced = save.replace())
        return SystemFailure(replaced);
    return {};
}

} // namespace records
