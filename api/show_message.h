#pragma once

namespace vordex::api {

/// Shows `text`, else `alternative`, else the fixed unrecoverable-error text,
/// in the message box with the caption "VORDEX". Never throws.
int ShowMessage(const char* text, const char* alternative) noexcept;

/// Shows the library's own text under message number `id`, its "%d"
/// replaced by `number`. Never throws.
void ShowLibraryMessage(unsigned id, unsigned number = 0) noexcept;

}  // namespace vordex::api
