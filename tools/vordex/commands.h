#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string_view>

#include "command_line.h"
#include "vordex_api.h"

namespace vordex::cli {

/// What a command works with. `library` loads the library on its first call,
/// so a command checks its arguments before anything is loaded.
struct CommandContext {
    const Invocation& invocation;
    std::function<const VordexApi&()> library;
    std::FILE* out;
};

struct Command {
    std::string_view name;
    std::string_view arguments;  // shown in usage messages, options included
    size_t minArguments;
    size_t maxArguments;
    void (*run)(CommandContext& context);
};

/// The command the invocation names, its number of arguments checked.
/// Throws UsageError for a missing or unknown command or a wrong count.
const Command& FindCommand(const Invocation& invocation);

}  // namespace vordex::cli
