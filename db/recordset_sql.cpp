// CRecordset: building the statement text and deciding whether the rows it
// selects can be written back.

#include "platform/odbc_headers.h"

#include <cstring>
#include <utility>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/recordset.h"
#include "db/sql_scan.h"
#include "platform/code_page.h"

namespace vordex {
namespace {

/// Tells whether `end` lies inside an apostrophe literal or a bracketed
/// identifier of `upper`, read from its start.
bool InsideQuoteOrBracket(const char* upper, size_t end, platform::CodePage codePage) {
    SqlScanState state;
    SqlToken token;
    for (size_t pos = 0; pos < end;) pos += ScanSqlToken(upper + pos, state, codePage, token);
    return state.Inside();
}

}  // namespace

long CRecordset::FindKeyword(const char* text, const char* keyword) {
    if (text == nullptr || keyword == nullptr || *keyword == '\0') return -1;
    const platform::CodePage codePage = platform::HostCodePage();

    // Upper-case copy: ASCII letters only, multibyte characters left as they
    // are, so byte positions in the copy are those of the text.
    CText upperText(text);
    char* upper = upperText.Buffer();
    const size_t length = upperText.Length();
    for (size_t pos = 0; pos < length;) {
        const size_t step = platform::CharLength(upper + pos, codePage);
        if (step == 1 && upper[pos] >= 'a' && upper[pos] <= 'z') upper[pos] = static_cast<char>(upper[pos] - 'a' + 'A');
        pos += step;
    }

    const size_t keywordLength = std::strlen(keyword);
    size_t pos = 0;
    while (pos + keywordLength <= length) {
        if (std::memcmp(upper + pos, keyword, keywordLength) != 0) {
            pos += platform::CharLength(upper + pos, codePage);  // a match never starts on a trail byte
            continue;
        }
        if (!InsideQuoteOrBracket(upper, pos, codePage)) return static_cast<long>(pos);
        pos += keywordLength;
    }
    return -1;
}

bool CRecordset::IsMultiTable(const char* clause) {
    return FindKeyword(clause, ",") >= 0 || FindKeyword(clause, " JOIN ") >= 0;
}

bool CRecordset::SelectAllowsUpdate(const char* text) {
    if (text == nullptr) return false;
    // Procedure calls ("{CALL") and other escape sequences are never updatable.
    if (text[0] == '{') return false;

    const long from = FindKeyword(text, " FROM ");
    if (from < 0) return false;
    if (FindKeyword(text, " GROUP BY ") >= 0) return false;
    if (FindKeyword(text, " UNION ") >= 0) return false;

    // The FROM clause ends at the earlier of WHERE and ORDER BY.
    const long where = FindKeyword(text, " WHERE ");
    const long orderBy = FindKeyword(text, " ORDER BY ");
    long end = static_cast<long>(std::strlen(text));
    if (where >= 0) end = where;
    if (orderBy >= 0 && orderBy < end) end = orderBy;
    // A WHERE or ORDER BY before FROM leaves no clause; nothing to name.
    if (end < from) return false;

    CText clause(text + from, static_cast<size_t>(end - from));
    if (IsMultiTable(clause.c_str())) return false;

    // Kept as written: brackets, and a blank that stood before a second blank.
    SourceTable.Assign(clause.c_str() + 6, clause.Length() - 6);
    return true;
}

bool CRecordset::SqlAllowsUpdate() { return SelectAllowsUpdate(SqlStatement.c_str()); }

void CRecordset::ComposeSelect() {
    const char* text = SqlStatement.c_str();
    // Procedure calls ("{CALL"), other escape sequences and complete SELECTs
    // are used as given.
    if (text[0] == '{' || platform::StartsWithNoCase(text, "SELECT")) return;

    // A table expression: select every listed output column from it.
    CText tables(std::move(SqlStatement));
    SqlStatement = "SELECT ";
    if (ColumnStatus != nullptr) {
        for (uint32_t i = 0; i < FieldCount; ++i) ColumnStatus[i] |= FieldChanged;
    }
    if (AppendSelectList(SqlStatement) == 0) ThrowError(ErrorNoOutputColumns);
    SqlStatement.SetLastChar(' ');  // the separator after the last item
    SqlStatement.Append(" FROM ");
    SqlStatement.Append(tables);
}

uint32_t CRecordset::AppendSelectList(CText& sql) { return RunAppendPass(OpAppendNames, sql, ","); }

void CRecordset::AddWhereOrderBy() {
    if (!Filter.IsEmpty()) {
        SqlStatement.Append(" WHERE ");
        SqlStatement.Append(Filter);
    }
    if (!Sort.IsEmpty()) {
        SqlStatement.Append(" ORDER BY ");
        SqlStatement.Append(Sort);
    }
}

void CRecordset::ComposeSQL(const char* sql) {
    if (sql != nullptr) {
        SqlStatement = sql;
    } else {
        SqlStatement = DefaultSQL();
    }
    if (ParamCount != 0) RunBindParamsPass(StatementHandle);

    ComposeSelect();
    AddWhereOrderBy();

    // Judged on the text as written, before brackets become the driver's quote.
    if ((UpdateAllowed != 0 || AppendAllowed != 0) && !SqlAllowsUpdate()) {
        UpdateAllowed = 0;
        AppendAllowed = 0;
    }

    if (SqlStatement.Buffer() != nullptr && Database != nullptr) Database->ConvertBrackets(SqlStatement.Buffer());
    SqlStatement.SyncLength();  // converting may have shortened the text
}

}  // namespace vordex
