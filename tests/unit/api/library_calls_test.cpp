#include "api/library_state.h"
#include "fake_odbc_fixture.h"
#include "vordex.h"

using namespace vordex;
using namespace vordex::api;

namespace {

// A result set standing in for the open record: it records its closing.
class RecordedRecordset : public CMyRec {
public:
    RecordedRecordset(CDatabase* db, std::vector<std::string>* log) : CMyRec(db), log_(log) {}
    ~RecordedRecordset() override { log_->push_back("record deleted"); }
    void Close() override {
        log_->push_back("record closed");
        CMyRec::Close();
    }

private:
    std::vector<std::string>* log_;
};

using LibraryCalls = FakeOdbcTest;

TEST_F(LibraryCalls, StateCallsFromEveryState) {
    EXPECT_EQ(VORDEX_GetVersion(), 0x20070);
    EXPECT_EQ(VORDEX_IsOpen(), 0);
    VORDEX_Close();  // nothing to close
    EXPECT_EQ(VORDEX_IsOpen(), 0);

    // An unconnected connection object counts as open for the host.
    activeDatabase = std::make_unique<CDatabase>();
    EXPECT_EQ(VORDEX_IsOpen(), 1);
    VORDEX_Close();
    EXPECT_EQ(VORDEX_IsOpen(), 0);
    EXPECT_TRUE(fake_odbc::Calls().empty());

    // Connected, with a record open: the record closes first, then the connection.
    activeDatabase = std::make_unique<CDatabase>();
    ASSERT_TRUE(activeDatabase->Open(nullptr, false, false, "ODBC;DSN=S", false));
    std::vector<std::string> log;
    fake_odbc::SetResult({{"ID"}}, {});  // the statement has a result: the record is open
    activeRecord = std::make_unique<RecordedRecordset>(activeDatabase.get(), &log);
    ASSERT_EQ(activeDatabase->OpenRecordsets.size(), 1u);
    tableNames[0] = "Orders";
    tableCount = 1;
    VORDEX_Close();
    EXPECT_EQ(log, (std::vector<std::string>{"record closed", "record deleted"}));
    EXPECT_EQ(activeRecord, nullptr);
    EXPECT_EQ(activeDatabase, nullptr);
    EXPECT_EQ(fake_odbc::CountCalls("SQLDisconnect"), 1);
    EXPECT_EQ(fake_odbc::LiveStatements(), 0);
    EXPECT_EQ(fake_odbc::LiveConnections(), 0);
    EXPECT_EQ(fake_odbc::LiveEnvironments(), 0);
    EXPECT_EQ(VORDEX_GetVersion(), 0x20070);
    // The lists outlive the connection.
    EXPECT_STREQ(tableNames[0].c_str(), "Orders");
    VORDEX_Close();
    EXPECT_EQ(VORDEX_IsOpen(), 0);
}

TEST(LibraryState, ListIndexRule) {
    struct Case {
        int index;
        int32_t count;
        bool valid;
    };
    const Case cases[] = {{0, 1, true}, {-1, 5, false}, {5, 5, false}, {31, 40, true}, {32, 40, false},
                          {0, 0, false}, {31, 512, true}, {600, 512, false}};
    for (const Case& c : cases) EXPECT_EQ(IsListIndex(c.index, c.count), c.valid) << c.index << "/" << c.count;
}

}  // namespace
