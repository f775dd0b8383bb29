#include "db/field_xfer.h"

#include <sqlext.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/db_exception.h"
#include "db/recordset.h"
#include "fake_odbc_fixture.h"
#include "records/my_rec.h"
#include "test_records.h"

using namespace vordex;

namespace {

using FieldXfer = FakeOdbcTest;

// The stand-in accepts any statement handle for binding, but SQLFreeStmt
// deletes what it is given: this one must never reach it.
const SQLHSTMT kDummyStatement = reinterpret_cast<SQLHSTMT>(0x5);

struct ColumnType {
    SQLSMALLINT sqlType;
    SQLULEN precision;
    SQLSMALLINT scale;
};

// A result set driven pass by pass, with no connection. The destructor drops
// the dummy handle before Close, which frees the saved text copies.
template <class Record>
class Detached : public Record {
public:
    template <class... Args>
    explicit Detached(Args&&... args) : Record(nullptr, std::forward<Args>(args)...) {
        Attach();
    }
    ~Detached() override { Detach(); }

    void Attach() {
        this->AllocFieldState();
        this->StatementHandle = kDummyStatement;
    }
    void Detach() {
        this->StatementHandle = nullptr;
        this->Close();
    }
    void Describe(const std::vector<ColumnType>& columns) {
        this->ResultColumnCount = static_cast<SQLSMALLINT>(columns.size());
        this->ColumnInfo = std::make_unique<ColumnInfoEntry[]>(columns.size());
        size_t i = 0;
        for (const ColumnType& c : columns) {
            this->ColumnInfo[i].SqlType = c.sqlType;
            this->ColumnInfo[i].Precision = c.precision;
            this->ColumnInfo[i].Scale = c.scale;
            ++i;
        }
    }
    SQLLEN& Indicator(size_t i) { return this->ColumnRecords[i].Indicator; }
    std::vector<uint8_t> Statuses() const {
        return std::vector<uint8_t>(this->ColumnStatus.get(), this->ColumnStatus.get() + this->FieldCount);
    }
    void SetStatuses(std::initializer_list<uint8_t> statuses) {
        size_t i = 0;
        for (uint8_t s : statuses) this->ColumnStatus[i++] = s;
    }
};

// One text column with a chosen maximum length.
class OneText : public CRecordset {
public:
    OneText(CDatabase* db, uint32_t maxLength) : CRecordset(db), maxLength_(maxLength) { FieldCount = 1; }
    void ExchangeFields(CFieldXfer& xfer) override {
        xfer.fieldKind = kOutputColumns;
        XferText(xfer, "C", text, maxLength_);
    }
    CText text;

private:
    uint32_t maxLength_;
};

// A listing that forgets to say that its fields are output columns.
class NoFieldKind : public CRecordset {
public:
    explicit NoFieldKind(CDatabase* db) : CRecordset(db) { FieldCount = 2; }
    void ExchangeFields(CFieldXfer& xfer) override {
        XferLong(xfer, "A", a);
        XferText(xfer, "B", b);
    }
    int32_t a = 0;
    CText b;
};

std::vector<std::string> ArgumentsOf(const std::string& function) {
    std::vector<std::string> out;
    for (const fake_odbc::Call& call : fake_odbc::CallsTo(function)) out.push_back(call.arguments);
    return out;
}

// The return code of the CDBException that `action` throws, or nullopt.
std::optional<SQLRETURN> ThrownCode(const std::function<void()>& action) {
    try {
        action();
    } catch (CDBException* e) {
        const SQLRETURN code = e->ReturnCode;
        e->Delete();
        return code;
    }
    return std::nullopt;
}

// TestRecord's columns as a driver might describe them: ID, NAME, SMALL.
const std::vector<ColumnType> kTestColumns = {{SQL_INTEGER, 10, 0}, {SQL_VARCHAR, 40, 0}, {SQL_SMALLINT, 5, 0}};

struct BufferCase {
    uint32_t maxLength;
    std::optional<ColumnType> column;  // nullopt: no description at all
    SQLLEN expectedLength;
};

TEST_F(FieldXfer, TextBufferLengthFollowsDisplayLengthBetween256AndMaximum) {
    const BufferCase cases[] = {
        {255, ColumnType{SQL_VARCHAR, 40, 0}, 256},
        {255, ColumnType{SQL_VARCHAR, 300, 0}, 256},
        {255, ColumnType{SQL_DOUBLE, 15, 0}, 256},
        {1000, ColumnType{SQL_VARCHAR, 40, 0}, 1001},
        {1000, ColumnType{SQL_VARCHAR, 255, 0}, 1001},
        {1000, ColumnType{SQL_VARCHAR, 256, 0}, 257},
        {1000, ColumnType{SQL_VARCHAR, 300, 0}, 301},
        {1000, ColumnType{SQL_CHAR, 1000, 0}, 1001},
        {1000, ColumnType{SQL_LONGVARCHAR, 1001, 0}, 1001},
        // Numbers display with sign and point, integers with a sign.
        {1000, ColumnType{SQL_DECIMAL, 254, 2}, 257},
        {1000, ColumnType{SQL_NUMERIC, 253, 0}, 1001},
        {1000, ColumnType{SQL_INTEGER, 255, 0}, 257},
        {1000, ColumnType{SQL_SMALLINT, 299, 0}, 301},
        {1000, ColumnType{SQL_TINYINT, 254, 0}, 1001},
        {1000, ColumnType{SQL_BIGINT, 400, 0}, 402},
        // Every other type gets ten more.
        {1000, ColumnType{SQL_DOUBLE, 15, 0}, 1001},
        {1000, ColumnType{SQL_DOUBLE, 246, 0}, 257},
        {1000, ColumnType{SQL_WVARCHAR, 300, 0}, 311},
        {1000, std::nullopt, 1001},
    };
    for (const BufferCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "maxLength " << c.maxLength << " type " << (c.column ? c.column->sqlType : 0)
                                        << " precision " << (c.column ? c.column->precision : 0));
        fake_odbc::Reset();
        Detached<OneText> rs(c.maxLength);
        if (c.column) rs.Describe({*c.column});
        EXPECT_EQ(rs.RunPass(OpBindColumns), 1u);
        EXPECT_EQ(ArgumentsOf("SQLBindCol"),
                  std::vector<std::string>{"1," + std::to_string(SQL_C_CHAR) + "," + std::to_string(c.expectedLength)});
        // The driver may write bufferLength bytes: the storage must hold them.
        EXPECT_GE(static_cast<SQLLEN>(rs.text.Capacity()) + 1, c.expectedLength);
    }
}

TEST_F(FieldXfer, BindColumnsBindsIntegersAsLongAndPinsTextStorage) {
    Detached<TestRecord> rs;
    rs.Describe(kTestColumns);
    rs.BindColumns();

    EXPECT_EQ(rs.BoundColumnCount, 3);
    EXPECT_EQ(ArgumentsOf("SQLBindCol"), (std::vector<std::string>{"1,4,4", "2,1,256", "3,4,4"}));
    EXPECT_EQ(rs.ColumnNumberOf(&rs.id), 1);
    EXPECT_EQ(rs.ColumnNumberOf(&rs.name), 2);
    EXPECT_EQ(rs.ColumnNumberOf(&rs.small), 3);

    // The driver keeps the bound address: a long value is cut, never moved.
    const char* bound = rs.name.c_str();
    const std::string longValue(600, 'x');
    rs.name = longValue.c_str();
    EXPECT_EQ(rs.name.c_str(), bound);
    EXPECT_GT(rs.name.Length(), 0u);
    EXPECT_LT(rs.name.Length(), longValue.size());
}

TEST_F(FieldXfer, ListingWithoutFieldKindBindsNoColumn) {
    Detached<NoFieldKind> rs;
    EXPECT_EQ(rs.RunPass(OpBindColumns), 0u);
    EXPECT_EQ(fake_odbc::CountCalls("SQLBindCol"), 0);
    EXPECT_FALSE(rs.b.IsPinned());
}

// Close forgets the bindings; the next open binds the same member again and
// may ask for more bytes than the first description did.
TEST_F(FieldXfer, RebindingAfterReopenNeverPromisesMoreBytesThanTheStorageHolds) {
    Detached<OneText> rs(1000);
    rs.Describe({{SQL_VARCHAR, 300, 0}});
    rs.BindColumns();

    rs.Detach();
    rs.Attach();
    rs.Describe({{SQL_VARCHAR, 40, 0}});
    rs.BindColumns();

    ASSERT_EQ(ArgumentsOf("SQLBindCol"), (std::vector<std::string>{"1,1,301", "1,1,1001"}));
    EXPECT_GE(rs.text.Capacity() + 1, 1001u) << "SQLBindCol was told the buffer holds more than it does";
}

TEST_F(FieldXfer, FixUpMarksNullColumnsAndTakesTextLengthFromTerminator) {
    Detached<TestRecord> rs;
    rs.Describe(kTestColumns);
    rs.BindColumns();

    // A row with values; the driver reports the text's full length, longer
    // than what it wrote.
    rs.id = 12;
    rs.Indicator(0) = 4;
    std::strcpy(rs.name.Buffer(), "ab  ");
    rs.Indicator(1) = 40;
    rs.small = 3;
    rs.Indicator(2) = 4;
    rs.RunPass(OpFixUpFetched);
    EXPECT_EQ(rs.Statuses(), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_STREQ(rs.name.c_str(), "ab  ");
    EXPECT_EQ(rs.name.Length(), 4u);
    EXPECT_EQ(rs.Indicator(1), 4);
    EXPECT_EQ(rs.id, 12);
    EXPECT_EQ(rs.small, 3);

    // A row of nulls: the driver writes only the indicators.
    rs.SetStatuses({0, 0, 0});
    rs.Indicator(0) = rs.Indicator(1) = rs.Indicator(2) = SQL_NULL_DATA;
    rs.RunPass(OpFixUpFetched);
    EXPECT_EQ(rs.Statuses(), (std::vector<uint8_t>{FieldNull, FieldNull, FieldNull}));
    EXPECT_STREQ(rs.name.c_str(), "");
    EXPECT_EQ(rs.name.Length(), 0u);
    EXPECT_EQ(rs.id, kLongNullMarker);
    EXPECT_EQ(rs.id, 1246576928);
    EXPECT_EQ(rs.small, kIntNullMarker);
    EXPECT_EQ(rs.small, 32484);
    EXPECT_EQ(rs.Indicator(1), SQL_NULL_DATA);
}

TEST_F(FieldXfer, QuickTextFixUpMatchesTheGenericPass) {
    struct Case {
        const char* what;
        uint32_t fieldCount;
        // Per column: what the driver wrote (nullptr: NULL) and its indicator.
        std::vector<std::pair<const char*, SQLLEN>> fetched;
    };
    const std::string longest(255, 'x');
    const Case cases[] = {
        {"values, blanks kept, a driver's length past the terminator ignored", 3, {{"a", 1}, {"b  ", 40}, {"", 0}}},
        {"a driver's length short of the terminator ignored", 3, {{"abc", 1}, {"b", -4}, {"xy", 2}}},
        {"nulls beside values", 3, {{nullptr, SQL_NULL_DATA}, {"v", 1}, {nullptr, SQL_NULL_DATA}}},
        {"the longest value", 3, {{longest.c_str(), 255}, {"", 0}, {"z", 1}}},
        {"fewer fields than names", 2, {{"p", 1}, {nullptr, SQL_NULL_DATA}}},
    };
    const CText names[CMyRec::kValueCount] = {CText("a"), CText("b"), CText("c")};
    // Where the driver's lengths are the texts' own (PostgreSQL, SQLite), a
    // length is taken as given where the terminator stands there, else found.
    for (const bool reported : {false, true})
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (reported ? ", lengths reported" : ""));
        CDatabase database;
        database.TextLengthsReported = reported;
        Detached<CMyRec> quick, generic;
        for (CMyRec* rs : {static_cast<CMyRec*>(&quick), static_cast<CMyRec*>(&generic)}) {
            rs->FieldCount = c.fieldCount;
            rs->FieldNameList = names;
            rs->Database = &database;
        }
        quick.Attach();
        generic.Attach();
        for (auto* rs : {&quick, &generic}) {
            rs->Describe({{SQL_VARCHAR, 40, 0}, {SQL_VARCHAR, 40, 0}, {SQL_VARCHAR, 40, 0}});
            rs->BindColumns();
            for (size_t i = 0; i < c.fetched.size(); ++i) {
                // A NULL leaves the storage as the previous row left it.
                std::strcpy(rs->Values[i].Buffer(), "stale");
                rs->Values[i].SyncLength();
                if (c.fetched[i].first) std::strcpy(rs->Values[i].Buffer(), c.fetched[i].first);
                rs->Indicator(i) = c.fetched[i].second;
            }
        }
        quick.FixUpFetchedRow();
        generic.RunPass(OpFixUpFetched);
        EXPECT_EQ(quick.Statuses(), generic.Statuses());
        for (size_t i = 0; i < c.fetched.size(); ++i) {
            EXPECT_STREQ(quick.Values[i].c_str(), generic.Values[i].c_str()) << i;
            EXPECT_EQ(quick.Values[i].Length(), generic.Values[i].Length()) << i;
            EXPECT_EQ(quick.Indicator(i), generic.Indicator(i)) << i;
            EXPECT_STREQ(quick.Values[i].c_str(), c.fetched[i].first ? c.fetched[i].first : "") << i;
            EXPECT_EQ(quick.Values[i].Length(), std::strlen(quick.Values[i].c_str())) << i;
            EXPECT_EQ(quick.Statuses()[i], c.fetched[i].first ? 0 : FieldNull) << i;
        }
    }
}

struct ChangeCase {
    const char* what;
    const char* savedName;  // nullptr: NAME null when saved
    std::optional<int32_t> savedSmall;
    const char* newName;
    int32_t newSmall;
    bool nameChanged;
    bool nameNull;
    bool smallChanged;
    bool smallNull;
};

TEST_F(FieldXfer, DetectChangesComparesMembersWithSavedCopies) {
    const ChangeCase cases[] = {
        {"same bytes", "abc", 7, "abc", 7, false, false, false, false},
        {"new values", "abc", 7, "abd", 8, true, false, true, false},
        {"letter case", "abc", 7, "ABC", 7, true, false, false, false},
        {"trailing blank", "abc", 7, "abc ", 7, true, false, false, false},
        {"emptied text becomes null", "abc", 7, "", 7, true, true, false, false},
        {"integer set to its marker", "abc", 7, "abc", kIntNullMarker, false, false, true, false},
        {"null stays null", nullptr, std::nullopt, "", kIntNullMarker, false, true, false, true},
        {"null gets values", nullptr, std::nullopt, "x", 0, true, false, true, false},
    };
    for (const ChangeCase& c : cases) {
        SCOPED_TRACE(c.what);
        Detached<TestRecord> rs;
        rs.Describe(kTestColumns);
        rs.BindColumns();
        rs.id = 5;
        if (c.savedName != nullptr) {
            rs.name = c.savedName;
        } else {
            rs.SetFieldNull(&rs.name, true);
        }
        if (c.savedSmall) {
            rs.small = *c.savedSmall;
        } else {
            rs.SetFieldNull(&rs.small, true);
        }
        rs.RunPass(OpSaveCopies);

        rs.name = c.newName;
        rs.small = c.newSmall;
        rs.EditMode = Editing;
        EXPECT_EQ(rs.IsFieldChanged(&rs.name), c.nameChanged);
        EXPECT_EQ(rs.IsFieldChanged(&rs.small), c.smallChanged);
        EXPECT_FALSE(rs.IsFieldChanged(&rs.id));
        EXPECT_EQ(rs.IsFieldChanged(nullptr), c.nameChanged || c.smallChanged);
        const std::vector<uint8_t> statuses = rs.Statuses();
        EXPECT_EQ((statuses[1] & FieldNull) != 0, c.nameNull);
        EXPECT_EQ((statuses[2] & FieldNull) != 0, c.smallNull);
    }
}

TEST_F(FieldXfer, RestoreCopiesPutsSavedValuesAndNullsBack) {
    for (bool nameWasNull : {false, true}) {
        SCOPED_TRACE(nameWasNull ? "NAME null when saved" : "SMALL null when saved");
        Detached<TestRecord> rs;
        rs.Describe(kTestColumns);
        rs.BindColumns();
        rs.id = 5;
        rs.name = "abc ";
        rs.small = 3;
        rs.SetFieldNull(nameWasNull ? static_cast<const void*>(&rs.name) : &rs.small, true);
        rs.RunPass(OpSaveCopies);

        rs.id = 6;
        rs.name = "zzz";
        rs.small = 9;
        rs.SetFieldNull(nullptr, false);
        rs.SetFieldChanged(nullptr, true);
        rs.Indicator(0) = rs.Indicator(1) = rs.Indicator(2) = 77;
        rs.RunRestoreCopiesPass();

        EXPECT_EQ(rs.id, 5);
        EXPECT_EQ(rs.Indicator(0), 4);
        if (nameWasNull) {
            EXPECT_EQ(rs.Statuses(), (std::vector<uint8_t>{0, FieldNull, 0}));
            EXPECT_STREQ(rs.name.c_str(), "");
            EXPECT_EQ(rs.Indicator(1), SQL_NULL_DATA);
            EXPECT_EQ(rs.small, 3);
            EXPECT_EQ(rs.Indicator(2), 4);
        } else {
            EXPECT_EQ(rs.Statuses(), (std::vector<uint8_t>{0, 0, FieldNull}));
            EXPECT_STREQ(rs.name.c_str(), "abc ");
            EXPECT_EQ(rs.Indicator(1), 4);
            EXPECT_EQ(rs.small, kIntNullMarker);
            EXPECT_EQ(rs.Indicator(2), SQL_NULL_DATA);
        }
    }
}

TEST_F(FieldXfer, AppendPassesListChangedColumnsAndBindTheirMarkers) {
    const SQLHSTMT update = reinterpret_cast<SQLHSTMT>(0x7);
    Detached<TestRecord> rs;
    // Distinct types, sizes and digits, so that the parameters show where theirs came from.
    rs.Describe({{SQL_BIGINT, 19, 0}, {SQL_VARCHAR, 40, 0}, {SQL_DECIMAL, 7, 2}});
    rs.BindColumns();
    rs.id = 42;
    rs.name = "abc";
    rs.small = 9;

    {
        SCOPED_TRACE("names");
        fake_odbc::Reset();
        rs.SetStatuses({0, FieldChanged, FieldChanged});
        CText sql = "INSERT INTO T (";
        EXPECT_EQ(rs.RunAppendPass(OpAppendNames, sql, ","), 3u);
        EXPECT_STREQ(sql.c_str(), "INSERT INTO T (NAME,SMALL,");
        EXPECT_EQ(fake_odbc::CountCalls("SQLBindParameter"), 0);
    }
    {
        SCOPED_TRACE("assignments");
        fake_odbc::Reset();
        rs.SetStatuses({FieldChanged, 0, FieldChanged | FieldNull});
        CText sql = "SET ";
        rs.RunAppendPass(OpAppendAssignments, sql, ",", update);
        EXPECT_STREQ(sql.c_str(), "SET ID=?,SMALL=?,");
        EXPECT_EQ(ArgumentsOf("SQLBindParameter"), (std::vector<std::string>{"1,1,4,-5,19,0,4", "2,1,4,3,7,2,-1"}));
    }
    {
        SCOPED_TRACE("values");
        fake_odbc::Reset();
        rs.SetStatuses({0, FieldChanged, FieldChanged});
        CText sql;
        rs.RunAppendPass(OpAppendValues, sql, ",", update);
        EXPECT_STREQ(sql.c_str(), "?,?,");
        EXPECT_EQ(ArgumentsOf("SQLBindParameter"), (std::vector<std::string>{"1,1,1,12,40,0,3", "2,1,4,3,7,2,4"}));
    }
    {
        SCOPED_TRACE("repeated add");
        fake_odbc::Reset();
        rs.Options |= OptRepeatAdd;
        rs.SetStatuses({0, FieldChanged, FieldChanged | FieldNull});
        rs.Indicator(0) = rs.Indicator(1) = rs.Indicator(2) = 55;
        CText sql;
        rs.RunAppendPass(OpAppendValues, sql, ",", update);
        EXPECT_STREQ(sql.c_str(), "");
        EXPECT_EQ(fake_odbc::CountCalls("SQLBindParameter"), 0);
        EXPECT_EQ(rs.Indicator(0), 55);
        EXPECT_EQ(rs.Indicator(1), 3);
        EXPECT_EQ(rs.Indicator(2), SQL_NULL_DATA);
    }
}

TEST_F(FieldXfer, ParameterBindingWarningThrowsColumnBindingWarningDoesNot) {
    Detached<TestRecord> rs;
    rs.Describe(kTestColumns);
    fake_odbc::QueueReturn("SQLBindCol", SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(ThrownCode([&] { rs.BindColumns(); }), std::nullopt);
    EXPECT_EQ(rs.BoundColumnCount, 3);

    rs.name = "abc";
    rs.SetStatuses({0, FieldChanged, 0});
    fake_odbc::QueueReturn("SQLBindParameter", SQL_SUCCESS_WITH_INFO);
    CText sql;
    EXPECT_EQ(ThrownCode([&] { rs.RunAppendPass(OpAppendValues, sql, ",", kDummyStatement); }),
              std::optional<SQLRETURN>(SQL_SUCCESS_WITH_INFO));

    Detached<TestRecord> failing;
    fake_odbc::QueueReturn("SQLBindCol", SQL_ERROR);
    EXPECT_EQ(ThrownCode([&] { failing.BindColumns(); }), std::optional<SQLRETURN>(SQL_ERROR));
}

TEST_F(FieldXfer, SetPosIndicatorsIgnoreUnchangedColumnsAndRestoreThemAfterwards) {
    Detached<TestRecord> rs;
    rs.Describe(kTestColumns);
    rs.BindColumns();
    rs.id = 1;
    rs.name = "abcd";
    rs.SetStatuses({0, FieldChanged, FieldChanged | FieldNull});
    rs.Indicator(0) = 4;
    rs.Indicator(1) = 99;
    rs.Indicator(2) = SQL_NULL_DATA;

    rs.RunPass(OpPrepareSetPos);
    EXPECT_EQ(rs.Indicator(0), SQL_IGNORE);
    EXPECT_EQ(rs.Indicator(1), 4);
    EXPECT_EQ(rs.Indicator(2), SQL_NULL_DATA);

    rs.Indicator(1) = 77;  // whatever the driver left in a changed column stays
    rs.RunPass(OpFinishSetPos);
    EXPECT_EQ(rs.Indicator(0), 4);
    EXPECT_EQ(rs.Indicator(1), 77);
    EXPECT_EQ(rs.Indicator(2), SQL_NULL_DATA);
}

TEST_F(FieldXfer, SetFieldNullAndSetFieldChangedReachOnlyTheirTarget) {
    Detached<TestRecord> rs;
    rs.Describe(kTestColumns);
    rs.BindColumns();
    rs.id = 5;
    rs.name = "abc";
    rs.small = 3;
    rs.Indicator(0) = 4;
    rs.Indicator(1) = 3;
    rs.Indicator(2) = 4;

    rs.SetFieldNull(&rs.name, true);
    EXPECT_EQ(rs.Statuses(), (std::vector<uint8_t>{0, FieldNull, 0}));
    EXPECT_STREQ(rs.name.c_str(), "");
    EXPECT_EQ(rs.Indicator(0), 4);
    EXPECT_EQ(rs.Indicator(1), SQL_NULL_DATA);
    EXPECT_EQ(rs.Indicator(2), 4);
    EXPECT_EQ(rs.id, 5);
    EXPECT_EQ(rs.small, 3);

    rs.SetFieldNull(nullptr, true);
    EXPECT_EQ(rs.Statuses(), (std::vector<uint8_t>{FieldNull, FieldNull, FieldNull}));
    EXPECT_EQ(rs.id, kLongNullMarker);
    EXPECT_EQ(rs.small, kIntNullMarker);
    EXPECT_EQ(rs.Indicator(0), SQL_NULL_DATA);
    EXPECT_EQ(rs.Indicator(2), SQL_NULL_DATA);

    rs.SetFieldNull(nullptr, false);
    EXPECT_EQ(rs.Statuses(), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(rs.Indicator(0), 4);
    EXPECT_EQ(rs.Indicator(1), SQL_NTS);
    EXPECT_EQ(rs.Indicator(2), 4);

    rs.SetFieldChanged(&rs.small, true);
    EXPECT_EQ(rs.Statuses(), (std::vector<uint8_t>{0, 0, FieldChanged}));
    // Outside an edit nothing counts as changed, whatever the bits say.
    EXPECT_FALSE(rs.IsFieldChanged(&rs.small));
    EXPECT_FALSE(rs.IsFieldChanged(nullptr));
    rs.SetFieldChanged(nullptr, true);
    rs.SetFieldChanged(&rs.id, false);
    EXPECT_EQ(rs.Statuses(), (std::vector<uint8_t>{0, FieldChanged, FieldChanged}));
    rs.SetFieldChanged(nullptr, false);
    EXPECT_EQ(rs.Statuses(), (std::vector<uint8_t>{0, 0, 0}));
}

}  // namespace
