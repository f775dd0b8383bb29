#include <algorithm>

#include "db/database.h"
#include "db/db_exception.h"
#include "fake_odbc_fixture.h"
#include "records/columns.h"
#include "records/tables.h"

using namespace vordex;

namespace {

class CatalogResult : public FakeOdbcTest {
protected:
    void SetUp() override {
        FakeOdbcTest::SetUp();
        ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
    }
    CDatabase db;
};

// Catalog columns named as a driver might: they are bound by position only.
const std::vector<fake_odbc::Column> kTableColumns = {
    {"TABLE_CAT"}, {"TABLE_SCHEM"}, {"TABLE_NAME"}, {"TABLE_TYPE"}, {"REMARKS"}};
const std::vector<fake_odbc::Column> kColumnColumns = {
    {"TABLE_CAT"}, {"TABLE_SCHEM"},          {"TABLE_NAME"}, {"COLUMN_NAME"},
    {"DATA_TYPE", SQL_SMALLINT}, {"TYPE_NAME"}, {"COLUMN_SIZE", SQL_INTEGER}, {"BUFFER_LENGTH", SQL_INTEGER},
    {"DECIMAL_DIGITS", SQL_SMALLINT}, {"NUM_PREC_RADIX", SQL_SMALLINT}, {"NULLABLE", SQL_SMALLINT},
    {"REMARKS"}};

// How often the driver's search-pattern escape was asked for.
int EscapeQuestions() {
    const auto calls = fake_odbc::CallsTo("SQLGetInfo");
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const fake_odbc::Call& call) {
        return call.arguments == std::to_string(SQL_SEARCH_PATTERN_ESCAPE);
    }));
}

TEST_F(CatalogResult, ArgumentsAndRecordedOptions) {
    struct Case {
        const char* what;
        bool columns;  // CColumns, else CTables
        const char* qualifier;
        const char* owner;
        const char* name;
        const char* lastParam;  // TableTypeParam or ColumnNameParam
        uint32_t options;
        std::string expectedArguments;
        uint32_t expectedOptions;
        const char* codePage = "65001";
    };
    const Case cases[] = {
        {"empty texts pass null pointers", false, "", "", "", "", 0, "(null),(null),(null),(null)",
         OptNoChangeCheck},
        {"table types, caller's bits ignored", false, "db", "", "", "'TABLE'", OptReadOnly | OptSkipDeleted,
         "db,(null),(null),'TABLE'", OptNoChangeCheck},
        {"column name never passed", true, "db", "public", "items", "id", OptReadOnly,
         "db,public,items,(null)", OptReadOnly | OptNoChangeCheck},
        {"columns keep the caller's bits", true, "", "", "T", "", OptSkipDeleted, "(null),(null),T,(null)",
         OptSkipDeleted | OptNoChangeCheck},
        {"names match only themselves", true, "a_b", "my_schema", "50%_off\\x", "", 0,
         "a_b,my\\_schema,50\\%\\_off\\\\x,(null)", OptNoChangeCheck},
        {"table patterns stay patterns", false, "", "", "ab_c", "", 0, "(null),(null),ab_c,(null)",
         OptNoChangeCheck},
        // CP932: the trail bytes 0x5C and 0x5F of a character are no escape
        // and no wildcard; the "_" after them is.
        {"CP932 names are read by character", true, "", "", "\x83\x5C\x83\x5F_", "", 0,
         "(null),(null),\x83\x5C\x83\x5F\\_,(null)", OptNoChangeCheck, "932"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv codePage("VORDEX_CODEPAGE", c.codePage);
        fake_odbc::Reset();
        CDatabase connection;
        ASSERT_TRUE(connection.Open(nullptr, false, false, "ODBC;DSN=S", false));
        std::unique_ptr<CRecordset> set;
        if (c.columns) {
            auto columns = std::make_unique<CColumns>(&connection);
            columns->QualifierParam = c.qualifier;
            columns->OwnerParam = c.owner;
            columns->TableNameParam = c.name;
            columns->ColumnNameParam = c.lastParam;
            set = std::move(columns);
        } else {
            auto tables = std::make_unique<CTables>(&connection);
            tables->QualifierParam = c.qualifier;
            tables->OwnerParam = c.owner;
            tables->TableNameParam = c.name;
            tables->TableTypeParam = c.lastParam;
            set = std::move(tables);
        }
        fake_odbc::SetResult(c.columns ? kColumnColumns : kTableColumns, {});
        ASSERT_TRUE(set->Open(KeysetCursor, "SELECT ignored FROM x", c.options));
        const char* function = c.columns ? "SQLColumns" : "SQLTables";
        ASSERT_EQ(fake_odbc::CountCalls(function), 1);
        EXPECT_EQ(fake_odbc::CallsTo(function)[0].arguments, c.expectedArguments);
        EXPECT_EQ(set->Options, c.expectedOptions);
        // The escape is asked for only when a name needs it.
        const bool escaped = c.expectedArguments.find('\\') != std::string::npos;
        EXPECT_EQ(EscapeQuestions(), escaped ? 1 : 0);
        // No statement text is composed or sent.
        EXPECT_EQ(fake_odbc::CountCalls("SQLPrepare") + fake_odbc::CountCalls("SQLExecDirect"), 0);
        // An empty catalog answer is open, at its start and at its end.
        EXPECT_TRUE(set->IsOpen());
        EXPECT_TRUE(set->AtStart);
        EXPECT_TRUE(set->AtEnd);
    }
}

TEST_F(CatalogResult, RowsAreBoundByPositionAndWalkedForward) {
    fake_odbc::SetResult(kColumnColumns, {
        {"db", "public", "items", "id", "4", "int4", "10", "4", "0", "10", "0", "remark"},
        {"db", "public", "items", "name", "12", "varchar", "20", "80", std::nullopt, std::nullopt, "1", {}},
    });
    CColumns columns(&db);
    columns.TableNameParam = "items";
    ASSERT_TRUE(columns.Open(KeysetCursor, nullptr, OptReadOnly));
    EXPECT_FALSE(columns.AtStart);
    EXPECT_EQ(columns.ColumnName, "id");
    EXPECT_EQ(columns.DataType, 4);
    EXPECT_EQ(columns.TypeName, "int4");
    EXPECT_EQ(columns.Precision, 10);
    EXPECT_EQ(columns.Length, 4);
    columns.Move(1, SQL_FETCH_NEXT);
    EXPECT_EQ(columns.ColumnName, "name");
    EXPECT_EQ(columns.Length, 80);
    EXPECT_EQ(columns.Scale, kIntNullMarker);  // NULL integer
    EXPECT_EQ(columns.Nullable, 1);
    columns.Move(1, SQL_FETCH_NEXT);
    EXPECT_TRUE(columns.AtEnd);
    // The twelfth catalog column is never bound.
    for (const auto& call : fake_odbc::CallsTo("SQLBindCol")) EXPECT_NE(call.arguments.rfind("12,", 0), 0u);
    EXPECT_EQ(fake_odbc::CountCalls("SQLBindCol"), 11);
}

TEST_F(CatalogResult, StillExecutingIsRepeatedAndFailuresClose) {
    fake_odbc::SetResult(kTableColumns, {{"db", "public", "t", "TABLE", {}}});
    fake_odbc::QueueReturn("SQLTables", SQL_STILL_EXECUTING, 3);
    CTables tables(&db);
    ASSERT_TRUE(tables.Open(KeysetCursor, nullptr, 0));
    EXPECT_EQ(fake_odbc::CountCalls("SQLTables"), 4);
    EXPECT_EQ(tables.TableName, "t");
    tables.Close();

    // A failing catalog call carries the statement's diagnostic and leaves
    // the result set closed; the same object can be opened again.
    fake_odbc::QueueFailure("SQLTables", SQL_ERROR, {{"S1000", 7, "[fake]catalog failed"}});
    try {
        tables.Open(KeysetCursor, nullptr, 0);
        FAIL() << "no exception";
    } catch (CDBException* e) {
        EXPECT_TRUE(e->HasState("S1000"));
        EXPECT_NE(e->ErrorText.c_str(), std::string());
        e->Delete();
    }
    EXPECT_EQ(tables.StatementHandle, nullptr);
    EXPECT_FALSE(tables.IsOpen());
    ASSERT_TRUE(tables.Open(KeysetCursor, nullptr, 0));
    EXPECT_EQ(tables.TableName, "t");
}

}  // namespace
