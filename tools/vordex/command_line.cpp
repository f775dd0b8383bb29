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

void SetOption(Invocation& invocation, std::string_view name, const std::string& value) {
    if (value.empty()) throw UsageError("option --" + std::string(name) + " needs a non-empty value");
    if (name == "library") {
        invocation.libraryPath = value;
    } else if (name == "connect") {
        invocation.connectString = value;
    } else {
        invocation.format = ParseOutputFormat(value);
        if (!invocation.format) throw UsageError("unknown format '" + value + "' (use tsv, csv or raw)");
    }
}

bool TakesValue(std::string_view name) { return name == "library" || name == "connect" || name == "format"; }

}  // namespace

Invocation ParseCommandLine(int argc, const char* const* argv) {
    Invocation invocation;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (optionsEnded || word == "-" || word.empty() || word[0] != '-') {
            AddWord(invocation, word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
        } else if (word == "-h" || word == "--help") {
            invocation.helpRequested = true;
        } else if (word == "--null") {
            invocation.writeNull = true;
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

}  // namespace vordex::cli
