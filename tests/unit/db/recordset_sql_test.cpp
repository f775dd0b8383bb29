#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/recordset.h"
#include "fake_odbc_fixture.h"

using namespace vordex;

namespace {

using RecordsetSql = FakeOdbcTest;

// A result set with two text columns, ID and NAME. It can instead list no
// column at all, and it logs the operation of every pass it is asked to list.
class TwoColumnSet : public CRecordset {
public:
    explicit TwoColumnSet(CDatabase* db, bool listColumns = true) : CRecordset(db), listColumns_(listColumns) {
        if (listColumns_) {
            FieldCount = 2;
            AllocFieldState();
        }
    }
    CText DefaultSQL() override { return defaultSql; }
    void ExchangeFields(CFieldXfer& xfer) override {
        operations.push_back(xfer.operation);
        if (!listColumns_) return;
        xfer.fieldKind = kOutputColumns;
        XferText(xfer, "ID", id);
        XferText(xfer, "NAME", name);
    }

    CText id;
    CText name;
    CText defaultSql = "[Items]";
    std::vector<uint32_t> operations;

private:
    bool listColumns_;
};

struct KeywordCase {
    const char* codePage;  // VORDEX_CODEPAGE
    const char* text;
    const char* keyword;
    long expected;
};

TEST_F(RecordsetSql, FindKeywordSkipsQuotedAndBracketedText) {
    const KeywordCase cases[] = {
        {"utf8", "SELECT a FROM t", " FROM ", 8},
        {"utf8", "select a from t", " FROM ", 8},
        {"utf8", "SELECT a FrOm t", " FROM ", 8},
        {"utf8", "", " FROM ", -1},
        {"utf8", " FROM", " FROM ", -1},
        // Only the keyword as written: no other white space, no parenthesis.
        {"utf8", "SELECT a\nFROM t", " FROM ", -1},
        {"utf8", "SELECT a\tFROM t", " FROM ", -1},
        {"utf8", "SELECT a FROM(t)", " FROM ", -1},
        {"utf8", "SELECT a FROM\r\nt", " FROM ", -1},
        // Apostrophe literals; a doubled apostrophe does not end one.
        {"utf8", "SELECT ' FROM ' FROM t", " FROM ", 15},
        {"utf8", "SELECT 'it'' FROM x' FROM t", " FROM ", 20},
        {"utf8", "SELECT '' FROM t", " FROM ", 9},
        {"utf8", "SELECT ' FROM t", " FROM ", -1},
        {"utf8", "x='[' FROM t", " FROM ", 5},
        {"utf8", "x=']' FROM [a FROM b]", " FROM ", 5},
        // Brackets, counted: nested ones close only with the last "]".
        {"utf8", "SELECT [a FROM b] FROM t", " FROM ", 17},
        {"utf8", "[a [b] FROM c] FROM t", " FROM ", 14},
        {"utf8", "] FROM t", " FROM ", 1},
        {"utf8", "[a FROM t", " FROM ", -1},
        // Doubled brackets stand for the character and open or close nothing.
        {"utf8", "[[a FROM t", " FROM ", 3},
        {"utf8", "[a]]b FROM c] FROM t", " FROM ", 13},
        {"utf8", "[a]]] FROM t", " FROM ", 5},
        {"utf8", "[a]]]] FROM t", " FROM ", -1},
        // An apostrophe between brackets is part of the name, not a literal.
        {"utf8", "[it's] FROM t", " FROM ", 6},
        {"utf8", "[it's] FROM t' FROM u", " FROM ", 6},
        {"utf8", "[it''s] FROM t", " FROM ", 7},
        {"utf8", "[it's FROM x] FROM t", " FROM ", 13},
        {"utf8", "'[it' FROM t", " FROM ", 5},
        // Other keywords.
        {"utf8", "[a,b],c", ",", 5},
        {"utf8", "'a,b'", ",", -1},
        {"utf8", " FROM a join b", " JOIN ", 7},
        {"utf8", " FROM [a JOIN b]", " JOIN ", -1},
        {"utf8", "SELECT a FROM t group by a", " GROUP BY ", 15},
        // Multibyte characters are one character each.
        {"utf8", "SELECT 東京 FROM t", " FROM ", 13},
        {"utf8", "SELECT '東京' FROM t", " FROM ", 15},
        // CP932: a lead byte and its trail byte are one character, also
        // when the trail byte is a bracket; an apostrophe is no trail byte.
        {"932", "SELECT \x81\x5B FROM t", " FROM ", 9},
        {"932", "SELECT \x81\x5B\x5B FROM t", " FROM ", -1},
        {"932", "SELECT \x81' FROM t", " FROM ", -1},
        {"932", "\x81[ FROM x] FROM t", " FROM ", 2},
        {"932", "'\x81' FROM x' FROM t", " FROM ", 3},
        {"932", "SELECT \x83\x5C FROM t", " FROM ", 9},
        // A match never starts on a trail byte.
        {"932", "\x82\x41", "A", -1},
        {"932", "\x82\x41\x41", "A", 2},
        // The same bytes read as UTF-8: a stray byte, then a real bracket or apostrophe.
        {"utf8", "SELECT \x81\x5B FROM t", " FROM ", -1},
        {"utf8", "SELECT \x81' FROM t", " FROM ", -1},
        {"utf8", "\x81[ FROM x] FROM t", " FROM ", 10},
        {"utf8", "\x82\x41", "A", 1},
    };
    for (const KeywordCase& c : cases) {
        ScopedEnv codePage("VORDEX_CODEPAGE", c.codePage);
        EXPECT_EQ(CRecordset::FindKeyword(c.text, c.keyword), c.expected)
            << c.codePage << " [" << c.text << "] [" << c.keyword << "]";
    }
}

struct MultiTableCase {
    const char* clause;
    bool multiTable;
};

TEST_F(RecordsetSql, IsMultiTableSeesCommasAndJoinsOutsideBrackets) {
    const MultiTableCase cases[] = {
        {" FROM Orders", false},
        {" FROM Orders,Items", true},
        {" FROM Orders , Items", true},
        {" FROM Orders JOIN Items ON a=b", true},
        {" FROM Orders inner join Items ON a=b", true},
        {" FROM [a,b]", false},
        {" FROM [a JOIN b]", false},
        {" FROM [a]],b]", false},
        {" FROM [[a,b]", true},
        {" FROM 'a,b'", false},
        {" FROM a\tJOIN b", false},
        {" FROM a JOIN(b)", false},
        {"", false},
    };
    CRecordset rs(nullptr);
    for (const MultiTableCase& c : cases) {
        EXPECT_EQ(rs.IsMultiTable(c.clause), c.multiTable) << c.clause;
    }
}

struct UpdatableCase {
    const char* codePage;
    const char* text;
    bool updatable;
    const char* sourceTable;  // checked when updatable
};

TEST_F(RecordsetSql, SelectAllowsUpdateOnlyForOneTable) {
    const UpdatableCase cases[] = {
        {"utf8", "SELECT a FROM t", true, "t"},
        {"utf8", "SELECT a,b FROM [a,b]", true, "[a,b]"},
        {"utf8", "SELECT a FROM [t JOIN u]", true, "[t JOIN u]"},
        {"utf8", "SELECT a FROM [x]],y]", true, "[x]],y]"},
        {"utf8", "SELECT a FROM [[x,y]", false, nullptr},
        {"utf8", "SELECT a FROM t1,t2", false, nullptr},
        {"utf8", "SELECT a FROM t1, t2 WHERE x=1", false, nullptr},
        {"utf8", "SELECT a FROM t1 JOIN t2 ON t1.k=t2.k", false, nullptr},
        {"utf8", "select a from t1 left join t2 on t1.k=t2.k", false, nullptr},
        // Commas after the FROM clause do not count.
        {"utf8", "SELECT a FROM t WHERE x IN (1,2)", true, "t"},
        {"utf8", "SELECT a FROM t ORDER BY a,b", true, "t"},
        // The first FROM outside a literal starts the clause.
        {"utf8", "SELECT ' FROM x,y' FROM t", true, "t"},
        {"utf8", "SELECT [ FROM x,y] FROM t", true, "t"},
        {"utf8", "select a from orders where b=1", true, "orders"},
        {"utf8", "SELECT a\nFROM t", false, nullptr},
        {"utf8", "SELECT a FROM\nt", false, nullptr},
        {"utf8", "SELECT a", false, nullptr},
        {"utf8", "", false, nullptr},
        // Escape sequences and procedure calls never are.
        {"utf8", "{CALL p}", false, nullptr},
        {"utf8", "{call p( FROM t)}", false, nullptr},
        {"utf8", "{ SELECT a FROM t}", false, nullptr},
        // Grouping and unions anywhere, outside literals.
        {"utf8", "SELECT a FROM t GROUP BY a", false, nullptr},
        {"utf8", "SELECT a FROM t group by a", false, nullptr},
        {"utf8", "SELECT a FROM t UNION SELECT a FROM u", false, nullptr},
        {"utf8", "SELECT a FROM t WHERE b=' GROUP BY ' OR c=' UNION '", true, "t"},
        // The clause ends at the earlier of WHERE and ORDER BY.
        {"utf8", "SELECT a FROM t WHERE f ORDER BY s", true, "t"},
        {"utf8", "SELECT a FROM t ORDER BY s", true, "t"},
        {"utf8", "SELECT a FROM t  WHERE f", true, "t "},
        {"utf8", "SELECT a FROM t   ORDER BY s", true, "t  "},
        {"utf8", "SELECT a FROM [x WHERE y]", true, "[x WHERE y]"},
        {"utf8", "SELECT a FROM t WHERE b=', '", true, "t"},
        // A WHERE ahead of the FROM leaves no FROM clause.
        {"utf8", "SELECT a WHERE b FROM t", false, nullptr},
        {"utf8", "SELECT a FROM 東京", true, "東京"},
        // CP932: a "[" after a lead byte is part of its character; one more
        // opens a name, and an apostrophe (no trail byte) still quotes.
        {"932", "SELECT a FROM \x81\x5B,t", false, nullptr},
        {"932", "SELECT a FROM \x81\x5B WHERE b=1", true, "\x81\x5B"},
        {"932", "SELECT a FROM \x81\x5B\x5B,t", true, "\x81\x5B\x5B,t"},
        {"932", "SELECT \x81' FROM t", false, nullptr},
        {"utf8", "SELECT a FROM \x81\x5B,t", true, "\x81\x5B,t"},
        {"utf8", "SELECT \x81' FROM t", false, nullptr},
    };
    for (const UpdatableCase& c : cases) {
        ScopedEnv codePage("VORDEX_CODEPAGE", c.codePage);
        CRecordset rs(nullptr);
        EXPECT_EQ(rs.SelectAllowsUpdate(c.text), c.updatable) << c.codePage << " [" << c.text << "]";
        if (c.updatable) {
            EXPECT_STREQ(rs.SourceTable.c_str(), c.sourceTable) << c.codePage << " [" << c.text << "]";
        }
    }
}

struct KindCase {
    const char* text;
    bool usedAsGiven;  // else taken for a table expression
};

TEST_F(RecordsetSql, ComposeSelectTellsStatementsFromTableExpressions) {
    // No column is listed: a table expression cannot become a SELECT.
    const KindCase cases[] = {
        {"{CALL p}", true},
        {"{call p(?)}", true},
        {"{CaLl p}", true},
        {"{fn NOW()}", true},
        {"{", true},
        {"SELECT a FROM t", true},
        {"select a from t", true},
        {"sElEcT", true},
        {"SELECTION", true},
        {"SELECT a\nFROM t", true},
        {"SELEC", false},
        {"Orders", false},
        {"[Orders]", false},
        {" SELECT a FROM t", false},
        {"(SELECT a FROM t)", false},
        {" {CALL p}", false},
        {"CALL p", false},
        {"", false},
    };
    for (const KindCase& c : cases) {
        TwoColumnSet rs(nullptr, false);
        rs.SqlStatement = c.text;
        if (c.usedAsGiven) {
            rs.ComposeSelect();
            EXPECT_STREQ(rs.SqlStatement.c_str(), c.text);
            EXPECT_TRUE(rs.operations.empty()) << c.text;
            continue;
        }
        SQLRETURN code = 0;
        try {
            rs.ComposeSelect();
        } catch (CDBException* e) {
            code = e->ReturnCode;
            e->Delete();
        }
        EXPECT_EQ(code, ErrorNoOutputColumns) << c.text;
        EXPECT_STREQ(rs.SqlStatement.c_str(), "SELECT ") << c.text;
        EXPECT_EQ(rs.operations, std::vector<uint32_t>{OpAppendNames}) << c.text;
    }
}

struct ComposeCase {
    const char* sql;  // null: the class's default
    const char* filter;
    const char* sort;
    int32_t update;
    int32_t append;
    bool connection;  // else the result set has no CDatabase
    char quote;
    const char* expected;
    int32_t updateAfter;
    int32_t appendAfter;
    const char* sourceTable;
};

TEST_F(RecordsetSql, ComposeSqlBuildsTheStatement) {
    const ComposeCase cases[] = {
        {"[Orders]", "", "", 1, 1, true, '"', "SELECT ID,NAME  FROM \"Orders\"", 1, 1, "[Orders]"},
        {nullptr, "", "", 1, 1, true, '"', "SELECT ID,NAME  FROM \"Items\"", 1, 1, "[Items]"},
        {"", "", "", 0, 0, true, '"', "SELECT ID,NAME  FROM ", 0, 0, ""},
        {"Orders", "ID=1", "NAME", 1, 1, true, '"', "SELECT ID,NAME  FROM Orders WHERE ID=1 ORDER BY NAME", 1, 1,
         "Orders"},
        {"Orders", "", "NAME DESC", 1, 0, true, '"', "SELECT ID,NAME  FROM Orders ORDER BY NAME DESC", 1, 0, "Orders"},
        {"Orders", "", "", 0, 1, true, '"', "SELECT ID,NAME  FROM Orders", 0, 1, "Orders"},
        // Not asked to write: the statement is not examined.
        {"Orders", "", "", 0, 0, true, '"', "SELECT ID,NAME  FROM Orders", 0, 0, ""},
        // Brackets become the driver's quote after the filter is added; literals keep theirs.
        {"Orders", "[ID]=1 AND NAME LIKE '[a]%'", "", 1, 1, true, '`',
         "SELECT ID,NAME  FROM Orders WHERE `ID`=1 AND NAME LIKE '[a]%'", 1, 1, "Orders"},
        {"[Order]]s]", "", "", 1, 1, true, '`', "SELECT ID,NAME  FROM `Order]s`", 1, 1, "[Order]]s]"},
        {"[Orders]", "", "", 1, 1, true, ' ', "SELECT ID,NAME  FROM  Orders ", 1, 1, "[Orders]"},
        {"[Orders]", "", "", 1, 1, false, ' ', "SELECT ID,NAME  FROM [Orders]", 1, 1, "[Orders]"},
        {"Orders, Items", "", "", 1, 1, true, '"', "SELECT ID,NAME  FROM Orders, Items", 0, 0, ""},
        {"Orders JOIN Items ON Orders.ID=Items.ID", "", "", 1, 0, true, '"',
         "SELECT ID,NAME  FROM Orders JOIN Items ON Orders.ID=Items.ID", 0, 0, ""},
        {"Orders GROUP BY ID", "", "", 0, 1, true, '"', "SELECT ID,NAME  FROM Orders GROUP BY ID", 0, 0, ""},
        {" SELECT a FROM t", "", "", 0, 0, true, '"', "SELECT ID,NAME  FROM  SELECT a FROM t", 0, 0, ""},
        // Complete statements are used as given, with filter and sort.
        {"select id from [a,b]", "x=1", "", 1, 1, true, '"', "select id from \"a,b\" WHERE x=1", 1, 1, "[a,b]"},
        {"select id from t ", "x=1", "", 1, 1, true, '"', "select id from t  WHERE x=1", 1, 1, "t "},
        {"SELECT a\nFROM t", "", "", 1, 1, true, '"', "SELECT a\nFROM t", 0, 0, ""},
        {"SELECTED", "", "", 1, 1, true, '"', "SELECTED", 0, 0, ""},
        {"{CALL p}", "f", "s", 1, 1, true, '"', "{CALL p} WHERE f ORDER BY s", 0, 0, ""},
        {"{call p( FROM [t])}", "", "", 0, 1, true, '"', "{call p( FROM \"t\")}", 0, 0, ""},
    };
    for (const ComposeCase& c : cases) {
        CDatabase db;
        db.QuoteChar = c.quote;
        TwoColumnSet rs(c.connection ? &db : nullptr);
        rs.Filter = c.filter;
        rs.Sort = c.sort;
        rs.UpdateAllowed = c.update;
        rs.AppendAllowed = c.append;
        const char* label = c.sql != nullptr ? c.sql : "(default)";

        rs.ComposeSQL(c.sql);

        EXPECT_STREQ(rs.SqlStatement.c_str(), c.expected) << label;
        EXPECT_EQ(rs.SqlStatement.Length(), std::strlen(c.expected)) << label;
        EXPECT_EQ(rs.UpdateAllowed, c.updateAfter) << label;
        EXPECT_EQ(rs.AppendAllowed, c.appendAfter) << label;
        EXPECT_STREQ(rs.SourceTable.c_str(), c.sourceTable) << label;
        if (std::strncmp(c.expected, "SELECT ID,NAME ", 15) == 0) {
            // Every column was marked for listing.
            EXPECT_EQ(rs.ColumnStatus[0] & FieldChanged, FieldChanged) << label;
            EXPECT_EQ(rs.ColumnStatus[1] & FieldChanged, FieldChanged) << label;
        }
    }
}

TEST_F(RecordsetSql, ComposeSqlWithoutColumnsThrowsForATableExpression) {
    const char* const tableExpressions[] = {"Orders", "[Orders]", nullptr};
    for (const char* sql : tableExpressions) {
        TwoColumnSet rs(nullptr, false);
        rs.defaultSql = "Items";
        rs.Filter = "ID=1";
        SQLRETURN code = 0;
        try {
            rs.ComposeSQL(sql);
        } catch (CDBException* e) {
            code = e->ReturnCode;
            e->Delete();
        }
        const char* label = sql != nullptr ? sql : "(default)";
        EXPECT_EQ(code, ErrorNoOutputColumns) << label;
        EXPECT_STREQ(rs.SqlStatement.c_str(), "SELECT ") << label;
    }
}

struct ParamCase {
    uint32_t paramCount;
    const char* sql;
    std::vector<uint32_t> passes;
};

TEST_F(RecordsetSql, ComposeSqlBindsParametersFirst) {
    const ParamCase cases[] = {
        {0, "Orders", {OpAppendNames}},
        {1, "Orders", {OpBindParams, OpAppendNames}},
        {0, "SELECT a FROM t WHERE b=?", {}},
        {1, "SELECT a FROM t WHERE b=?", {OpBindParams}},
    };
    for (const ParamCase& c : cases) {
        TwoColumnSet rs(nullptr);
        rs.ParamCount = c.paramCount;
        rs.ComposeSQL(c.sql);
        EXPECT_EQ(rs.operations, c.passes) << c.paramCount << " " << c.sql;
    }
}

}  // namespace
