#pragma once

#include <string>

#include "command_line.h"
#include "commands.h"

namespace vordex::cli {

/// Values given on the command line must be text of the library's code
/// page: a UsageError naming `what` otherwise.
void CheckText(const std::string& text, const std::string& what);

/// The TABLE word, checked before the library is loaded: an empty name
/// names no table.
const std::string& TableArgument(const CommandContext& context);

/// A UsageError when --format was given to a command (`what`) that prints
/// no rows.
void RejectFormat(const CommandContext& context, const char* what);

/// Checks the columns and values of --where as CheckText does.
void CheckWhere(const Invocation& invocation);

}  // namespace vordex::cli
