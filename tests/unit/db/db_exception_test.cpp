#include "db/db_exception.h"

#include "db/database.h"
#include "fake_odbc_fixture.h"

using namespace vordex;

namespace {

class DBExceptionTest : public FakeOdbcTest {
protected:
    // A connection object that is "connected" without touching the stand-in.
    CDatabase db;
    void SetUp() override {
        FakeOdbcTest::SetUp();
        db.ConnectionHandle = reinterpret_cast<SQLHDBC>(0x1);
    }
    void TearDown() override {
        db.ConnectionHandle = nullptr;
        FakeOdbcTest::TearDown();
    }

    CDBException* Catch(SQLRETURN code, CDatabase* connection, SQLHSTMT statement) {
        try {
            ThrowDBError(code, connection, statement);
        } catch (CDBException* e) {
            return e;
        }
        return nullptr;
    }
};

struct OriginCase {
    const char* message;
    const char* stateLine;
    const char* errorLine;
};

TEST_F(DBExceptionTest, SplitsOriginPrefixesOffEachMessage) {
    const OriginCase cases[] = {
        {"[Drv][Db] Table 'T' not found", "State:S0002,Native:208,Origin:[Drv][Db]\n", "Table 'T' not found\n"},
        {"[A] [B] text", "State:S0002,Native:208,Origin:[A][B]\n", "text\n"},
        {"[A]text", "State:S0002,Native:208,Origin:[A]\n", "text\n"},
        {"[A]", "State:S0002,Native:208,Origin:[A]\n", "\n"},
        {"[A no close", "State:S0002,Native:208,Origin:\n", "[A no close\n"},
        {"plain text [x]", "State:S0002,Native:208,Origin:\n", "plain text [x]\n"},
        {"[A]  two blanks", "State:S0002,Native:208,Origin:[A]\n", " two blanks\n"},
    };
    for (const OriginCase& c : cases) {
        fake_odbc::Reset();
        fake_odbc::QueueDiagnostics({{"S0002", 208, c.message}});
        CDBException* e = Catch(SQL_ERROR, &db, nullptr);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->ReturnCode, SQL_ERROR);
        EXPECT_STREQ(e->StateText.c_str(), c.stateLine) << c.message;
        EXPECT_STREQ(e->ErrorText.c_str(), c.errorLine) << c.message;
        e->Delete();
    }
}

TEST_F(DBExceptionTest, OneLinePerRecordInOrderAndAppendsOnASecondBuild) {
    fake_odbc::QueueDiagnostics({{"01000", -1, "[X]first"}, {"42P01", 7, "[X][Y] second"}, {"HY000", 0, "third"}});
    CDBException* e = Catch(SQL_ERROR, &db, reinterpret_cast<SQLHSTMT>(0x2));
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->StateText.c_str(),
                 "State:01000,Native:-1,Origin:[X]\nState:42P01,Native:7,Origin:[X][Y]\nState:HY000,Native:0,Origin:\n");
    EXPECT_STREQ(e->ErrorText.c_str(), "first\nsecond\nthird\n");
    EXPECT_TRUE(e->HasState("42P01"));
    EXPECT_TRUE(e->HasState("HY000"));
    EXPECT_FALSE(e->HasState("S1010"));
    // SQLError is asked with the statement and a 511-byte message limit.
    auto calls = fake_odbc::CallsTo("SQLError");
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].arguments, "stmt,511");

    fake_odbc::QueueDiagnostics({{"08S01", 1, "[Z]gone"}});
    e->BuildErrorText(&db, nullptr);
    EXPECT_STREQ(e->ErrorText.c_str(), "first\nsecond\nthird\ngone\n");
    e->Delete();
}

TEST_F(DBExceptionTest, StopsAtStateZerosAndWhenSQLErrorFails) {
    fake_odbc::QueueDiagnostics({{"00000", 0, "no error"}, {"42000", 0, "never read"}});
    CDBException* e = Catch(SQL_ERROR, &db, nullptr);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->StateText.IsEmpty());
    EXPECT_TRUE(e->ErrorText.IsEmpty());
    e->Delete();

    fake_odbc::Reset();
    fake_odbc::QueueReturn("SQLError", SQL_ERROR);
    fake_odbc::QueueDiagnostics({{"42000", 0, "never read"}});
    e = Catch(SQL_ERROR, &db, nullptr);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ReturnCode, SQL_ERROR);
    EXPECT_TRUE(e->ErrorText.IsEmpty());
    e->Delete();
}

TEST_F(DBExceptionTest, CodesOtherThanSqlErrorWithAConnectionNeverAskTheDriverManager) {
    struct Case {
        SQLRETURN code;
        CDatabase* connection;
    };
    const Case cases[] = {{SQL_ERROR, nullptr}, {SQL_INVALID_HANDLE, &db}, {SQL_STILL_EXECUTING, &db},
                          {SQL_NEED_DATA, &db}, {1000, &db},           {1001, &db},
                          {1014, &db},          {1028, &db},           {1029, &db}};
    for (const Case& c : cases) {
        fake_odbc::Reset();
        fake_odbc::QueueDiagnostics({{"42000", 1, "[X] would be read"}});
        CDBException* e = Catch(c.code, c.connection, reinterpret_cast<SQLHSTMT>(0x2));
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->ReturnCode, c.code);
        EXPECT_TRUE(e->ErrorText.IsEmpty()) << c.code;
        EXPECT_TRUE(e->StateText.IsEmpty()) << c.code;
        EXPECT_EQ(fake_odbc::CountCalls("SQLError"), 0) << c.code;
        EXPECT_EQ(e->AutoDelete, 1);
        e->Delete();
    }
}

TEST(DBExceptionClass, RunTimeClassRecords) {
    CDBException e(SQL_ERROR);
    EXPECT_STREQ(e.GetRuntimeClass()->ClassName, "CDBException");
    EXPECT_TRUE(e.IsKindOf(&CException::ClassRecord));
    EXPECT_TRUE(e.IsKindOf(&CObject::ClassRecord));
    EXPECT_FALSE(e.IsKindOf(&CMemoryException::ClassRecord));
    EXPECT_TRUE(IsLibraryErrorCode(1001));
    EXPECT_FALSE(IsLibraryErrorCode(1029));
}

TEST(MemoryException, IsStaticAndSurvivesDelete) {
    CMemoryException* first = nullptr;
    CMemoryException* second = nullptr;
    try {
        ThrowMemoryException();
    } catch (CMemoryException* e) {
        first = e;
        e->Delete();
    }
    try {
        ThrowMemoryException();
    } catch (CException* e) {
        second = dynamic_cast<CMemoryException*>(e);
        e->Delete();
    }
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->AutoDelete, 0);
    EXPECT_STREQ(first->GetRuntimeClass()->ClassName, "CMemoryException");
}

}  // namespace
