#pragma once

namespace vordex::api {

/// Shows `text`, else `alternative`, else the fixed unrecoverable-error text,
/// in the message box with the caption "VORDEX". Never throws.
int ShowMessage(const char* text, const char* alternative) noexcept;

}  // namespace vordex::api
