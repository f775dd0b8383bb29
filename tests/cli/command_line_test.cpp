// Command-line parsing of the command-line host and the command table's checks.
#include "command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "cli_errors.h"
#include "commands.h"

namespace vordex::cli {
namespace {

using Words = std::vector<std::string>;

Invocation Parse(const Words& words) {
    std::vector<const char*> argv = {"vordex"};
    for (const std::string& word : words) argv.push_back(word.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

std::string Joined(const Words& words) {
    std::string text;
    for (const std::string& word : words) text += "[" + word + "]";
    return text;
}

TEST(ParseCommandLine, SeparatesOptionsFromWordsWhereverTheyStand) {
    constexpr std::nullopt_t none = std::nullopt;
    const struct {
        Words words;
        std::string command;
        Words arguments;
        std::optional<std::string> library;
        std::optional<std::string> connect;
        std::optional<OutputFormat> format;
        bool help;
    } cases[] = {
        {{}, "", {}, none, none, none, false},
        {{"tables"}, "tables", {}, none, none, none, false},
        {{"rows", "items", "--format", "csv"}, "rows", {"items"}, none, none, OutputFormat::Csv, false},
        {{"--format=raw", "rows", "items"}, "rows", {"items"}, none, none, OutputFormat::Raw, false},
        {{"rows", "items", "--format=json"}, "rows", {"items"}, none, none, OutputFormat::Json, false},
        {{"get", "t", "0", "--format", "ndjson"}, "get", {"t", "0"}, none, none, OutputFormat::Ndjson, false},
        {{"get", "items", "3", "name"}, "get", {"items", "3", "name"}, none, none, none, false},
        {{"--connect", "DSN=Sales", "tables"}, "tables", {}, none, "DSN=Sales", none, false},
        // The connect string keeps its own '=' and ';'.
        {{"--connect=DRIVER={X};Database=a=b", "tables"}, "tables", {}, none, "DRIVER={X};Database=a=b", none, false},
        {{"--library", "/opt/libvordex.so", "columns", "t"}, "columns", {"t"}, "/opt/libvordex.so", none, none, false},
        {{"columns", "--library=libvordex.so.2", "t"}, "columns", {"t"}, "libvordex.so.2", none, none, false},
        // The later of two equal options wins.
        {{"--format", "csv", "rows", "t", "--format", "tsv"}, "rows", {"t"}, none, none, OutputFormat::Tsv, false},
        {{"--help"}, "", {}, none, none, none, true},
        {{"rows", "-h"}, "rows", {}, none, none, none, true},
        // "--" ends the options: what follows is taken as it is.
        {{"columns", "--", "-odd-table"}, "columns", {"-odd-table"}, none, none, none, false},
        {{"--", "get", "t", "--format", "--"}, "get", {"t", "--format", "--"}, none, none, none, false},
        // A lone "-" is a word, and an option's value may start with '-'.
        {{"columns", "-"}, "columns", {"-"}, none, none, none, false},
        {{"--connect", "-x", "tables"}, "tables", {}, none, "-x", none, false},
        {{"get", "t", "0", ""}, "get", {"t", "0", ""}, none, none, none, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        const Invocation invocation = Parse(c.words);
        EXPECT_EQ(invocation.command, c.command);
        EXPECT_EQ(invocation.arguments, c.arguments);
        EXPECT_EQ(invocation.libraryPath, c.library);
        EXPECT_EQ(invocation.connectString, c.connect);
        EXPECT_EQ(invocation.format, c.format);
        EXPECT_EQ(invocation.helpRequested, c.help);
    }
}

TEST(ParseCommandLine, RejectsUnknownOptionsAndMissingOrBadValues) {
    const struct {
        Words words;
        std::string reason;  // the message must contain this
    } cases[] = {
        {{"--verbose", "tables"}, "unknown option '--verbose'"},
        {{"-v", "tables"}, "unknown option '-v'"},
        {{"get", "t", "-x"}, "unknown option '-x'"},
        {{"--help=yes"}, "unknown option '--help=yes'"},
        {{"--Format=csv", "rows", "t"}, "unknown option '--Format=csv'"},
        {{"rows", "t", "--format"}, "option --format needs a value"},
        {{"tables", "--connect"}, "option --connect needs a value"},
        {{"tables", "--library"}, "option --library needs a value"},
        {{"--connect=", "tables"}, "option --connect needs a non-empty value"},
        {{"--library", "", "tables"}, "option --library needs a non-empty value"},
        {{"--format=", "rows", "t"}, "option --format needs a non-empty value"},
        {{"rows", "t", "--format", "xml"}, "unknown format 'xml' (use tsv, csv, raw, json or ndjson)"},
        {{"rows", "t", "--format", "JSON"}, "unknown format 'JSON'"},
        {{"rows", "t", "--format=CSV"}, "unknown format 'CSV'"},
        {{"get", "t", "--where", "id"}, "--where wants COLUMN=VALUE, not 'id'"},
        {{"get", "t", "--where", "=1"}, "--where wants COLUMN=VALUE, not '=1'"},
        {{"get", "t", "--where", "id="}, "--where id= has no VALUE; to match NULL say --where-null id"},
        {{"set", "t", "f", "v", "--row", "-1"}, "ROW must be a row number from 0 (the first row) to 2147483647"},
        {{"set", "t", "f", "v", "--row=2147483648"}, "ROW must be a row number from 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        try {
            Parse(c.words);
            ADD_FAILURE() << "no usage error";
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
}

TEST(ParseIndex, AcceptsPlainDecimalNumbersThatFitAnInt) {
    const struct {
        std::string text;
        std::optional<int> expected;
    } cases[] = {
        {"0", 0},
        {"7", 7},
        {"007", 7},
        {"2147483647", INT_MAX},
        {"2147483648", std::nullopt},
        {"99999999999", std::nullopt},
        {"00000000001", std::nullopt},  // eleven digits, even with leading zeros
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"1e3", std::nullopt},
        {"0x10", std::nullopt},
        {"one", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseIndex(c.text), c.expected) << "'" << c.text << "'";
}

TEST(FindCommand, ChecksTheNumberOfArguments) {
    const struct {
        Words words;
        bool accepted;
    } cases[] = {
        {{"tables"}, true},        {{"tables", "x"}, false},       {{"columns"}, false},
        {{"columns", "t"}, true},  {{"columns", "t", "u"}, false}, {{"rows"}, false},
        {{"rows", "t"}, true},     {{"rows", "t", "u"}, false},    {{"get"}, false},
        {{"get", "t", "0"}, true}, {{"get", "t", "0", "f"}, true}, {{"get", "t", "0", "f", "v"}, false},
        {{"help"}, true},          {{"help", "rows"}, true},       {{"help", "rows", "get"}, false},
        {{"set", "t", "f"}, true}, {{"set", "t"}, false},          {{"set", "t", "0", "f", "v", "w"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        const Invocation invocation = Parse(c.words);
        if (c.accepted) {
            EXPECT_EQ(FindCommand(invocation).name, c.words[0]);
        } else {
            try {
                FindCommand(invocation);
                ADD_FAILURE() << "no usage error";
            } catch (const UsageError& e) {
                EXPECT_EQ(std::string(e.what()).rfind("usage: vordex " + c.words[0], 0), 0u) << e.what();
            }
        }
    }
}

TEST(FindCommand, RejectsAMissingOrUnknownCommand) {
    const struct {
        Words words;
        std::string message;
    } cases[] = {
        {{}, "no command given (see vordex --help)"},
        {{"--format", "csv"}, "no command given (see vordex --help)"},
        {{"list"}, "unknown command 'list' (see vordex --help)"},
        {{"Tables"}, "unknown command 'Tables' (see vordex --help)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        try {
            FindCommand(Parse(c.words));
            ADD_FAILURE() << "no usage error";
        } catch (const UsageError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

}  // namespace
}  // namespace vordex::cli
