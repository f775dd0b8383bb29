#include "platform/connect_string.h"

#include <gtest/gtest.h>

using namespace vordex::platform;

namespace {

TEST(ConnectString, NamesADataSource) {
    struct Case {
        const char* connect;
        bool names;
    };
    const Case cases[] = {
        {"DSN=Sales", true},         {"dsn=Sales;UID=a", true},   {"UID=a;Driver={PostgreSQL}", true},
        {"FILEDSN=/x.dsn", true},    {"DSN=", false},             {"DSN=;UID=a", false},
        {"", false},                 {nullptr, false},            {";DSN=", false},
        {"DRIVER={}", false},        {"UID=a;PWD={x;DSN=y}", false}, {" DSN =S", true},
        {"PWD=}x;DSN=S", true},  // a stray "}" opens nothing
    };
    for (const Case& c : cases) EXPECT_EQ(NamesDataSource(c.connect), c.names) << (c.connect ? c.connect : "null");
}

TEST(ConnectString, EmptyDataSourceItemsAreDroppedAndOtherStringsKeptAsGiven) {
    struct Case {
        const char* connect;
        const char* expected;
    };
    const Case cases[] = {
        {"DSN=", ""},
        {";DSN=", ""},
        {"UID=a;DSN=;PWD={p;q}", "UID=a;PWD={p;q}"},
        {";DSN=S", ";DSN=S"},
        {"UID=a;", "UID=a;"},
        {"UID=}a;DSN=;PWD=p", "UID=}a;PWD=p"},
        {"", ""},
        {nullptr, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WithoutEmptyDataSource(c.connect), c.expected) << (c.connect ? c.connect : "null");
    }
    EXPECT_EQ(MergeConnectStrings("DSN=S", "UID=a"), "DSN=S;UID=a");
    // Values as a driver reads them.
    const std::pair<const char*, const char*> braced[] = {
        {"{127.0.0.1}", "127.0.0.1"}, {"{a}}b}", "a}b"}, {"{}", ""}, {"{x", "{x"}, {"x}", "x}"}, {"5432", "5432"}};
    for (const auto& [value, read] : braced) EXPECT_EQ(UnbracedValue(value), read) << value;
    EXPECT_EQ(MergeConnectStrings("DSN=S", ""), "DSN=S");
}

}  // namespace
