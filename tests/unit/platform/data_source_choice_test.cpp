#include "platform/data_source_choice.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/desktop_dialog.h"

#include "fake_odbc_fixture.h"

using namespace vordex::platform;

namespace {

// Runs the menu with `answer` as the user's input; returns the choice and the screen.
DataSourceChoice Ask(const std::vector<DataSourceEntry>& sources, const std::string& answer, std::string& screen) {
    FILE* in = std::tmpfile();
    FILE* out = std::tmpfile();
    std::fputs(answer.c_str(), in);
    std::rewind(in);
    DataSourceChoice choice = AskFromMenu(sources, in, out);
    std::rewind(out);
    screen.clear();
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) screen.append(buffer, n);
    std::fclose(in);
    std::fclose(out);
    return choice;
}

TEST(DataSourceMenu, ChoosesByNumberAndCancelsOnEmptyAnswer) {
    const std::vector<DataSourceEntry> sources = {{"VordexPg", "PostgreSQL"}, {"VordexSqlite", ""}};
    struct Case {
        const char* answer;
        bool chosen;
        const char* connect;
    };
    const Case cases[] = {
        {"2\n", true, "DSN=VordexSqlite"}, {"1", true, "DSN=VordexPg"}, {"\n", false, ""},
        {"", false, ""},                   {"9\n\n", false, ""},         {"x\n3\n1\n", true, "DSN=VordexPg"},
        {"0\n-1\n7\n1\n", false, ""},
    };
    for (const Case& c : cases) {
        std::string screen;
        DataSourceChoice choice = Ask(sources, c.answer, screen);
        EXPECT_EQ(choice.chosen, c.chosen) << c.answer;
        EXPECT_EQ(choice.connect, c.connect) << c.answer;
        EXPECT_NE(screen.find("1) VordexPg  (PostgreSQL)"), std::string::npos) << screen;
        EXPECT_NE(screen.find("2) VordexSqlite\n"), std::string::npos) << screen;
    }
    std::string screen;
    EXPECT_FALSE(Ask({}, "1\n", screen).chosen);
}

TEST(DataSourceMenu, ListsWhatTheDriverManagerKnows) {
    fake_odbc::Reset();
    fake_odbc::SetDataSources({{"A", "first"}, {"B", "second"}});
    SQLHENV environment = reinterpret_cast<SQLHENV>(0x1);
    auto sources = ListDataSources(environment);
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[0].name, "A");
    EXPECT_EQ(sources[1].description, "second");
    auto calls = fake_odbc::CallsTo("SQLDataSources");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].arguments, std::to_string(SQL_FETCH_FIRST));
    EXPECT_EQ(calls[1].arguments, std::to_string(SQL_FETCH_NEXT));
}

// The list window, played by a zenity that records its arguments and picks
// the first data source: each name beside its description (or its name).
TEST(DataSourceMenu, TheDesktopListShowsEachNameWithItsDescription) {
    char directory[] = "/tmp/vordex-zenity-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    // Removed when the test ends, however it ends.
    const struct RemovedAtEnd {
        std::string path;
        ~RemovedAtEnd() { std::filesystem::remove_all(path); }
    } removed{directory};
    const std::string script = std::string(directory) + "/zenity";
    const std::string recorded = std::string(directory) + "/arguments";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" >" << recorded << "\necho VordexPg\n";
    chmod(script.c_str(), 0755);
    ScopedEnv path("PATH", (std::string(directory) + ":" + std::getenv("PATH")).c_str());
    const auto chosen =
        ChooseInDesktopList("zenity", "VORDEX", "Choose", {{"VordexPg", "PostgreSQL"}, {"VordexSqlite", ""}});
    EXPECT_EQ(chosen.value_or("(none)"), "VordexPg");
    std::stringstream arguments;
    arguments << std::ifstream(recorded).rdbuf();
    EXPECT_NE(arguments.str().find("--column\nData source\n--column\nDescription\nVordexPg\nPostgreSQL\n"
                                   "VordexSqlite\nVordexSqlite\n"),
              std::string::npos)
        << arguments.str();
}

TEST(DataSourceMenu, EnvironmentVariableWinsOverTheMenu) {
    fake_odbc::Reset();
    ScopedEnv connect("VORDEX_CONNECT", "DRIVER={X};Database=d");
    DataSourceChoice choice = ChooseDataSource(reinterpret_cast<SQLHENV>(0x1));
    EXPECT_TRUE(choice.chosen);
    EXPECT_EQ(choice.connect, "DRIVER={X};Database=d");
    EXPECT_EQ(fake_odbc::CountCalls("SQLDataSources"), 0);
}

}  // namespace
