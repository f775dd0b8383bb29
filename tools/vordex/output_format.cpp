#include "output_format.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace vordex::cli {

std::optional<OutputFormat> ParseOutputFormat(std::string_view name) {
    if (name == "tsv") return OutputFormat::Tsv;
    if (name == "csv") return OutputFormat::Csv;
    if (name == "raw") return OutputFormat::Raw;
    if (name == "json") return OutputFormat::Json;
    if (name == "ndjson") return OutputFormat::Ndjson;
    return std::nullopt;
}

bool HasHeaderLine(OutputFormat format) { return format == OutputFormat::Tsv || format == OutputFormat::Csv; }

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
            case OutputFormat::Json:
            case OutputFormat::Ndjson:
                throw std::logic_error("FormatRecord takes no JSON format");
        }
    }
    line += format == OutputFormat::Csv ? "\r\n" : "\n";
    return line;
}

std::string JsonString(const std::string& text, TextEncoding encoding) {
    std::string quoted = "\"";
    for (const char c : ToUtf8(text, encoding)) {
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\b':
                quoted += "\\b";
                break;
            case '\f':
                quoted += "\\f";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[7];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    quoted += escaped;
                } else {
                    quoted += c;
                }
        }
    }
    quoted += '"';
    return quoted;
}

RecordPrinter::RecordPrinter(OutputFormat format, std::vector<std::string> names, TextEncoding encoding)
    : format_(format), names_(std::move(names)), encoding_(encoding) {
    for (const std::string& name : names_) jsonNames_.push_back(JsonString(name, encoding_));
}

std::string RecordPrinter::Start() const {
    if (format_ == OutputFormat::Json) return "[";
    return HasHeaderLine(format_) ? FormatRecord(format_, names_, encoding_) : "";
}

std::string RecordPrinter::Row(const std::vector<std::string>& values) {
    ++rows_;
    if (format_ != OutputFormat::Json && format_ != OutputFormat::Ndjson)
        return FormatRecord(format_, values, encoding_);
    std::string object = format_ == OutputFormat::Ndjson ? "{" : rows_ == 1 ? "\n{" : ",\n{";
    for (size_t i = 0; i < values.size() && i < jsonNames_.size(); ++i) {
        if (i > 0) object += ',';
        object += jsonNames_[i] + ':' + JsonString(values[i], encoding_);
    }
    object += format_ == OutputFormat::Ndjson ? "}\n" : "}";
    return object;
}

std::string RecordPrinter::Finish() const {
    if (format_ != OutputFormat::Json) return "";
    return rows_ == 0 ? "]\n" : "\n]\n";
}

}  // namespace vordex::cli
