#pragma once

#include "commands.h"

namespace vordex::cli {

// The commands that read (read_commands.cpp).
void RunTables(CommandContext& context);
void RunColumns(CommandContext& context);
void RunRows(CommandContext& context);
void RunGet(CommandContext& context);

// The one command that writes (set_command.cpp).
void RunSet(CommandContext& context);

}  // namespace vordex::cli
