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
///   Json: one array of objects, column name to value text, in UTF-8.
///   Ndjson: one such object a line.
enum class OutputFormat { Tsv, Csv, Raw, Json, Ndjson };

constexpr char kValueTerminator = '\x1E';

/// "tsv", "csv", "raw", "json" or "ndjson"; nothing for any other name.
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

/// One complete tsv, csv or raw line (line end included) for a row or for
/// the column names. The JSON formats go through RecordPrinter.
std::string FormatRecord(OutputFormat format, const std::vector<std::string>& values, TextEncoding encoding);

/// `text`, of `encoding`, as a JSON string in UTF-8, its quotes included.
std::string JsonString(const std::string& text, TextEncoding encoding);

/// The text of the rows of one table in one format: what comes before the
/// first row (the header line; "[" for json), each row, and what ends the
/// output ("]" for json), so that no row and several rows alike print whole.
class RecordPrinter {
public:
    RecordPrinter(OutputFormat format, std::vector<std::string> names, TextEncoding encoding);

    std::string Start() const;
    std::string Row(const std::vector<std::string>& values);
    std::string Finish() const;

private:
    OutputFormat format_;
    std::vector<std::string> names_;
    std::vector<std::string> jsonNames_;  // as JSON strings, converted once
    TextEncoding encoding_;
    long rows_ = 0;
};

}  // namespace vordex::cli
