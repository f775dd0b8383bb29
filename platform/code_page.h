#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vordex::platform {

/// The code pages a host's texts can be in. Ansi is Windows' ANSI code page
/// where it is neither of the others: single-byte, or double-byte with the
/// lead bytes the system knows.
enum class CodePage { Utf8, Cp932, Ansi };

/// The host's code page, read anew at each call. CP932 when
/// VORDEX_CODEPAGE=932. Otherwise, on Windows UTF-8 when VORDEX_CODEPAGE=65001,
/// else the system's ANSI code page; elsewhere UTF-8 for any other value of
/// VORDEX_CODEPAGE, and unset, CP932 when the locale's codeset (or the first
/// of LC_ALL, LC_CTYPE, LANG that is set) names Shift_JIS or CP932, else UTF-8.
CodePage HostCodePage();

/// True when `c` starts a two-byte character of the Ansi code page.
bool IsAnsiLeadByte(unsigned char c);

/// Bytes of the UTF-8 sequence that starts at `p` (1 for a broken one).
size_t Utf8SequenceLength(const unsigned char* p);

/// Bytes of the character that starts at `p` (1 for the terminator and for
/// any byte that does not start a valid multibyte character: a lead byte
/// whose next byte cannot be a trail byte there stands alone).
size_t CharLength(const char* p, CodePage codePage);

/// The longest start of `text` of at most `maxBytes` bytes and, when
/// `maxChars` is not 0, at most `maxChars` characters, that ends on a
/// character boundary: its length in bytes.
size_t WholeCharacterPrefix(const char* text, size_t maxBytes, CodePage codePage, size_t maxChars = 0);

/// ASCII-case-insensitive test that `text` begins with the ASCII `prefix`.
bool StartsWithNoCase(const char* text, const char* prefix);

/// What ConvertText returns for a text it does not convert.
constexpr size_t kNotConverted = SIZE_MAX;
/// Bytes that a conversion of `length` bytes of text may need: a byte of
/// any code page here becomes at most three bytes of another.
constexpr size_t ConvertedRoom(size_t length) { return length * 3; }

/// Writes the `length` bytes at `text`, a text of code page `from`, into
/// the `room` bytes at `out` as a text of code page `to` (no terminator),
/// and returns the bytes written; kNotConverted when they would be more
/// than `room`. Lenient, each byte that is no character of `from`, and each
/// character `to` cannot hold, becomes "?", as Windows' own conversions do;
/// a text already in `to` is copied as it is. Strict, such a text is
/// refused with kNotConverted. Into CP932, the characters that JIS and
/// Microsoft's table place differently take the same codes on Linux and
/// Windows: 〜 U+301C is 0x8160 as U+FF5E is, ‖ U+2016 0x8161, − U+2212
/// 0x817C, ¢ £ ¬ 0x8191 0x8192 0x81CA, — U+2014 0x815C, ¥ 0x5C, ‾ 0x7E (the
/// pairs: kCp932Folds, code_page_windows.cpp); out of CP932 each code is
/// the character of Microsoft's table (0x8160 is U+FF5E) on both.
size_t ConvertText(const char* text, size_t length, CodePage from, CodePage to, char* out, size_t room, bool strict);

/// Makes what converting needs (the system's converters) now, from the
/// library's load hook: made before its unload hook runs, it is destroyed
/// after it.
void PrepareConversions();

/// True when the `length` bytes at `text` are a valid text of `codePage`.
bool IsValidText(const char* text, size_t length, CodePage codePage);

/// Converts a UTF-8 text into `codePage`; a character it cannot show becomes "?".
std::string Utf8ToCodePage(const char* utf8, CodePage codePage);
/// Converts a UTF-8 text (the library's own messages) into the host's code page.
std::string Utf8ToHost(const char* utf8);
/// Converts a text of the host's code page into UTF-8 (for desktop dialogs).
std::string HostToUtf8(const char* text);

}  // namespace vordex::platform
