// The table of vordex's commands, and the help command.
#include "commands.h"

#include <string>
#include <vector>

#include "cli_errors.h"
#include "command_handlers.h"
#include "command_output.h"
#include "help_text.h"

namespace vordex::cli {
namespace {

void RunHelp(CommandContext& context) {
    const std::vector<std::string>& arguments = context.invocation.arguments;
    if (arguments.empty()) {
        Write(context.out, HelpText());
        return;
    }
    const std::string_view text = CommandHelp(arguments[0]);
    if (text.empty()) throw UsageError("no command " + Quoted(arguments[0]) + " (see vordex --help)");
    Write(context.out, text);
}

// A new command is one more line here, its handler beside those of its kind
// (command_handlers.h) and its text in the help.
constexpr Command kCommands[] = {
    {"tables", "", 0, 0, RunTables},
    {"columns", "TABLE", 1, 1, RunColumns},
    {"rows", "TABLE [--format tsv|csv|raw|json|ndjson]", 1, 1, RunRows},
    {"get", "TABLE ROW [FIELD] | TABLE [FIELD] --where COLUMN=VALUE... [--format tsv|csv|raw|json|ndjson]", 1, 3,
     RunGet},
    {"set", "TABLE FIELD VALUE|--null --where COLUMN=VALUE...", 2, 4, RunSet},
    {"help", "[COMMAND]", 0, 1, RunHelp},
};

}  // namespace

const Command& FindCommand(const Invocation& invocation) {
    if (invocation.command.empty()) throw UsageError("no command given (see vordex --help)");
    for (const Command& command : kCommands) {
        if (command.name != invocation.command) continue;
        const size_t count = invocation.arguments.size();
        if (count < command.minArguments || count > command.maxArguments) {
            std::string usage = "usage: vordex " + std::string(command.name);
            if (!command.arguments.empty()) usage += " " + std::string(command.arguments);
            throw UsageError(usage);
        }
        if (invocation.writeNull && command.run != RunSet) throw UsageError("--null applies only to set");
        return command;
    }
    throw UsageError("unknown command " + Quoted(invocation.command) + " (see vordex --help)");
}

}  // namespace vordex::cli
