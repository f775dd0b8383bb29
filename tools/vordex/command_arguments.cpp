#include "command_arguments.h"

#include "cli_errors.h"
#include "text_encoding.h"

namespace vordex::cli {

void CheckText(const std::string& text, const std::string& what) {
    if (!IsValidText(text, HostTextEncoding())) {
        throw UsageError(what + " is not valid " + (HostTextEncoding() == TextEncoding::Utf8 ? "UTF-8" : "CP932") +
                         " text, the code page the library takes it in (VORDEX_CODEPAGE, else the locale)");
    }
}

const std::string& TableArgument(const CommandContext& context) {
    const std::string& table = context.invocation.arguments[0];
    if (table.empty()) throw UsageError("TABLE must not be empty");
    CheckText(table, "TABLE");
    return table;
}

void RejectFormat(const CommandContext& context, const char* what) {
    if (context.invocation.format) throw UsageError(std::string("--format does not apply to ") + what);
}

void CheckWhere(const Invocation& invocation) {
    for (const WhereCondition& condition : invocation.where) {
        CheckText(condition.column, "--where COLUMN");
        if (condition.value) CheckText(*condition.value, "--where VALUE");
    }
}

}  // namespace vordex::cli
