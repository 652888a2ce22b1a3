// The savings goal's file, 目標１.txt: one record of one money field, the amount the user saves towards,
// written as the ledger writes amounts. No file, or a file without a record, is no goal.
#pragma once

#include "records/file_identity.h"
#include "records/money.h"
#include "records/record_file.h"

#include <optional>
#include <string>
#include <string_view>

namespace records {

// Why an amount cannot be a goal, as an Unsavable status; nothing when it can (more than zero).
std::optional<Status> GoalFault(Currency amount);

struct GoalRead {
    Status status;                // Ok, with or without a goal; otherwise why the file cannot be used
    std::optional<Currency> goal; // only with Ok
    FileIdentity identity;        // what was read; Missing when there was no file
};

// Reads the goal file by its bare name, found as every data file is. A file is a goal only when it holds
// exactly one record of an amount above zero; anything else is Damaged with its line, and nothing is guessed.
GoalRead ReadGoalFile(std::string_view name);

// Replaces the file whole with the goal, or empties it for no goal, only when it is still `expected`
// (Changed, writing nothing, when it is not); `written` then gets its identity. A goal that GoalFault refuses
// is Unsavable. On failure the old file is left as it was.
[[nodiscard]] Status WriteGoalFile(std::string_view name, std::optional<Currency> goal, const FileIdentity& expected,
                                   FileIdentity& written);

} // namespace records
