#pragma once

#include <optional>
#include <string>
#include <vector>

#include "output_format.h"

namespace vordex::cli {

/// `--where COLUMN=VALUE`, or `--where-null COLUMN` (no value).
struct WhereCondition {
    std::string column;
    std::optional<std::string> value;
};

/// What the command line asks for, before any check of the command itself.
struct Invocation {
    bool helpRequested = false;
    bool versionRequested = false;
    std::string command;  // empty when none was given
    std::vector<std::string> arguments;
    std::optional<std::string> libraryPath;
    std::optional<std::string> connectString;
    std::optional<OutputFormat> format;
    bool writeNull = false;  // --null: set writes NULL
    std::vector<WhereCondition> where;  // every one must match
    std::optional<int> row;             // --row N: set by row number
};

/// Splits the command line into options and words. Options may stand anywhere,
/// as `--name VALUE` or `--name=VALUE`; after `--` every word is an argument
/// (for a table whose name starts with '-'). A later option overrides an
/// earlier one. Throws UsageError for an unknown option or a missing, empty or
/// invalid value.
Invocation ParseCommandLine(int argc, const char* const* argv);

/// Parses a non-negative decimal number that fits an int (a row or column
/// number); nothing for anything else, signs and spaces included.
std::optional<int> ParseIndex(const std::string& text);

/// ParseIndex, or a UsageError that says what ROW must be.
int ParseRow(const std::string& text);

}  // namespace vordex::cli
