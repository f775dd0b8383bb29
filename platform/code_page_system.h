#pragma once

#include <cstddef>

#include "platform/code_page.h"

namespace vordex::platform {

/// ConvertText's work where the text is not plain ASCII, done by the
/// system's own converters (iconv, or Windows' calls through UTF-16).
size_t ConvertThroughSystem(const char* text, size_t length, CodePage from, CodePage to, char* out, size_t room,
                            bool strict);

}  // namespace vordex::platform
