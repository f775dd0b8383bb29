#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vordex::cli {

/// Writes `text` to `out`. Throws OutputClosed when nobody reads the pipe
/// any more, CommandFailure when the output cannot be written.
void Write(std::FILE* out, std::string_view text);

/// Writes what is buffered for `out`, failing as Write does.
void FlushOutput(std::FILE* out);

/// Tells the user `text` on standard error, as vordex's own remark.
void Note(const std::string& text);

/// A name as messages show it: in single quotes.
std::string Quoted(const std::string& name);

}  // namespace vordex::cli
