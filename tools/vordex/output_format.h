#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text_encoding.h"

namespace vordex::cli {

/// How rows are printed.
///   Tsv: values joined by tabs, backslash/tab/LF/CR escaped as \\ \t \n \r, LF ends a line.
///   Csv: RFC 4180; values with a comma, double quote, CR or LF are quoted, CRLF ends a line.
///   Raw: the library's own row text (each value followed by 0x1E), then LF.
enum class OutputFormat { Tsv, Csv, Raw };

constexpr char kValueTerminator = '\x1E';

/// "tsv", "csv" or "raw"; nothing for any other name.
std::optional<OutputFormat> ParseOutputFormat(std::string_view name);

/// Whether the format starts with a line of column names.
bool HasHeaderLine(OutputFormat format);

/// The values of a row text as VORDEX_ListText writes it: each value followed
/// by 0x1E. Bytes after the last 0x1E count as one more value.
std::vector<std::string> SplitListText(std::string_view line);

/// One value escaped for a tsv line. In CP932 the second byte of a two-byte
/// character is copied as it is, even when it is a backslash.
std::string EscapeTsvValue(std::string_view value, TextEncoding encoding);

/// One value as a csv field, quoted only when it has to be.
std::string QuoteCsvValue(std::string_view value);

/// One complete output line (line end included) for a row or for the column names.
std::string FormatRecord(OutputFormat format, const std::vector<std::string>& values, TextEncoding encoding);

}  // namespace vordex::cli
