#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "api/library_state.h"
#include "fake_odbc_fixture.h"

/// The exports against the stand-in: a data source is given, messages go to
/// standard error, and the library variables start and end empty.
class LibraryCallTest : public FakeOdbcTest {
protected:
    void SetUp() override {
        FakeOdbcTest::SetUp();
        setenv("VORDEX_CONNECT", "DSN=S", 1);
        ResetLibrary();
    }
    void TearDown() override {
        ResetLibrary();
        FakeOdbcTest::TearDown();
    }
    static void ResetLibrary();

    ScopedEnv dialog_{"VORDEX_DIALOG", "stderr"};
};

/// What `call` printed on standard error.
std::string Shown(const std::function<void()>& call);

/// The message line the stderr display prints for `text`.
std::string MessageLine(const std::string& text);

/// Catalog answers in the column order of SQLTables and SQLColumns.
std::vector<fake_odbc::Column> TableCatalogColumns();
std::vector<fake_odbc::Column> ColumnCatalogColumns();
std::vector<std::vector<fake_odbc::Value>> TableRows(const std::vector<std::string>& names);
/// A column as SQLColumns lists it: name, catalog length and SQL data type.
struct CatalogColumn {
    /// `s`: the column size; by default the length.
    CatalogColumn(std::string n, int l, int t = SQL_VARCHAR, std::string tn = "varchar", int s = -1)
        : name(std::move(n)), length(l), size(s < 0 ? l : s), type(t), typeName(std::move(tn)) {}
    std::string name;
    int length;
    int size;
    int type;
    std::string typeName;
};

/// One row per column of table T, listed under `owner`.
std::vector<std::vector<fake_odbc::Value>> ColumnRows(const std::vector<CatalogColumn>& columns,
                                                      const std::string& owner = "public");

/// Lists `columns` of table T through VORDEX_Open, then opens the record over
/// `rows` (every column text); returns VORDEX_OpenRec's result.
int OpenRecordOver(const std::vector<std::string>& columns, const std::vector<std::vector<fake_odbc::Value>>& rows);
