// The ledger as a CSV file for spreadsheets: a header line, then date, item, amount and running total per
// deposit, quoted as RFC 4180 says, in UTF-8 with a byte-order mark, lines ended by CR LF.
#pragma once

#include "records/money.h"
#include "records/record_file.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace records {

struct CsvLedgerRow {
    std::string_view date;
    std::string_view item;
    Currency amount;
    Currency total;
};

// The header line: 日付, 項目, 金額, 累計.
std::string CsvHeaderLine();
// Appends one record line. Texts are quoted, with quotes doubled; a text a spreadsheet would take for a formula
// (it begins with = + - @, a tab or a CR) gets an apostrophe in front, so that opening the file runs nothing.
// Amounts are plain numbers, so that a spreadsheet adds them up.
void AppendCsvLine(std::string& out, const CsvLedgerRow& row);

// Writes the header and rows 0 to rows - 1 to `path`, a file the user chose anywhere, the way the data files are
// replaced: into a new file beside it, flushed to the disk, then renamed over it in one step, so that a failure
// leaves what was there whole. The path of a link is written through to the file it leads to; a folder, a pipe
// or a device is refused.
[[nodiscard]] Status SaveLedgerCsv(const std::string& path, std::size_t rows,
                                   const std::function<CsvLedgerRow(std::size_t)>& rowAt);

} // namespace records
