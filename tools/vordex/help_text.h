#pragma once

#include <string_view>

namespace vordex::cli {

/// The text of `vordex --help`.
std::string_view HelpText();

}  // namespace vordex::cli
