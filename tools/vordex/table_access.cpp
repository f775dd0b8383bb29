// The library calls behind the table commands: listing tables and columns,
// opening the record and moving through its rows, with the library's failures
// told as vordex's.
#include "table_access.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli_errors.h"
#include "command_output.h"
#include "library_messages.h"
#include "progress.h"

namespace vordex::cli {
namespace {

/// A name that the listing holds only as SCHEMA.NAME under several schemas
/// would open whichever the library looks in first: refused, naming them.
void RefuseAmbiguousName(const TableListing& listing, const std::string& table) {
    std::vector<std::string> candidates;
    for (const std::string& name : listing.names) {
        if (name == table) return;
        if (name.size() > table.size() && name.compare(name.size() - table.size(), table.size(), table) == 0 &&
            name[name.size() - table.size() - 1] == '.') {
            candidates.push_back(name);
        }
    }
    if (candidates.size() < 2) return;
    std::string names;
    for (const std::string& name : candidates) names += (names.empty() ? "" : ", ") + name;
    throw CommandFailure("table " + Quoted(table) + " is in several schemas (" + names + "): name one of them");
}

constexpr char kOverTheLimit[] = "a value longer than the library's limit of 255 bytes";

std::string TooLongToRead(const std::string& table, long row) {
    return "row " + std::to_string(row) + " of table " + Quoted(table) + " holds " + kOverTheLimit +
           ", and cannot be read";
}

/// Moves onto `row` and tells whether the move failed on a value over the
/// library's limit. Only the library's messages on standard error tell.
bool MoveFailsOnLongValue(const VordexApi& api, long row, bool passOn, int& moved) {
    moved = 0;
    if (row > 2147483647L) return false;
    const std::string shown = MessagesShownBy([&] { moved = api.Seek(static_cast<int>(row)); }, passOn);
    return moved == 0 && Shows(shown, LibraryMessage::ValueTooLongToRead);
}

/// After a failed move past `row`: why, as the library's message says when
/// the row is moved onto again (the message then not shown twice).
bool NextRowTooLong(const VordexApi& api, long row) {
    int moved = 0;
    return LibraryMessagesVisible() && MoveFailsOnLongValue(api, row + 1, false, moved);
}

[[noreturn]] void MoveFailed(const std::string& table, long row) {
    throw CommandFailure("cannot move past row " + std::to_string(row) + " of table " + Quoted(table));
}

}  // namespace

TableListing ListTables(const VordexApi& api) {
    int count = 0;
    const std::string shown = MessagesShownBy([&] { count = api.Table(); });
    if (count <= 0) {
        // The library says why a connection or a listing failed; only a
        // choice of data source that was cancelled (or never offered) is
        // silent, and it is made only without a connect string.
        if (!LibraryMessagesVisible()) {
            const char* dialog = std::getenv("VORDEX_DIALOG");
            const char* connect = std::getenv("VORDEX_CONNECT");
            if (dialog != nullptr && std::strcmp(dialog, "none") == 0) {
                throw CommandFailure("no tables listed (VORDEX_DIALOG=none hides the library's reason)");
            }
            throw CommandFailure(connect != nullptr && *connect != '\0'
                                     ? "no tables listed: the library's message says why"
                                     : "no tables listed: the choice of data source was cancelled, or the library's "
                                       "message says why");
        }
        if (shown.empty()) {
            throw CommandFailure(
                "no data source was chosen: give --connect CONNECT or set VORDEX_CONNECT (without them the data "
                "source is chosen on the desktop or the terminal; there was none, or the choice was cancelled)");
        }
        throw CommandFailure("no tables listed: the library's message above says why");
    }
    TableListing listing;
    listing.full = count >= kListLimit;
    for (int i = 0; i < count && i < kListLimit; ++i) listing.names.emplace_back(api.GetTableList(i));
    return listing;
}

ColumnList ListColumns(const VordexApi& api, const std::string& table) {
    const TableListing listing = ListTables(api);
    RefuseAmbiguousName(listing, table);
    ColumnList columns;
    const std::string shown = MessagesShownBy([&] { columns.total = api.Open(table.c_str()); });
    if (columns.total <= 0) {
        if (Shows(shown, LibraryMessage::NoFieldFound)) {
            throw CommandFailure("there is no table " + Quoted(table) + " (" +
                                 (listing.full ? "vordex tables shows the first 32; name another schema's table as "
                                                 "SCHEMA.TABLE"
                                               : "vordex tables lists them") +
                                 ")");
        }
        throw CommandFailure("cannot list the columns of table " + Quoted(table));
    }
    if (columns.total > kListLimit) {
        Note("table " + Quoted(table) + " has " + std::to_string(columns.total) + " columns; only the first " +
             std::to_string(kListLimit) + " are shown");
    }
    const int readable = columns.total < kListLimit ? columns.total : kListLimit;
    for (int i = 0; i < readable; ++i) columns.names.emplace_back(api.GetNameList(i));
    return columns;
}

int FindField(const ColumnList& columns, const std::string& table, const std::string& field) {
    for (size_t i = 0; i < columns.names.size(); ++i) {
        if (columns.names[i] == field) return static_cast<int>(i);
    }
    const std::optional<int> index = ParseIndex(field);
    if (index && static_cast<size_t>(*index) < columns.names.size()) return *index;
    const std::string readable = columns.total > kListLimit
                                     ? " among the first " + std::to_string(kListLimit) + " (only those can be read)"
                                     : "";
    throw CommandFailure("table " + Quoted(table) + " has no column " + Quoted(field) + readable);
}

void OpenRecord(const VordexApi& api, const std::string& table) {
    int opened = 0;
    const std::string shown = MessagesShownBy([&] { opened = api.OpenRec(); });
    if (opened != 0) return;
    if (Shows(shown, LibraryMessage::ValueTooLongToRead)) {
        throw CommandFailure(TooLongToRead(table, 0) + " (the library opens no table on a first row it cannot read)");
    }
    throw CommandFailure("cannot open table " + Quoted(table) + " for reading");
}

void MoveToRow(const VordexApi& api, const std::string& table, int row) {
    const std::string where = "row " + std::to_string(row) + " of table " + Quoted(table);
    int moved = 0;
    const std::string shown = MessagesShownBy([&] { moved = api.Seek(row); });
    if (moved == 0 && Shows(shown, LibraryMessage::ValueTooLongToRead)) throw CommandFailure(TooLongToRead(table, row));
    if (moved == 0) throw CommandFailure("cannot move to " + where);
    if (api.IsEOF() != 0) throw CommandFailure("there is no " + where + " (rows are numbered from 0)");
}

long MovePastRow(const VordexApi& api, const std::string& table, long row, std::vector<long>& skipped) {
    if (api.MoveNext() != 0) return row + 1;
    bool tooLong = NextRowTooLong(api, row);
    for (long next = row + 1;; ++next) {
        if (!tooLong) MoveFailed(table, next - 1);
        skipped.push_back(next);
        int moved = 0;
        tooLong = MoveFailsOnLongValue(api, next + 1, true, moved);
        if (moved != 0) return next + 1;
    }
}

std::string SkippedRows(const std::vector<long>& rows, const std::string& table) {
    std::string list;
    for (size_t i = 0; i < rows.size(); ++i) {
        size_t last = i;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1) ++last;
        list += (list.empty() ? "" : ", ") + std::to_string(rows[i]);
        if (last > i) list += "-" + std::to_string(rows[last]);
        i = last;
    }
    const bool one = rows.size() == 1;
    return (one ? "row " : "rows ") + list + " of table " + Quoted(table) + (one ? " holds " : " hold ") +
           kOverTheLimit + ", and " + (one ? "was" : "were") + " skipped";
}

std::vector<long> ForEachReadableRow(const VordexApi& api, const std::string& table, bool printsRows,
                                     const std::function<void(long row)>& visit) {
    RowProgress progress(printsRows);
    std::vector<long> skipped;
    try {
        for (long row = 0; api.IsEOF() == 0;) {
            visit(row);
            progress.RowDone();
            row = MovePastRow(api, table, row, skipped);
        }
    } catch (const CommandFailure&) {
        if (!skipped.empty()) Note(SkippedRows(skipped, table));
        throw;
    }
    return skipped;
}

MatchingRows FindMatchingRows(const VordexApi& api, const ColumnList& columns, const std::string& table,
                              const std::vector<WhereCondition>& where) {
    std::vector<std::pair<int, std::string>> wanted;
    for (const WhereCondition& condition : where) {
        wanted.emplace_back(FindField(columns, table, condition.column), condition.value.value_or(""));
    }
    MatchingRows matches;
    matches.skipped = ForEachReadableRow(api, table, false, [&](long row) {
        bool all = true;
        for (const auto& [field, value] : wanted) all = all && value == api.GetData(field);
        if (all) matches.rows.push_back(static_cast<int>(row));
    });
    return matches;
}

std::string SkippedByWhere(const std::vector<long>& rows, const std::string& table) {
    return SkippedRows(rows, table) + (rows.size() == 1 ? " (it" : " (they") + " might match --where)";
}

}  // namespace vordex::cli
