#include "db/database.h"
#include "db/db_exception.h"
#include "fake_odbc_fixture.h"
#include "move_error.h"
#include "test_records.h"

using namespace vordex;
using fake_odbc::Value;

namespace {

class RecordsetFetch : public FakeOdbcTest {
protected:
    CDatabase db;

    void SetUp() override {
        FakeOdbcTest::SetUp();
        ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
        SetRows(3);
    }

    static void SetRows(int count) {
        std::vector<std::vector<Value>> rows;
        for (int i = 1; i <= count; ++i) rows.push_back({Value(std::to_string(i)), Value("r"), Value("0")});
        fake_odbc::SetResult({{"ID", SQL_INTEGER, 10}, {"NAME", SQL_VARCHAR, 300}, {"SMALL", SQL_SMALLINT, 5}},
                             rows);
    }
};

struct Step {
    int32_t rows;
    SQLUSMALLINT type;
    SQLRETURN error;  // 0: the move succeeds
    int32_t current, count, endSeen, atStart, atEnd, id;
};

TEST_F(RecordsetFetch, PositionBookkeepingOverThreeRows) {
    // Starting right after Open: row 1 current, CurrentRecord 0, RecordCount 1.
    const Step steps[] = {
        {1, SQL_FETCH_NEXT, 0, 1, 2, 0, 0, 0, 2},
        {1, SQL_FETCH_NEXT, 0, 2, 3, 0, 0, 0, 3},
        {1, SQL_FETCH_NEXT, 0, 2, 3, 1, 0, 1, 3},  // off the end: members keep row 3
        {1, SQL_FETCH_NEXT, 1016, 2, 3, 1, 0, 1, 3},
        {-1, SQL_FETCH_PRIOR, 0, 2, 3, 1, 0, 0, 3},  // from the end the driver gives the last row
        {-1, SQL_FETCH_PRIOR, 0, 1, 3, 1, 0, 0, 2},
        {1, SQL_FETCH_FIRST, 0, 0, 3, 1, 0, 0, 1},
        {-1, SQL_FETCH_PRIOR, 0, 0, 3, 1, 1, 0, 1},  // before the first row
        {-1, SQL_FETCH_PRIOR, 1016, 0, 3, 1, 1, 0, 1},
        {-1, SQL_FETCH_RELATIVE, 1016, 0, 3, 1, 1, 0, 1},
        {2, SQL_FETCH_ABSOLUTE, 0, 1, 3, 1, 0, 0, 2},
        {1, SQL_FETCH_LAST, 0, 2, 3, 1, 0, 0, 3},  // the count is final, so the number is known
        {-2, SQL_FETCH_RELATIVE, 0, 0, 3, 1, 0, 0, 1},
        {-1, SQL_FETCH_ABSOLUTE, 0, 2, 3, 1, 0, 0, 3},
        {5, SQL_FETCH_ABSOLUTE, 0, -2, 3, 1, 0, 1, 3},  // no such row: members keep the previous one
        {0, SQL_FETCH_ABSOLUTE, 0, -2, 3, 1, 0, 1, 3},  // direction 0 counts as forward
        {1, SQL_FETCH_BOOKMARK, 0, -2, 3, 1, 1, 1, 3},  // no row at the bookmark
    };
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    EXPECT_EQ(rs.CurrentRecord, 0);
    EXPECT_EQ(rs.RecordCount, 1);
    int index = 0;
    for (const Step& s : steps) {
        EXPECT_EQ(MoveFails(rs, s.rows, s.type), s.error) << "step " << index;
        EXPECT_EQ(rs.CurrentRecord, s.current) << "step " << index;
        EXPECT_EQ(rs.RecordCount, s.count) << "step " << index;
        EXPECT_EQ(rs.EndSeen, s.endSeen) << "step " << index;
        EXPECT_EQ(rs.AtStart, s.atStart) << "step " << index;
        EXPECT_EQ(rs.AtEnd, s.atEnd) << "step " << index;
        EXPECT_EQ(rs.id, s.id) << "step " << index;
        ++index;
    }
}

TEST_F(RecordsetFetch, LastAndAbsoluteFromTheEndBeforeTheCountIsKnown) {
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    rs.Move(1, SQL_FETCH_LAST);
    EXPECT_EQ(rs.CurrentRecord, -2);
    EXPECT_EQ(rs.id, 3);
    rs.Move(-1, SQL_FETCH_ABSOLUTE);
    EXPECT_EQ(rs.CurrentRecord, -2);
}

TEST_F(RecordsetFetch, EmptyResult) {
    SetRows(0);
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    EXPECT_TRUE(rs.AtStart && rs.AtEnd);
    EXPECT_EQ(rs.RecordCount, 0);
    EXPECT_EQ(rs.EndSeen, 1);
    for (int type : {SQL_FETCH_NEXT, SQL_FETCH_FIRST, SQL_FETCH_ABSOLUTE}) {
        EXPECT_EQ(MoveFails(rs, 1, static_cast<SQLUSMALLINT>(type)), 1016) << type;
    }
    // A closed result set fails the same way and touches nothing.
    rs.Close();
    EXPECT_EQ(MoveFails(rs, 1, SQL_FETCH_NEXT), 1016);
}

TEST_F(RecordsetFetch, NullsBecomeMarkersAndEmptyText) {
    fake_odbc::SetResult({{"ID", SQL_INTEGER, 10}, {"NAME", SQL_VARCHAR, 20}, {"SMALL", SQL_SMALLINT, 5}},
                         {{Value("7"), Value("seven  "), Value("5")}, {std::nullopt, std::nullopt, std::nullopt}});
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    EXPECT_STREQ(rs.name.c_str(), "seven  ");  // trailing blanks stay
    EXPECT_EQ(rs.ColumnRecords[1].Indicator, 7);
    EXPECT_EQ(rs.ColumnStatus[1], 0);
    rs.Move(1, SQL_FETCH_NEXT);
    EXPECT_EQ(rs.id, kLongNullMarker);
    EXPECT_EQ(rs.id, 1246576928);
    EXPECT_EQ(rs.small, kIntNullMarker);
    EXPECT_EQ(rs.small, 32484);
    EXPECT_STREQ(rs.name.c_str(), "");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(rs.ColumnStatus[i], FieldNull) << i;
    rs.Move(-1, SQL_FETCH_PRIOR);
    EXPECT_EQ(rs.id, 7);
    EXPECT_EQ(rs.ColumnStatus[0], 0);  // the status bytes are cleared by every move
}

TEST_F(RecordsetFetch, FetchWarnings) {
    struct Case {
        const char* state;
        SQLRETURN error;
    };
    const Case cases[] = {{"01004", 1021}, {"01S01", 1022}, {"01S02", 0}, {"01000", 0}};
    for (const Case& c : cases) {
        TestRecord rs(&db);
        ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
        fake_odbc::QueueFailure("SQLExtendedFetch", SQL_SUCCESS_WITH_INFO,
                                {{"01000", 0, "[X]general warning"}, {c.state, 0, "[X]warning"}});
        EXPECT_EQ(MoveFails(rs, 1, SQL_FETCH_NEXT), c.error) << c.state;
        // A rejected fetch leaves the position as it was.
        EXPECT_EQ(rs.CurrentRecord, c.error ? 0 : 1) << c.state;
    }
    // A real truncation: a value longer than the 256-byte buffer.
    fake_odbc::SetResult({{"ID", SQL_INTEGER, 10}, {"NAME", SQL_VARCHAR, 300}, {"SMALL", SQL_SMALLINT, 5}},
                         {{Value("1"), Value("a"), Value("1")}, {Value("2"), Value(std::string(300, 'x')), Value("2")}});
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    EXPECT_EQ(MoveFails(rs, 1, SQL_FETCH_NEXT), 1021);
    EXPECT_EQ(std::string(rs.name.Buffer()), std::string(255, 'x'));
    // Any other error is thrown with its own code.
    fake_odbc::QueueReturn("SQLExtendedFetch", SQL_ERROR);
    EXPECT_EQ(MoveFails(rs, 1, SQL_FETCH_FIRST), SQL_ERROR);
}

TEST_F(RecordsetFetch, NoMoreDataOnALostConnectionIsNoEnd) {
    for (const uint32_t openType : {KeysetCursor, ForwardOnly}) {
        SCOPED_TRACE(openType);
        fake_odbc::SetConnectionDead(false);
        TestRecord rs(&db);
        ASSERT_TRUE(rs.Open(openType, nullptr, 0));
        rs.Move(1, SQL_FETCH_NEXT);
        // The driver's "no more data" with its connection dead fails the move.
        fake_odbc::SetConnectionDead(true);
        fake_odbc::QueueReturn(openType == ForwardOnly ? "SQLFetch" : "SQLExtendedFetch", SQL_NO_DATA_FOUND);
        EXPECT_EQ(MoveFails(rs, 1, SQL_FETCH_NEXT), ErrorConnectionLost);
        EXPECT_EQ(rs.AtEnd, 0);
        EXPECT_FALSE(rs.HasCurrentRow());
        // On a live connection it is the end.
        fake_odbc::SetConnectionDead(false);
        rs.Move(1, SQL_FETCH_NEXT);
        EXPECT_EQ(rs.AtEnd, 0);
        rs.Move(1, SQL_FETCH_NEXT);
        EXPECT_EQ(rs.AtEnd, 1);
    }
}

TEST_F(RecordsetFetch, DeletedRowsWithAndWithoutSkipping) {
    SetRows(5);
    fake_odbc::MarkRowDeleted(1);
    fake_odbc::MarkRowDeleted(2);
    {
        TestRecord rs(&db);
        ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
        rs.Move(1, SQL_FETCH_NEXT);
        EXPECT_EQ(rs.RowDeleted, 1);
        EXPECT_EQ(rs.CurrentRecord, 1);
    }
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, OptSkipDeleted));
    const int fetchesBefore = fake_odbc::CountCalls("SQLExtendedFetch");
    rs.Move(1, SQL_FETCH_NEXT);  // passes over rows 2 and 3
    EXPECT_EQ(fake_odbc::CountCalls("SQLExtendedFetch") - fetchesBefore, 3);
    EXPECT_EQ(rs.RowDeleted, 0);
    EXPECT_EQ(rs.CurrentRecord, 1);
    EXPECT_EQ(rs.id, 4);
    rs.Move(-1, SQL_FETCH_PRIOR);
    EXPECT_EQ(rs.id, 1);
    rs.Move(2, SQL_FETCH_RELATIVE);  // two rows that are not deleted: 4, then 5
    EXPECT_EQ(rs.id, 5);
    rs.Move(1, SQL_FETCH_LAST);
    EXPECT_EQ(rs.id, 5);
    rs.Move(1, SQL_FETCH_ABSOLUTE);  // absolute moves never skip
    EXPECT_EQ(rs.id, 1);
    rs.Move(2, SQL_FETCH_ABSOLUTE);
    EXPECT_EQ(rs.RowDeleted, 1);
}

TEST_F(RecordsetFetch, ForwardOnlyFetchesWithSQLFetch) {
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(ForwardOnly, nullptr, 0));
    EXPECT_EQ(fake_odbc::CountCalls("SQLExtendedFetch"), 0);
    EXPECT_EQ(fake_odbc::CountCalls("SQLFetch"), 1);
    EXPECT_TRUE(rs.Options & OptReadOnly);  // a forward-only cursor cannot write
    EXPECT_EQ(rs.Scrollable, 0);
    EXPECT_EQ(MoveFails(rs, -1, SQL_FETCH_PRIOR), 1002);
    rs.Move(1, SQL_FETCH_NEXT);
    EXPECT_EQ(rs.id, 2);
    // Only the time-out is set on the statement.
    EXPECT_EQ(fake_odbc::CountCalls("SQLSetStmtOption"), 1);
}

}  // namespace
