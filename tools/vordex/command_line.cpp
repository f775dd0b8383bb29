#include "command_line.h"

#include <climits>
#include <string_view>

#include "cli_errors.h"

namespace vordex::cli {
namespace {

void AddWord(Invocation& invocation, std::string word) {
    if (invocation.command.empty()) {
        invocation.command = std::move(word);
    } else {
        invocation.arguments.push_back(std::move(word));
    }
}

WhereCondition ParseWhere(const std::string& text) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError("--where wants COLUMN=VALUE, not '" + text + "'");
    }
    if (equals + 1 == text.size()) {
        throw UsageError("--where " + text + " has no VALUE; to match NULL say --where-null " + text.substr(0, equals));
    }
    return {text.substr(0, equals), text.substr(equals + 1)};
}

void SetOption(Invocation& invocation, std::string_view name, const std::string& value) {
    if (value.empty()) throw UsageError("option --" + std::string(name) + " needs a non-empty value");
    if (name == "library") {
        invocation.libraryPath = value;
    } else if (name == "connect") {
        invocation.connectString = value;
    } else if (name == "where") {
        invocation.where.push_back(ParseWhere(value));
    } else if (name == "where-null") {
        invocation.where.push_back({value, std::nullopt});
    } else if (name == "row") {
        invocation.row = ParseRow(value);
    } else {
        invocation.format = ParseOutputFormat(value);
        if (!invocation.format) throw UsageError("unknown format '" + value + "' (use tsv, csv, raw, json or ndjson)");
    }
}

bool TakesValue(std::string_view name) {
    return name == "library" || name == "connect" || name == "format" || name == "where" || name == "where-null" ||
           name == "row";
}

// "-1" is a (wrong) number, not an option: its command says what it must be.
bool IsNegativeNumber(const std::string& word) {
    return word.size() > 1 && word[0] == '-' && word[1] >= '0' && word[1] <= '9';
}

}  // namespace

Invocation ParseCommandLine(int argc, const char* const* argv) {
    Invocation invocation;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (optionsEnded || word == "-" || word.empty() || word[0] != '-' || IsNegativeNumber(word)) {
            AddWord(invocation, word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
        } else if (word == "-h" || word == "--help") {
            invocation.helpRequested = true;
        } else if (word == "--null") {
            invocation.writeNull = true;
        } else if (word == "--version") {
            invocation.versionRequested = true;
        } else if (word.rfind("--", 0) == 0) {
            const size_t equals = word.find('=');
            const std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            if (!TakesValue(name)) throw UsageError("unknown option '" + word + "'");
            if (equals != std::string::npos) {
                SetOption(invocation, name, word.substr(equals + 1));
            } else if (i + 1 < argc) {
                SetOption(invocation, name, argv[++i]);
            } else {
                throw UsageError("option --" + name + " needs a value");
            }
        } else {
            throw UsageError("unknown option '" + word + "'");
        }
    }
    return invocation;
}

std::optional<int> ParseIndex(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > INT_MAX) return std::nullopt;
    return static_cast<int>(value);
}

int ParseRow(const std::string& text) {
    const std::optional<int> row = ParseIndex(text);
    if (!row) throw UsageError("ROW must be a row number from 0 (the first row) to 2147483647, not '" + text + "'");
    return *row;
}

}  // namespace vordex::cli
