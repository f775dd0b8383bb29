#pragma once

#include <string>

namespace vordex::cli {

/// The byte encoding of the texts the library hands out.
enum class TextEncoding { Utf8, Cp932 };

/// The encoding the library uses in this process, by the library's own rule
/// (platform::HostCodePage): CP932 when VORDEX_CODEPAGE is 932, or, with
/// VORDEX_CODEPAGE unset, when the first of LC_ALL, LC_CTYPE and LANG that is
/// set names Shift_JIS or CP932; otherwise UTF-8.
TextEncoding HostTextEncoding();

/// True for a byte that starts a two-byte CP932 character.
bool IsCp932LeadByte(unsigned char byte);

/// True when `text` is made of whole characters of `encoding`.
bool IsValidText(const std::string& text, TextEncoding encoding);

/// `text`, a text of `encoding`, as UTF-8. Bytes that are no character of
/// `encoding` become "?", as in the library's own lenient conversions.
std::string ToUtf8(const std::string& text, TextEncoding encoding);

}  // namespace vordex::cli
