#include <cstring>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/long_binary.h"
#include "fake_odbc_fixture.h"
#include "move_error.h"
#include "test_records.h"

using namespace vordex;
using fake_odbc::Value;

namespace {

/// A test record that also holds a picture, sent at execution.
class PictureRecord : public TestRecord {
public:
    using TestRecord::TestRecord;
    CLongBinary picture{4};
};

enum class WriteMethod { SetPos, PositionedSql };

class RecordsetWrite : public FakeOdbcTest {
protected:
    CDatabase db;

    void Connect(WriteMethod method, bool cursorLibrary = false) {
        if (method == WriteMethod::PositionedSql) fake_odbc::SetInfoNumber(SQL_POS_OPERATIONS, 0);
        ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", cursorLibrary));
        fake_odbc::SetResult({{"ID", SQL_INTEGER, 10}, {"NAME", SQL_VARCHAR, 300}, {"SMALL", SQL_SMALLINT, 5}},
                             {{"1", "one", "10"}, {"2", "", "20"}, {"3", std::nullopt, std::nullopt}});
    }

    /// The text of the last write statement (executed directly or prepared).
    static std::string LastWrite() {
        for (auto it = fake_odbc::Calls().rbegin(); it != fake_odbc::Calls().rend(); ++it) {
            if ((it->function == "SQLExecDirect" || it->function == "SQLPrepare") &&
                it->arguments.find("SELECT") != 0) {
                return it->arguments;
            }
        }
        return "";
    }
};

TEST_F(RecordsetWrite, PositionedStatementsAndTheirParameters) {
    struct Case {
        const char* what;
        void (*change)(TestRecord&);
        std::string statement;
        std::vector<std::string> parameters;  // number,kind,C type,SQL type,size,digits,indicator
    };
    const Case cases[] = {
        {"edit one text", [](TestRecord& rs) { rs.Edit(); rs.name = "new"; },
         "UPDATE \"T\" SET NAME=?  WHERE CURRENT OF SQL_CUR1", {"1,1,1,12,300,0,3"}},
        {"edit two integers, listing order", [](TestRecord& rs) { rs.Edit(); rs.small = 7; rs.id = 9; },
         "UPDATE \"T\" SET ID=?,SMALL=?  WHERE CURRENT OF SQL_CUR1", {"1,1,4,4,10,0,4", "2,1,4,5,5,0,4"}},
        {"an emptied text writes NULL", [](TestRecord& rs) { rs.Edit(); rs.name = ""; },
         "UPDATE \"T\" SET NAME=?  WHERE CURRENT OF SQL_CUR1", {"1,1,1,12,300,0,-1"}},
        {"add", [](TestRecord& rs) { rs.BeginAdd(); rs.name = "n"; rs.small = 3; },
         "INSERT INTO \"T\" (NAME,SMALL) VALUES (?,?)", {"1,1,1,12,300,0,1", "2,1,4,5,5,0,4"}},
        {"delete", [](TestRecord& rs) { rs.DeleteRow(); }, "DELETE FROM \"T\" WHERE CURRENT OF SQL_CUR1", {}},
    };
    Connect(WriteMethod::PositionedSql);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestRecord rs(&db);
        ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
        ASSERT_TRUE(rs.UpdateBySql);
        const size_t before = fake_odbc::Calls().size();
        c.change(rs);
        const bool deleting = rs.EditMode == NotEditing;
        if (deleting) {
            EXPECT_TRUE(rs.RowDeleted);
        } else {
            EXPECT_TRUE(rs.Update());
        }
        EXPECT_EQ(LastWrite(), c.statement);
        std::vector<std::string> bound;
        for (size_t i = before; i < fake_odbc::Calls().size(); ++i) {
            if (fake_odbc::Calls()[i].function == "SQLBindParameter") bound.push_back(fake_odbc::Calls()[i].arguments);
        }
        EXPECT_EQ(bound, c.parameters);
        EXPECT_EQ(rs.EditMode, NotEditing);
        EXPECT_TRUE(rs.UpdateSql.IsEmpty());
        EXPECT_EQ(rs.UpdateStatement != nullptr, true);
    }
}

TEST_F(RecordsetWrite, CursorNameIsAskedOncePerOpenAndReadWhole) {
    Connect(WriteMethod::PositionedSql);
    const std::string longName = "SQL_CUR0x55d5c8a0b2c0-and-some-more-characters-than-64-bytes-hold-at-once";
    fake_odbc::SetCursorName(longName);
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    for (int32_t value : {5, 6}) {
        rs.Edit();
        rs.small = value;
        ASSERT_TRUE(rs.Update());
        EXPECT_EQ(LastWrite(), "UPDATE \"T\" SET SMALL=?  WHERE CURRENT OF " + longName);
    }
    const int asked = fake_odbc::CountCalls("SQLGetCursorName");
    EXPECT_GE(asked, 1);
    rs.Close();
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    rs.DeleteRow();
    EXPECT_EQ(LastWrite(), "DELETE FROM \"T\" WHERE CURRENT OF " + longName);
    EXPECT_EQ(fake_odbc::CountCalls("SQLGetCursorName"), 2 * asked);
}

TEST_F(RecordsetWrite, RowCountsOfTheWrite) {
    struct Case {
        SQLLEN count;
        SQLRETURN countRc;
        SQLRETURN expected;
    };
    const Case cases[] = {
        {1, SQL_SUCCESS, 0},
        {0, SQL_SUCCESS, ErrorNoRowChanged},
        {2, SQL_SUCCESS, ErrorTooManyRowsChanged},
        {-1, SQL_SUCCESS, 0},          // the driver does not know
        {0, SQL_ERROR, 0},             // nor will it say
    };
    Connect(WriteMethod::PositionedSql);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        fake_odbc::SetRowCount(c.count);
        if (c.countRc != SQL_SUCCESS) fake_odbc::QueueReturn("SQLRowCount", c.countRc);
        TestRecord rs(&db);
        ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
        rs.Edit();
        rs.name = "x";
        EXPECT_EQ(FailureCode([&] { rs.Update(); }), c.expected);
        // A failed write keeps the edit and its statement text.
        EXPECT_EQ(rs.EditMode, c.expected != 0 ? Editing : NotEditing);
        EXPECT_EQ(rs.UpdateSql.IsEmpty(), c.expected == 0);
    }
}

TEST_F(RecordsetWrite, RepeatedAddPreparesOnceAndExecutesAgain) {
    Connect(WriteMethod::PositionedSql);
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, OptRepeatAdd));
    for (const char* name : {"a", "bb", "ccc"}) {
        rs.BeginAdd();
        rs.name = name;
        rs.small = 1;
        ASSERT_TRUE(rs.Update());
        EXPECT_EQ(rs.Options & (OptRepeatAdd | OptRepeatAddMarker), OptRepeatAdd);
    }
    const auto prepared = fake_odbc::CallsTo("SQLPrepare");
    ASSERT_EQ(prepared.size(), 2u);  // the SELECT and the INSERT
    EXPECT_EQ(prepared[1].arguments, "INSERT INTO \"T\" (NAME,SMALL) VALUES (?,?)");
    EXPECT_EQ(fake_odbc::CountCalls("SQLExecute"), 1 + 3);
    EXPECT_EQ(fake_odbc::CountCalls("SQLBindParameter"), 2);
    EXPECT_EQ(fake_odbc::CountCalls("SQLExecDirect"), 0);
    EXPECT_EQ(rs.name, "one");  // the row current before the adds is back
}

TEST_F(RecordsetWrite, DataAtExecutionIsSentFromTheHolder) {
    Connect(WriteMethod::PositionedSql);
    PictureRecord rs(&db);
    std::memcpy(rs.picture.Lock(), "\x89PNG", 4);
    rs.picture.Unlock();
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));

    fake_odbc::QueueReturn("SQLExecDirect", SQL_NEED_DATA);
    fake_odbc::QueueNeedData(&rs.picture);
    fake_odbc::QueueNeedData(&rs.picture);
    rs.Edit();
    rs.name = "p";
    ASSERT_TRUE(rs.Update());
    const auto sent = fake_odbc::CallsTo("SQLPutData");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].arguments, "4|\x89PNG");
    EXPECT_EQ(rs.picture.LockCount, 0);
    EXPECT_EQ(fake_odbc::CountCalls("SQLCancel"), 0);

    // A failure while sending cancels the cursor and the write statement.
    fake_odbc::QueueReturn("SQLExecDirect", SQL_NEED_DATA);
    fake_odbc::QueueNeedData(&rs.picture);
    fake_odbc::QueueFailure("SQLPutData", SQL_ERROR, {{"HY000", 3, "[fake]put failed"}});
    rs.Edit();
    rs.name = "q";
    EXPECT_EQ(FailureCode([&] { rs.Update(); }), SQL_ERROR);
    const auto cancels = fake_odbc::CallsTo("SQLCancel");
    ASSERT_EQ(cancels.size(), 2u);
    EXPECT_EQ(cancels[0].arguments, "cursor");
    EXPECT_EQ(cancels[1].arguments, "write");
    EXPECT_EQ(rs.picture.LockCount, 0);
}

TEST_F(RecordsetWrite, ModeAndPermissionRules) {
    struct Case {
        const char* what;
        uint32_t options;
        SQLRETURN (*steps)(TestRecord&);
        SQLRETURN expected;
        size_t writes;  // what the steps write in all: a refused operation writes nothing
    };
    const Case cases[] = {
        {"update without edit", 0, [](TestRecord& rs) { return FailureCode([&] { rs.Update(); }); }, ErrorNotEditing, 0},
        {"delete while editing", 0,
         [](TestRecord& rs) { rs.Edit(); return FailureCode([&] { rs.DeleteRow(); }); }, ErrorNotEditing, 0},
        {"delete while adding", 0,
         [](TestRecord& rs) { rs.BeginAdd(); return FailureCode([&] { rs.DeleteRow(); }); }, ErrorNotEditing, 0},
        {"edit past the end", 0,
         [](TestRecord& rs) { rs.Move(1, SQL_FETCH_LAST); rs.Move(1, SQL_FETCH_NEXT); return FailureCode([&] { rs.Edit(); }); },
         ErrorNoCurrentRow, 0},
        {"delete before the start", 0,
         [](TestRecord& rs) { rs.Move(-1, SQL_FETCH_PRIOR); return FailureCode([&] { rs.DeleteRow(); }); },
         ErrorNoCurrentRow, 0},
        {"edit a deleted row", 0,
         [](TestRecord& rs) { rs.DeleteRow(); return FailureCode([&] { rs.Edit(); }); }, ErrorNoCurrentRow, 1},
        {"delete twice", 0,
         [](TestRecord& rs) { rs.DeleteRow(); return FailureCode([&] { rs.DeleteRow(); }); }, ErrorNoCurrentRow, 1},
        {"edit after deleting and moving", 0,
         [](TestRecord& rs) { rs.DeleteRow(); rs.Move(1, SQL_FETCH_NEXT); return FailureCode([&] { rs.Edit(); }); }, 0, 1},
        {"read-only edit", OptReadOnly, [](TestRecord& rs) { return FailureCode([&] { rs.Edit(); }); }, ErrorNotUpdatable, 0},
        {"read-only add", OptReadOnly, [](TestRecord& rs) { return FailureCode([&] { rs.BeginAdd(); }); },
         ErrorNotUpdatable, 0},
        {"read-only delete", OptReadOnly, [](TestRecord& rs) { return FailureCode([&] { rs.DeleteRow(); }); },
         ErrorNotUpdatable, 0},
        {"append-only edit", OptAppendOnly, [](TestRecord& rs) { return FailureCode([&] { rs.Edit(); }); },
         ErrorNotUpdatable, 0},
        {"append-only add", OptAppendOnly,
         [](TestRecord& rs) { rs.BeginAdd(); rs.name = "n"; return FailureCode([&] { rs.Update(); }); }, 0, 1},
        {"append-only delete", OptAppendOnly, [](TestRecord& rs) { return FailureCode([&] { rs.DeleteRow(); }); },
         ErrorNotUpdatable, 0},
    };
    for (WriteMethod method : {WriteMethod::SetPos, WriteMethod::PositionedSql}) {
        fake_odbc::Reset();
        Connect(method);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            TestRecord rs(&db);
            ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, c.options));
            auto written = [] { return fake_odbc::CallsTo("SQLSetPos").size() + fake_odbc::CallsTo("SQLExecDirect").size(); };
            const size_t before = written();
            EXPECT_EQ(c.steps(rs), c.expected);
            EXPECT_EQ(written() - before, c.writes);
        }
        db.Close();
    }
}

TEST_F(RecordsetWrite, SetPosLeavesUnchangedColumnsAlone) {
    Connect(WriteMethod::SetPos);
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    ASSERT_FALSE(rs.UpdateBySql);
    rs.Edit();
    rs.name = "renamed";
    ASSERT_TRUE(rs.Update());
    // Row 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE; ID and SMALL ignored, NAME sent.
    EXPECT_EQ(fake_odbc::CallsTo("SQLSetPos").back().arguments, "1,2,0|-6,7,-6");
    EXPECT_EQ(rs.ColumnRecords[0].Indicator, 4);  // lengths given back afterwards
    EXPECT_EQ(rs.ColumnRecords[2].Indicator, 4);

    rs.DeleteRow();
    EXPECT_EQ(fake_odbc::CallsTo("SQLSetPos").back().arguments.substr(0, 6), "1,3,0|");
    EXPECT_EQ(rs.name, "");
    EXPECT_EQ(rs.id, kLongNullMarker);

    // A warning with a row status other than the operation's own is a failure.
    rs.Move(1, SQL_FETCH_NEXT);
    for (const int status : {SQL_ROW_UPDATED, SQL_ROW_ERROR}) {
        fake_odbc::QueueReturn("SQLSetPos", SQL_SUCCESS_WITH_INFO);
        fake_odbc::SetSetPosRowStatus(static_cast<SQLUSMALLINT>(status));
        rs.Edit();
        rs.small = static_cast<int32_t>(100 + status);
        EXPECT_EQ(FailureCode([&] { rs.Update(); }), status == SQL_ROW_UPDATED ? 0 : ErrorRowStatus);
    }
    // A driver that writes no status (psqlODBC): its warning's states
    // decide, never the SQL_ROW_UPDATED a fetch after the cursor's own
    // earlier write left in the entry. 01S03: no row written; 01S04: more
    // than one.
    fake_odbc::SetSetPosRowStatus(fake_odbc::kSetPosLeavesRowStatus);
    const struct {
        const char* state;
        SQLRETURN failure;
    } warnings[] = {{"01S03", ErrorRowStatus}, {"01S04", ErrorTooManyRowsChanged}, {"01004", 0}};
    for (const auto& w : warnings) {
        SCOPED_TRACE(w.state);
        rs.RowStatus[0] = SQL_ROW_UPDATED;
        fake_odbc::QueueFailure("SQLSetPos", SQL_SUCCESS_WITH_INFO, {{w.state, 0, "[drv]warning"}});
        rs.Edit();
        rs.small = 77;
        EXPECT_EQ(FailureCode([&] { rs.Update(); }), w.failure);
        EXPECT_EQ(rs.RowStatus[0], SQL_ROW_UPDATED);  // the fetched status is back
        rs.CancelUpdate();
    }
    // After SQL_SUCCESS the status is not looked at.
    fake_odbc::SetSetPosRowStatus(SQL_ROW_ERROR);
    rs.Edit();
    rs.small = 98;
    EXPECT_TRUE(rs.Update());
}

TEST_F(RecordsetWrite, NothingChangedWritesNothingAndStaysInEdit) {
    Connect(WriteMethod::SetPos);
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    rs.Edit();
    EXPECT_FALSE(rs.Update());
    rs.name = "one";  // the value it already had
    rs.id = 1;
    EXPECT_FALSE(rs.Update());
    EXPECT_EQ(rs.EditMode, Editing);
    EXPECT_EQ(fake_odbc::CountCalls("SQLSetPos"), 0);

    // A move abandons the edit without writing.
    rs.name = "abandoned";
    rs.Move(1, SQL_FETCH_NEXT);
    EXPECT_EQ(rs.EditMode, NotEditing);
    EXPECT_EQ(fake_odbc::CountCalls("SQLSetPos"), 0);
    EXPECT_EQ(FailureCode([&] { rs.Update(); }), ErrorNotEditing);
}

TEST_F(RecordsetWrite, AnUntouchedEmptyTextIsNotWrittenAsNull) {
    Connect(WriteMethod::PositionedSql);
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    rs.Move(1, SQL_FETCH_NEXT);  // NAME holds an empty text, not NULL
    ASSERT_EQ(rs.name, "");
    ASSERT_FALSE(rs.ColumnStatus[1] & FieldNull);
    rs.Edit();
    rs.small = 21;
    ASSERT_TRUE(rs.Update());
    EXPECT_EQ(LastWrite(), "UPDATE \"T\" SET SMALL=?  WHERE CURRENT OF SQL_CUR1");
    // The empty text written again is no change either.
    rs.Edit();
    rs.name = "";
    EXPECT_FALSE(rs.Update());
    // A NULL column emptied stays NULL and unchanged too.
    rs.Move(1, SQL_FETCH_NEXT);
    rs.Edit();
    rs.name = "";
    EXPECT_FALSE(rs.Update());
}

TEST_F(RecordsetWrite, AddAndDeleteBookkeeping) {
    struct Case {
        bool cursorLibrary;
        int32_t currentAfterAdd, countAfterAdd;
    };
    for (const Case c : {Case{false, 1, 2}, Case{true, 2, 3}}) {
        SCOPED_TRACE(c.cursorLibrary);
        fake_odbc::Reset();
        Connect(WriteMethod::SetPos, c.cursorLibrary);
        TestRecord rs(&db);
        ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
        rs.Move(1, SQL_FETCH_NEXT);
        ASSERT_EQ(rs.CurrentRecord, 1);
        ASSERT_EQ(rs.RecordCount, 2);
        rs.BeginAdd();
        EXPECT_EQ(rs.name, "");
        EXPECT_EQ(rs.small, kIntNullMarker);
        rs.name = "added";
        ASSERT_TRUE(rs.Update());
        EXPECT_EQ(fake_odbc::CallsTo("SQLSetPos").back().arguments, "1,4,0|-6,5,-6");
        EXPECT_EQ(rs.CurrentRecord, c.currentAfterAdd);
        EXPECT_EQ(rs.RecordCount, c.countAfterAdd);
        EXPECT_EQ(rs.id, 2);  // the row current before the add is back
        EXPECT_EQ(rs.small, 20);

        rs.DeleteRow();
        EXPECT_EQ(rs.CurrentRecord, c.currentAfterAdd - 1);
        EXPECT_EQ(rs.RecordCount, c.countAfterAdd - 1);
        EXPECT_TRUE(rs.RowDeleted);
        db.Close();
    }
}

}  // namespace
