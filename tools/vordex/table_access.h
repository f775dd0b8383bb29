#pragma once

#include <functional>
#include <string>
#include <vector>

#include "command_line.h"
#include "vordex_api.h"

namespace vordex::cli {

/// Closes the record and the connection when a command ends, however it ends.
class LibrarySession {
public:
    explicit LibrarySession(const VordexApi& api) : api_(api) {}
    ~LibrarySession() {
        api_.CloseRec();
        api_.Close();
    }
    LibrarySession(const LibrarySession&) = delete;
    LibrarySession& operator=(const LibrarySession&) = delete;

private:
    const VordexApi& api_;
};

struct TableListing {
    std::vector<std::string> names;
    bool full = false;  // the library's limit was reached: there may be more
};

struct ColumnList {
    std::vector<std::string> names;  // the readable ones: at most kListLimit
    int total = 0;
};

/// Lists the tables, as the library hands them out. Every command lists
/// first, so that a name means in vordex the table it means to a C host
/// that lists first.
TableListing ListTables(const VordexApi& api);

/// Lists the columns of `table`, which makes it the table a record opens. A
/// name is a listed name, SCHEMA.TABLE (listed or not), or a name the
/// library looks for under the schema of the first listed table.
ColumnList ListColumns(const VordexApi& api, const std::string& table);

/// A column name, else a column number; names win so that a column called
/// "2" stays reachable.
int FindField(const ColumnList& columns, const std::string& table, const std::string& field);

/// Opens the record on the table whose columns were listed last.
void OpenRecord(const VordexApi& api, const std::string& table);

/// Makes `row` (numbered from 0) current.
void MoveToRow(const VordexApi& api, const std::string& table, int row);

/// Moves past `row` onto the next row that can be read, or past the end.
/// Rows that the library cannot read (a value over its limit: the move onto
/// such a row fails, and the next move goes on past it) are added to
/// `skipped`. Returns the number of the row now current.
long MovePastRow(const VordexApi& api, const std::string& table, long row, std::vector<long>& skipped);

/// "row 4 of table 't' holds ..., and was skipped", "rows 1-3, 7 of table
/// 't' hold ..., and were skipped", in increasing order.
std::string SkippedRows(const std::vector<long>& rows, const std::string& table);

/// Calls `visit(row)` on the current row and every row after it that the
/// library can read (MovePastRow), showing a running count (RowProgress;
/// `printsRows`: visit prints to standard output). Returns the rows skipped.
/// A failure past skipped rows names them on standard error first.
std::vector<long> ForEachReadableRow(const VordexApi& api, const std::string& table, bool printsRows,
                                     const std::function<void(long row)>& visit);

struct MatchingRows {
    std::vector<int> rows;      // numbered from 0, in the order the record reads them
    std::vector<long> skipped;  // rows the library cannot read: they might match
};

/// The rows whose fields match every condition, by a scan from the current
/// row. NULL reads as the empty text, so --where-null also matches an empty
/// text.
MatchingRows FindMatchingRows(const VordexApi& api, const ColumnList& columns, const std::string& table,
                              const std::vector<WhereCondition>& where);

/// SkippedRows, said of rows a --where scan skipped.
std::string SkippedByWhere(const std::vector<long>& rows, const std::string& table);

}  // namespace vordex::cli
