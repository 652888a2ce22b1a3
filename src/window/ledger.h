// What the ledger keeps beside its grid, row for row: the amount and running total of each deposit, and its
// date and item as texts shared by every row that has them. The grid's cells keep only the amounts, for the
// width of their column; its row numbers, dates, items and running totals are made from these rows when they
// are drawn, so that a full ledger loads without making a text for each of its cells, and a deletion renumbers by
// adding numbers again. The file is rewritten from these rows, with each recurring text encoded once.
#pragma once

#include "records/money.h"
#include "records/record_file.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class LedgerRows {
public:
    // A date or item text: as shown, and as written in the file (encoded when first written).
    struct Text {
        std::string utf8;
        QString shown;
        bool encoded = false;
        std::string bytes;
    };
    // An amount: its display text, and the end of a record line it makes in the file.
    struct Amount {
        records::Currency value;
        QString shown;
        std::string endOfLine; // plain number, CR LF
    };
    struct Row {
        const Text* date;
        const Text* item;
        const Amount* amount;
        records::Currency total; // of this row and all before it
    };

    // Forgets every row and every text.
    void clear();
    // The one shared text for these characters.
    const Text& text(std::string_view utf8);
    // The one shared amount for this value: its display text is shared by the cells that show it.
    const Amount& amount(records::Currency value);

    // Room for this many rows, so that a load fills them without moving them.
    void reserve(int rows) { m_rows.reserve(static_cast<std::size_t>(std::max(rows, 0))); }
    void append(const Text& date, const Text& item, const Amount& amount, records::Currency total);
    // Removes data row `row` (1-based, as in the grid) and takes its amount off the totals of the rows after
    // it; false, changing nothing, when one of those totals would then be beyond the money range.
    [[nodiscard]] bool remove(int row);

    int count() const { return static_cast<int>(m_rows.size()); }
    // Grows by one each time rows go (a clear, a removal): while it stays the same, the rows seen so far are
    // still there, and only rows after them are new.
    std::uint64_t generation() const { return m_generation; }
    const Row& at(int row) const { return m_rows[static_cast<std::size_t>(row - 1)]; }
    // Row `row`'s date and item as shown; empty for a row not there (yet).
    QString dateShown(int row) const { return row >= 1 && row <= count() ? at(row).date->shown : QString(); }
    QString itemShown(int row) const { return row >= 1 && row <= count() ? at(row).item->shown : QString(); }
    records::Currency total() const { return m_rows.empty() ? records::Currency() : m_rows.back().total; }
    // The running total whose display text is the widest.
    records::Currency widestTotal() const;

    // Replaces the file with the rows: date, item, amount, only when it is still `expected` (Changed when it is
    // not); `written` then gets its identity. On failure the old file is left whole.
    [[nodiscard]] records::Status rewrite(const char* fileName, const records::FileIdentity& expected,
                                          records::FileIdentity& written);

private:
    // Looked up by the characters as read, without making a string of them first.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, Text, TextHash, std::equal_to<>> m_texts;
    const Text* m_lastText[2] = {}; // the last two looked up: a ledger's neighbouring lines often share them
    std::unordered_map<std::int64_t, Amount> m_amounts;
    std::vector<Row> m_rows;
    std::uint64_t m_generation = 0;
};
