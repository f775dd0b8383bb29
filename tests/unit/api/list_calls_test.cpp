#include <string>
#include <vector>

#include "library_test_support.h"
#include "vordex.h"

using namespace vordex;
using namespace vordex::api;

namespace {

const std::string kNoTable = "テーブルが見つかりません.";
const std::string kCannotOpen = "テーブルがオープンできません.";
const std::string kNoField = "フィールドが見つかりません.\r\n\r\nODBC32,ODBCﾄﾞﾗｲﾊﾞ,ﾃﾞｰﾀﾍﾞｰｽﾌｧｲﾙ名等を確認して下さい";

std::vector<std::string> Names(int count, const char* prefix) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_string(i));
    return names;
}

using TableCalls = LibraryCallTest;

TEST_F(TableCalls, FiltersAreTriedUntilOneListsTables) {
    struct Case {
        const char* what;
        std::vector<std::vector<std::string>> answers;  // per filter tried
        int expectedCount;
        std::string expectedMessage;
    };
    const Case cases[] = {
        {"ordinary tables", {{"a", "b"}}, 2, ""},
        {"views only", {{}, {"v1", "v2", "v3"}}, 3, ""},
        {"tables of another type", {{}, {}, {"x"}}, 1, ""},
        {"nothing at all", {{}, {}, {}}, 0, MessageLine(kNoTable)},
        {"more than 32", {Names(40, "t")}, 32, ""},
    };
    const std::string filters[] = {"(null),(null),(null),'TABLE'",
                                   "(null),(null),(null),'SYSTEM TABLE','VIEW','SYNONYM'",
                                   "(null),(null),(null),(null)"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake_odbc::Reset();
        for (const auto& answer : c.answers) fake_odbc::QueueResult(TableCatalogColumns(), TableRows(answer));
        int count = -1;
        EXPECT_EQ(Shown([&] { count = VORDEX_Table(); }), c.expectedMessage);
        EXPECT_EQ(count, c.expectedCount);
        const auto calls = fake_odbc::CallsTo("SQLTables");
        ASSERT_EQ(calls.size(), c.answers.size());
        for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].arguments, filters[i]);
        const auto& listed = c.answers.back();
        for (int i = 0; i < count; ++i) EXPECT_EQ(VORDEX_GetTableList(i), listed[static_cast<size_t>(i)]);
        EXPECT_STREQ(VORDEX_GetTableList(count), "");
        EXPECT_STREQ(VORDEX_GetTableList(-1), "");
        // A listing that found nothing closes the connection but keeps the object.
        EXPECT_EQ(fake_odbc::LiveConnections(), count == 0 ? 0 : 1);
        EXPECT_EQ(VORDEX_IsOpen(), 1);
        EXPECT_EQ(fake_odbc::LiveStatements(), 0);
        VORDEX_Close();
    }
}

TEST_F(TableCalls, EachListingConnectsAnewAndReplacesTheList) {
    fake_odbc::QueueResult(TableCatalogColumns(), {{"C:\\DATA", "me", "first", "TABLE", {}},
                                                   {"other", "you", "second", "TABLE", {}}});
    fake_odbc::QueueResult(TableCatalogColumns(), TableRows({"third"}));
    EXPECT_EQ(VORDEX_Table(), 2);
    EXPECT_EQ(catalogQualifier, "C:\\DATA");  // from the first row
    EXPECT_EQ(catalogOwner, "me");
    EXPECT_EQ(VORDEX_Table(), 1);
    EXPECT_EQ(fake_odbc::CountCalls("SQLDriverConnect"), 2);
    EXPECT_EQ(fake_odbc::CountCalls("SQLDisconnect"), 1);
    EXPECT_STREQ(VORDEX_GetTableList(0), "third");
    EXPECT_STREQ(VORDEX_GetTableList(1), "");  // the old second name is not handed out
    EXPECT_EQ(catalogQualifier, "db");
}

TEST_F(TableCalls, FailuresShowTheirTextAndCloseTheConnection) {
    // The catalog call fails: the driver's text, no list.
    fake_odbc::QueueFailure("SQLTables", SQL_ERROR, {{"S1000", 1, "[fake]no catalog"}});
    int count = -1;
    std::string shown = Shown([&] { count = VORDEX_Table(); });
    EXPECT_EQ(count, 0);
    EXPECT_NE(shown.find("no catalog"), std::string::npos) << shown;
    EXPECT_EQ(fake_odbc::LiveConnections(), 0);
    EXPECT_EQ(VORDEX_IsOpen(), 1);

    // The data-source choice is cancelled: nothing is shown.
    fake_odbc::QueueReturn("SQLDriverConnect", SQL_NO_DATA_FOUND);
    EXPECT_EQ(Shown([&] { count = VORDEX_Table(); }), "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(VORDEX_IsOpen(), 1);
}

using OpenCalls = LibraryCallTest;

TEST_F(OpenCalls, CountsUpTo512AndKeepsTheFirst32Columns) {
    struct Case {
        int columns;
        int expected;
    };
    for (const Case c : {Case{3, 3}, Case{32, 32}, Case{33, 33}, Case{512, 512}, Case{600, 512}}) {
        SCOPED_TRACE(c.columns);
        fake_odbc::Reset();
        std::vector<CatalogColumn> columns;
        for (int i = 0; i < c.columns; ++i) columns.emplace_back("c" + std::to_string(i), 100 + i);
        fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows(columns));
        EXPECT_EQ(VORDEX_Open("T"), c.expected);
        const int stored = std::min(c.expected, 32);
        for (int i = 0; i < stored; ++i) {
            EXPECT_EQ(VORDEX_GetNameList(i), "c" + std::to_string(i));
            EXPECT_EQ(fieldLengths[i], 100 + i);
        }
        EXPECT_STREQ(VORDEX_GetNameList(stored), "");
        EXPECT_STREQ(VORDEX_GetNameList(-1), "");
        EXPECT_EQ(activeTable, "T");
        // The catalog is not read further than the count needs.
        EXPECT_LE(fake_odbc::CountCalls("SQLExtendedFetch"), c.expected + 1);
    }
}

TEST_F(OpenCalls, NoColumnMessageNamesWhereItLooked) {
    struct Case {
        const char* qualifier;
        const char* owner;
        const char* table;
        std::string expected;
    };
    const Case cases[] = {
        {"C:\\DATA", "", "GOODS", "C:\\DATA-GOODS 内に" + kNoField},
        {"", "", "GOODS", "GOODS 内に" + kNoField},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        fake_odbc::Reset();
        catalogQualifier = c.qualifier;
        catalogOwner = c.owner;
        fake_odbc::QueueResult(ColumnCatalogColumns(), {});
        int count = -1;
        EXPECT_EQ(Shown([&] { count = VORDEX_Open(c.table); }), MessageLine(c.expected));
        EXPECT_EQ(count, 0);
        // The search used the listing's qualifier and owner.
        const auto calls = fake_odbc::CallsTo("SQLColumns");
        ASSERT_EQ(calls.size(), 1u);
        auto orNull = [](const char* s) { return *s ? std::string(s) : std::string("(null)"); };
        EXPECT_EQ(calls[0].arguments, orNull(c.qualifier) + "," + orNull(c.owner) + "," + orNull(c.table) + ",(null)");
        EXPECT_EQ(fake_odbc::LiveConnections(), 0);
        EXPECT_EQ(VORDEX_IsOpen(), 1);
    }
}

TEST_F(OpenCalls, ListedTablesAreLookedForUnderTheirOwnOwner) {
    // A schema that sorts before "public", one holding a name that others hold too.
    auto listed = [](const char* qualifier, const char* owner, const char* name) {
        return std::vector<fake_odbc::Value>{qualifier, owner, name, "TABLE", std::nullopt};
    };
    // Also: a name that reads as another table's "owner.name", and a name
    // held without an owner beside owned ones.
    fake_odbc::QueueResult(TableCatalogColumns(), {listed("db", "audit", "t"), listed("db", "audit", "log"),
                                                   listed("db", "hidden", "t"), listed("db2", "public", "items"),
                                                   listed("db", "public", "t"), listed("db", "public", "s2.canary"),
                                                   listed("db", "s2", "canary"), listed("db", "", "t")});
    ASSERT_EQ(VORDEX_Table(), 8);
    std::vector<std::string> handedOut;
    for (int i = 0; i < 8; ++i) handedOut.emplace_back(VORDEX_GetTableList(i));
    EXPECT_EQ(handedOut, (std::vector<std::string>{"audit.t", "log", "hidden.t", "items", "public.t",
                                                   "public.s2.canary", "canary", "t"}));

    struct Case {
        const char* given;
        const char* searched;  // SQLColumns: qualifier, owner, table
        const char* table;     // activeTable afterwards
    };
    const Case cases[] = {
        {"items", "db2,public,items,(null)", "items"},
        {"log", "db,audit,log,(null)", "log"},
        {"public.t", "db,public,t,(null)", "t"},
        {"hidden.t", "db,hidden,t,(null)", "t"},
        {"public.items", "db2,public,items,(null)", "items"},
        {"s2.canary", "db,s2,canary,(null)", "canary"},
        {"public.s2.canary", "db,public,s2.canary,(null)", "s2.canary"},
        {"t", "db,(null),t,(null)", "t"},
        // The separator must be the dot.
        {"s2xcanary", "db,audit,s2xcanary,(null)", "s2xcanary"},
        // Not listed: the owner and qualifier of the first listed table.
        {"view", "db,audit,view,(null)", "view"},
        {"audit.items", "db,audit,audit.items,(null)", "audit.items"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows({{"id", 4}}, "from catalog"));
        ASSERT_EQ(VORDEX_Open(c.given), 1);
        EXPECT_EQ(fake_odbc::CallsTo("SQLColumns").back().arguments, c.searched);
        EXPECT_EQ(activeTable, c.table);
        // The record reads the table of the owner the catalog answered with.
        EXPECT_EQ(activeOwner, "from catalog");
    }

    // A directory that VORDEX_GetDirName found replaces the listed qualifiers.
    catalogQualifier = "/srv/data";
    fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows({{"id", 4}}));
    ASSERT_EQ(VORDEX_Open("items"), 1);
    EXPECT_EQ(fake_odbc::CallsTo("SQLColumns").back().arguments, "/srv/data,public,items,(null)");
}

TEST_F(OpenCalls, AnEmptyNameNamesNoTable) {
    // The catalog would take it for "every table".
    struct Case {
        const char* qualifier;
        std::string expected;
    };
    const Case cases[] = {{"db", "db 内に" + kNoField}, {"", kNoField}};
    for (const Case& c : cases) {
        fake_odbc::Reset();
        catalogQualifier = c.qualifier;
        fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows({{"ID", 4}}));
        int count = -1;
        EXPECT_EQ(Shown([&] { count = VORDEX_Open(""); }), MessageLine(c.expected));
        EXPECT_EQ(count, 0);
        EXPECT_EQ(fake_odbc::CountCalls("SQLColumns"), 0);
        EXPECT_EQ(activeTable, "");
    }
    // Nor does "owner.": its table part is empty.
    fake_odbc::Reset();
    fake_odbc::QueueResult(ColumnCatalogColumns(), {});  // no table "public." under the first owner
    fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows({{"ID", 4}}));
    int count = -1;
    Shown([&] { count = VORDEX_Open("public."); });
    EXPECT_EQ(count, 0);
    EXPECT_EQ(fake_odbc::CountCalls("SQLColumns"), 1);
}

TEST_F(OpenCalls, CancelAndFailure) {
    // Without a connection the user is asked; a cancel shows the open failure.
    fake_odbc::QueueReturn("SQLDriverConnect", SQL_NO_DATA_FOUND);
    int count = -1;
    EXPECT_EQ(Shown([&] { count = VORDEX_Open("T"); }), MessageLine(kCannotOpen));
    EXPECT_EQ(count, 0);

    fake_odbc::QueueFailure("SQLColumns", SQL_ERROR, {{"S1000", 1, "[fake]columns failed"}});
    std::string shown = Shown([&] { count = VORDEX_Open("T"); });
    EXPECT_EQ(count, 0);
    EXPECT_NE(shown.find("columns failed"), std::string::npos) << shown;
    EXPECT_EQ(fake_odbc::LiveConnections(), 0);

    // A null name is refused before anything happens.
    EXPECT_EQ(VORDEX_Open(nullptr), 0);
}

TEST_F(OpenCalls, DirectoryFromTheConnectString) {
    EXPECT_STREQ(VORDEX_GetDirName(), "");  // no connection object
    struct Case {
        const char* completed;
        const char* expected;
    };
    const Case cases[] = {
        {"DSN=S;DefaultDir=C:\\DB;DriverId=25", "C:\\DB"},
        {"DSN=S;DefaultDir=/srv/data", "/srv/data"},
        {"DSN=S;DefaultDir=;DriverId=25", "kept"},
        {"DSN=S;defaultdir=/x", "kept"},
        {"DSN=S;XDefaultDir=/y;", "/y"},
    };
    for (const Case& c : cases) {
        fake_odbc::Reset();
        fake_odbc::SetCompletedConnect(c.completed);
        fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows({{"ID", 4}}));
        ASSERT_EQ(VORDEX_Open("T"), 1);
        catalogQualifier = "kept";
        EXPECT_STREQ(VORDEX_GetDirName(), c.expected) << c.completed;
        EXPECT_EQ(catalogQualifier, c.expected);
        VORDEX_Close();
    }
}

}  // namespace
