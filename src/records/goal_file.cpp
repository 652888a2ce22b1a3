// The goal file: read strictly, so that nothing the program does not understand is ever written over, and
// written through the record file's safe replacement, as the theme name is.
#include "records/goal_file.h"

#include <array>
#include <vector>

namespace records {

std::optional<Status> GoalFault(Currency amount) {
    if (amount <= Currency())
        return Status::Failure(Status::Code::Unsavable, Status::What::GoalNotAbove0);
    return std::nullopt;
}

GoalRead ReadGoalFile(std::string_view name) {
    constexpr std::array kGoalKinds = {FieldKind::Money};
    GoalRead read;
    read.identity = IdentifyDataFile(name);
    RecordFile file;
    read.status = file.OpenForInput(name);
    if (read.status.code() == Status::Code::NotFound) {
        read.status = {};
        read.identity = {};
        return read;
    }
    if (!read.status)
        return read;
    read.identity = file.identity(); // what is read, exactly
    std::vector<FieldValue> values;
    if (!file.AtEnd()) {
        Status status = file.ReadRecord(kGoalKinds, values);
        // The program replaces this file whole and never appends to it, so a last line that is not a whole
        // record is no cut-off write: it is not a goal.
        if (status.code() == Status::Code::Torn)
            status = Status::Failure(Status::Code::Damaged, Status::What::GoalNotReadable).atLine(status.line());
        if (status) {
            const int line = file.recordLine();
            if (const auto fault = GoalFault(std::get<Currency>(values[0]))) {
                status = Status::Failure(Status::Code::Damaged, fault->what()).atLine(line);
            } else if (!file.AtEnd()) {
                constexpr std::array kAnything = {FieldKind::Text};
                (void)file.ReadRecord(kAnything, values);
                status = Status::Failure(Status::Code::Damaged, Status::What::GoalHasMore).atLine(file.recordLine());
            } else {
                read.goal = std::get<Currency>(values[0]);
            }
        }
        read.status = status;
    }
    (void)file.Close();
    if (!read.status)
        read.goal.reset();
    return read;
}

Status WriteGoalFile(std::string_view name, std::optional<Currency> goal, const FileIdentity& expected,
                     FileIdentity& written) {
    if (goal)
        if (const auto fault = GoalFault(*goal))
            return *fault;
    RecordFile file;
    file.expect(expected);
    Status status = file.OpenForOutput(name);
    if (status && goal) {
        const std::array<FieldValue, 1> record = {*goal};
        status = file.WriteRecord(record);
    }
    if (status)
        status = file.Close();
    if (status)
        written = file.identity();
    return status;
}

} // namespace records
