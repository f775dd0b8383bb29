#pragma once

#include <string>

#include "platform/code_page.h"

namespace vordex::platform {

/// A text of `codePage` in UTF-16, for Windows' wide calls (Windows only).
std::wstring ToWide(const char* text, CodePage codePage);
/// UTF-16 in `codePage`; a character it cannot show becomes "?" (Windows only).
std::string FromWide(const std::wstring& wide, CodePage codePage);

}  // namespace vordex::platform
