#pragma once

namespace vordex::api {

/// Shows `text`, else `alternative`, else the fixed unrecoverable-error text,
/// in the message box with the caption "VORDEX". Never throws.
int ShowMessage(const char* text, const char* alternative) noexcept;

/// Shows the library's own text under message number `id`. Never throws.
void ShowLibraryMessage(unsigned id) noexcept;

}  // namespace vordex::api
