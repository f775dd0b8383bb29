#pragma once

#include <cstddef>
#include <string>

#include "db/text.h"

namespace vordex::platform {

/// The code pages a host's texts can be in.
enum class CodePage { Utf8, Cp932 };

/// The host's code page: CP932 when VORDEX_CODEPAGE=932 or the locale's
/// codeset (or LC_ALL / LC_CTYPE / LANG) names Shift_JIS or CP932; else UTF-8.
CodePage HostCodePage();

/// Bytes of the character that starts at `p` (1 for the terminator and for
/// any byte that does not start a valid multibyte character).
size_t CharLength(const char* p, CodePage codePage);

/// The longest start of `text` of at most `maxBytes` bytes that ends on a
/// character boundary: its length in bytes.
size_t WholeCharacterPrefix(const char* text, size_t maxBytes, CodePage codePage);

/// ASCII-case-insensitive test that `text` begins with the ASCII `prefix`.
bool StartsWithNoCase(const char* text, const char* prefix);

/// Converts a UTF-8 text (the library's own messages) into the host's code page.
CText Utf8ToHost(const char* utf8);
/// Converts a text of the host's code page into UTF-8 (for desktop dialogs).
std::string HostToUtf8(const char* text);
CText Utf8ToCodePage(const char* utf8, CodePage codePage);

}  // namespace vordex::platform
