#include "output_format.h"

namespace vordex::cli {

std::optional<OutputFormat> ParseOutputFormat(std::string_view name) {
    if (name == "tsv") return OutputFormat::Tsv;
    if (name == "csv") return OutputFormat::Csv;
    if (name == "raw") return OutputFormat::Raw;
    return std::nullopt;
}

bool HasHeaderLine(OutputFormat format) { return format != OutputFormat::Raw; }

std::vector<std::string> SplitListText(std::string_view line) {
    std::vector<std::string> values;
    size_t start = 0;
    for (size_t end; (end = line.find(kValueTerminator, start)) != std::string_view::npos; start = end + 1) {
        values.emplace_back(line.substr(start, end - start));
    }
    if (start < line.size()) values.emplace_back(line.substr(start));
    return values;
}

std::string EscapeTsvValue(std::string_view value, TextEncoding encoding) {
    std::string escaped;
    escaped.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (encoding == TextEncoding::Cp932 && IsCp932LeadByte(static_cast<unsigned char>(c)) && i + 1 < value.size()) {
            escaped += c;
            escaped += value[++i];
            continue;
        }
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string QuoteCsvValue(std::string_view value) {
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(value);
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string FormatRecord(OutputFormat format, const std::vector<std::string>& values, TextEncoding encoding) {
    std::string line;
    for (size_t i = 0; i < values.size(); ++i) {
        switch (format) {
            case OutputFormat::Tsv:
                if (i > 0) line += '\t';
                line += EscapeTsvValue(values[i], encoding);
                break;
            case OutputFormat::Csv:
                if (i > 0) line += ',';
                // A lone empty field would make a blank line, which csv readers skip.
                line += values.size() == 1 && values[i].empty() ? "\"\"" : QuoteCsvValue(values[i]);
                break;
            case OutputFormat::Raw:
                line += values[i];
                line += kValueTerminator;
                break;
        }
    }
    line += format == OutputFormat::Csv ? "\r\n" : "\n";
    return line;
}

}  // namespace vordex::cli
