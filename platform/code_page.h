#pragma once

#include <cstddef>
#include <string>

#include "db/text.h"

namespace vordex::platform {

/// The code pages a host's texts can be in. Ansi is Windows' ANSI code page
/// where it is neither of the others: single-byte, or double-byte with the
/// lead bytes the system knows.
enum class CodePage { Utf8, Cp932, Ansi };

/// The host's code page. CP932 when VORDEX_CODEPAGE=932. Otherwise, on
/// Windows the system's ANSI code page; elsewhere CP932 when the locale's
/// codeset (or LC_ALL / LC_CTYPE / LANG) names Shift_JIS or CP932, else UTF-8.
CodePage HostCodePage();

/// True when `c` starts a two-byte character of the Ansi code page.
bool IsAnsiLeadByte(unsigned char c);

/// Bytes of the UTF-8 sequence that starts at `p` (1 for a broken one).
size_t Utf8SequenceLength(const unsigned char* p);

/// Bytes of the character that starts at `p` (1 for the terminator and for
/// any byte that does not start a valid multibyte character: a lead byte
/// whose next byte cannot be a trail byte there stands alone).
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
/// Converts a UTF-8 text into `codePage`; a character it cannot show becomes "?".
CText Utf8ToCodePage(const char* utf8, CodePage codePage);

}  // namespace vordex::platform
