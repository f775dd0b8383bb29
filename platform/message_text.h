#pragma once

#include <string>

#include "platform/code_page.h"

namespace vordex::platform {

/// `text` (in `codePage`) made safe for a terminal or a log: every control
/// character but CR and LF (C0, DEL, and in UTF-8 the C1 range U+0080 to
/// U+009F, which terminals also obey) is written as "\xHH" or "\u00HH", so a
/// driver's message cannot move the cursor, clear the screen or retitle the
/// window. Other characters stay as they are.
std::string VisibleControls(const char* text, CodePage codePage);

}  // namespace vordex::platform
