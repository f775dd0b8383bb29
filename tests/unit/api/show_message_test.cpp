#include "api/show_message.h"

#include <stdexcept>

#include "api/guarded_call.h"
#include "fake_odbc_fixture.h"

using namespace vordex;
using namespace vordex::api;

namespace {

constexpr const char* kFixedLine = "VORDEX: ODBCﾄﾞﾗｲﾊﾞで回復できないエラーが発生しました.\n";

std::string Shown(const char* text, const char* alternative) {
    ScopedEnv dialog("VORDEX_DIALOG", "stderr");
    testing::internal::CaptureStderr();
    ShowMessage(text, alternative);
    return testing::internal::GetCapturedStderr();
}

TEST(ShowMessage, ChoosesTextThenAlternativeThenFixedText) {
    struct Case {
        const char* text;
        const char* alternative;
        std::string expected;
    };
    const Case cases[] = {
        {"Table not found\n", "State:42P01\n", "VORDEX: Table not found\n"},
        {"", "State:42P01,Native:7,Origin:[X]\n", "VORDEX: State:42P01,Native:7,Origin:[X]\n"},
        // Plain lines on standard error: CR LF and blank lines are no lines.
        {"first;\nsecond\r\n\r\nthird\r", "alt", "VORDEX: first;\nVORDEX: second\nVORDEX: third\n"},
        // A server's text cannot drive the terminal: other controls (C0, DEL,
        // C1 in UTF-8) are shown escaped; text around them, and a tab, stays.
        {"red\x1b[31m\x07tab\tdel\x7f csi\xc2\x9b" "2J \xc2\xa0東京", "alt",
         "VORDEX: red\\x1B[31m\\x07tab\tdel\\x7F csi\\u009B2J \xc2\xa0東京\n"},
        {nullptr, "alt", "VORDEX: alt\n"},
        {"", "", kFixedLine},
        {nullptr, nullptr, kFixedLine},
    };
    for (const Case& c : cases) EXPECT_EQ(Shown(c.text, c.alternative), c.expected);
}

TEST(ShowMessage, FixedTextInCodePage932) {
    ScopedEnv codePage("VORDEX_CODEPAGE", "932");
    std::string shown = Shown(nullptr, nullptr);
    // "ODBC" then half-width "ﾄﾞﾗｲﾊﾞ" as single bytes, then "で" as 0x82 0xC5.
    EXPECT_EQ(shown.substr(0, 20), "VORDEX: ODBC\xC4\xDE\xD7\xB2\xCA\xDE\x82\xC5");
}

TEST(ShowMessage, NoneBackendShowsNothing) {
    ScopedEnv dialog("VORDEX_DIALOG", "none");
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessage("text", nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// What a guarded call shows and returns, and whether its clean-up ran.
struct GuardOutcome {
    int result;
    bool cleanedUp;
    std::string shown;
};

template <class Body>
GuardOutcome RunGuarded(Body body, bool cleanupThrows = false) {
    ScopedEnv dialog("VORDEX_DIALOG", "stderr");
    GuardOutcome outcome{-1, false, ""};
    testing::internal::CaptureStderr();
    outcome.result = GuardedCall(0, body, [&] {
        outcome.cleanedUp = true;
        if (cleanupThrows) throw std::runtime_error("clean-up failed");
    });
    outcome.shown = testing::internal::GetCapturedStderr();
    return outcome;
}

TEST(GuardedCall, EveryExceptionEndsAsAShownFailure) {
    GuardOutcome ok = RunGuarded([] { return 7; });
    EXPECT_EQ(ok.result, 7);
    EXPECT_FALSE(ok.cleanedUp);
    EXPECT_EQ(ok.shown, "");

    GuardOutcome db = RunGuarded([]() -> int {
        auto* e = new CDBException(SQL_ERROR);
        e->ErrorText = "relation does not exist\n";
        e->StateText = "State:42P01,Native:7,Origin:[X]\n";
        throw e;
    });
    EXPECT_EQ(db.result, 0);
    EXPECT_TRUE(db.cleanedUp);
    EXPECT_EQ(db.shown, "VORDEX: relation does not exist\n");

    GuardOutcome stateOnly = RunGuarded([]() -> int {
        auto* e = new CDBException(SQL_ERROR);
        e->StateText = "State:08S01,Native:0,Origin:\n";
        throw e;
    });
    EXPECT_EQ(stateOnly.shown, "VORDEX: State:08S01,Native:0,Origin:\n");

    GuardOutcome library = RunGuarded([]() -> int { ThrowDBError(1016, nullptr, nullptr); });
    EXPECT_EQ(library.shown, kFixedLine);

    GuardOutcome memory = RunGuarded([]() -> int { ThrowMemoryException(); });
    EXPECT_EQ(memory.result, 0);
    EXPECT_TRUE(memory.cleanedUp);
    EXPECT_EQ(memory.shown, kFixedLine);

    GuardOutcome standard = RunGuarded([]() -> int { throw std::bad_alloc(); });
    EXPECT_EQ(standard.result, 0);
    EXPECT_EQ(standard.shown, kFixedLine);

    GuardOutcome failingCleanup = RunGuarded([]() -> int { throw 42; }, true);
    EXPECT_EQ(failingCleanup.result, 0);
    EXPECT_TRUE(failingCleanup.cleanedUp);
    EXPECT_EQ(failingCleanup.shown, kFixedLine);
}

}  // namespace
