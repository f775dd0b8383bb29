#pragma once

#include <string>
#include <string_view>

namespace vordex::cli {

/// The text of `vordex --help`.
std::string HelpText();

/// The part of the help about one command (`vordex help COMMAND`); empty for
/// an unknown command.
std::string_view CommandHelp(std::string_view command);

}  // namespace vordex::cli
