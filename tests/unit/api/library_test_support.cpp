#include "library_test_support.h"

#include "vordex.h"

using namespace vordex;
using namespace vordex::api;

void LibraryCallTest::ResetLibrary() {
    VORDEX_Close();
    tableCount = 0;
    fieldListCount = 0;
    catalogQualifier.Clear();
    catalogOwner.Clear();
    activeTable.Clear();
    activeOwner.Clear();
    for (CText& name : tableNames) name.Clear();
    for (ListedTable& table : listedTables) table = {};
    for (CText& name : fieldNames) name.Clear();
    for (int32_t& type : fieldTypes) type = 0;
    fieldListNamesUnsafe = false;
}

std::string Shown(const std::function<void()>& call) {
    testing::internal::CaptureStderr();
    call();
    return testing::internal::GetCapturedStderr();
}

std::string MessageLine(const std::string& text) {
    // One "VORDEX: " line per line of the text; blank lines dropped.
    std::string lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty()) lines += "VORDEX: " + line + "\n";
        if (end == std::string::npos) break;
        start = text.find_first_not_of("\r\n", end);
        if (start == std::string::npos) break;
    }
    return lines;
}

std::vector<fake_odbc::Column> TableCatalogColumns() {
    return {{"TABLE_QUALIFIER"}, {"TABLE_OWNER"}, {"TABLE_NAME"}, {"TABLE_TYPE"}, {"REMARKS"}};
}

std::vector<fake_odbc::Column> ColumnCatalogColumns() {
    return {{"TABLE_QUALIFIER"}, {"TABLE_OWNER"}, {"TABLE_NAME"}, {"COLUMN_NAME"},
            {"DATA_TYPE", SQL_SMALLINT}, {"TYPE_NAME"}, {"PRECISION", SQL_INTEGER}, {"LENGTH", SQL_INTEGER},
            {"SCALE", SQL_SMALLINT}, {"RADIX", SQL_SMALLINT}, {"NULLABLE", SQL_SMALLINT}, {"REMARKS"}};
}

std::vector<std::vector<fake_odbc::Value>> TableRows(const std::vector<std::string>& names) {
    std::vector<std::vector<fake_odbc::Value>> rows;
    for (const std::string& name : names) rows.push_back({"db", "public", name, "TABLE", std::nullopt});
    return rows;
}

std::vector<std::vector<fake_odbc::Value>> ColumnRows(const std::vector<CatalogColumn>& columns,
                                                      const std::string& owner) {
    std::vector<std::vector<fake_odbc::Value>> rows;
    for (const CatalogColumn& c : columns) {
        rows.push_back({"db", owner, "T", c.name, std::to_string(c.type), c.typeName, std::to_string(c.size),
                        std::to_string(c.length), std::nullopt, std::nullopt, "1", std::nullopt});
    }
    return rows;
}

int OpenRecordOver(const std::vector<std::string>& columns, const std::vector<std::vector<fake_odbc::Value>>& rows) {
    std::vector<CatalogColumn> listed;
    std::vector<fake_odbc::Column> resultColumns;
    for (const std::string& name : columns) {
        listed.emplace_back(name, 255);
        resultColumns.push_back({name});
    }
    fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows(listed));
    fake_odbc::QueueResult(resultColumns, rows);
    VORDEX_Open("T");
    return VORDEX_OpenRec();
}
