#include <memory>
#include <string>

#include "db/database.h"
#include "db/db_exception.h"
#include "fake_odbc_fixture.h"
#include "records/columns.h"
#include "records/my_rec.h"
#include "records/tables.h"

using namespace vordex;

namespace {

class CursorChoice : public FakeOdbcTest {};

// The cursor type each open asked for, or -1 when none was set.
long AskedCursorType() {
    long asked = -1;
    for (const auto& call : fake_odbc::CallsTo("SQLSetStmtOption")) {
        const std::string prefix = std::to_string(SQL_CURSOR_TYPE) + ",";
        if (call.arguments.rfind(prefix, 0) == 0) asked = std::stol(call.arguments.substr(prefix.size()));
    }
    return asked;
}

TEST_F(CursorChoice, StaticCursorForPsqlOdbcAndWhereNoKeysetCursorIsOffered) {
    struct Case {
        const char* driver;  // SQL_DRIVER_NAME
        SQLUINTEGER scrollOptions;
        long cursorType;  // asked for; -1: none
        SQLRETURN code;   // thrown by the open; 0: it opened
    };
    const SQLUINTEGER all = SQL_SO_FORWARD_ONLY | SQL_SO_STATIC | SQL_SO_KEYSET_DRIVEN;
    const SQLUINTEGER noKeyset = SQL_SO_FORWARD_ONLY | SQL_SO_STATIC;
    const Case cases[] = {
        {"psqlodbca.so", all, SQL_CURSOR_STATIC, 0},
        {"PSQLODBC35W.DLL", all, SQL_CURSOR_STATIC, 0},
        // Its block reading offers no keyset-driven cursor.
        {"psqlodbcw.so", noKeyset, SQL_CURSOR_STATIC, 0},
        // Other drivers are asked for what the records ask for when they
        // offer it, for their static cursor when that is all they offer.
        {"psql.so", all, SQL_CURSOR_KEYSET_DRIVEN, 0},
        {"", all, SQL_CURSOR_KEYSET_DRIVEN, 0},
        {"libsqlite3odbc.so", noKeyset, SQL_CURSOR_STATIC, 0},
        {"libmaodbc.so", SQL_SO_STATIC, SQL_CURSOR_STATIC, 0},
        {"libmaodbc.so", SQL_SO_FORWARD_ONLY | SQL_SO_DYNAMIC, -1, 1012},
        // The static cursor asked for in its place is checked like any other.
        {"psqlodbca.so", SQL_SO_FORWARD_ONLY | SQL_SO_KEYSET_DRIVEN, -1, 1013},
    };
    for (const Case& c : cases) {
        for (int kind = 0; kind < 3; ++kind) {
            SCOPED_TRACE(std::string(c.driver) + " kind " + std::to_string(kind));
            fake_odbc::Reset();
            fake_odbc::SetInfoText(SQL_DRIVER_NAME, c.driver);
            fake_odbc::SetInfoNumber(SQL_SCROLL_OPTIONS, c.scrollOptions);
            CDatabase db;
            ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
            const CText names[CMyRec::kValueCount] = {CText("a")};
            std::unique_ptr<CRecordset> set;
            if (kind == 0) {
                auto record = std::make_unique<CMyRec>(&db);
                record->TableName = "t";
                record->FieldCount = 1;
                record->FieldNameList = names;
                set = std::move(record);
                fake_odbc::SetResult({{"a"}}, {{fake_odbc::Value("x")}});
            } else {
                set = kind == 1 ? std::unique_ptr<CRecordset>(std::make_unique<CTables>(&db))
                                : std::unique_ptr<CRecordset>(std::make_unique<CColumns>(&db));
                fake_odbc::SetResult({{"TABLE_CAT"}}, {});
            }
            SQLRETURN code = 0;
            try {
                set->Open(KeysetCursor, nullptr, 0);
            } catch (CDBException* e) {
                code = e->ReturnCode;
                e->Delete();
            }
            EXPECT_EQ(code, c.code);
            EXPECT_EQ(AskedCursorType(), c.cursorType);
            EXPECT_EQ(set->IsOpen(), c.code == 0);
            if (kind == 0 && c.code == 0) {
                EXPECT_STREQ(static_cast<CMyRec&>(*set).Values[0].c_str(), "x");
            }
        }
    }
}

}  // namespace
