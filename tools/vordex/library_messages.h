#pragma once

#include <functional>
#include <string>

namespace vordex::cli {

/// Runs `call`, a library call, and returns what the library showed on
/// standard error meanwhile (its messages go there when VORDEX_DIALOG is
/// stderr, as vordex sets it unless told otherwise). The text still reaches
/// standard error, unless `passOn` is false. Elsewhere it returns "".
std::string MessagesShownBy(const std::function<void()>& call, bool passOn = true);

/// True when MessagesShownBy sees the library's messages.
bool LibraryMessagesVisible();

/// The library's own messages that vordex explains.
enum class LibraryMessage { NoFieldFound, ValueTooLongToRead };

/// True when `shown` holds that message, in either of the library's
/// languages, in the host's code page.
bool Shows(const std::string& shown, LibraryMessage message);

}  // namespace vordex::cli
