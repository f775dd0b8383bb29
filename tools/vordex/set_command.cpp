// The set command: one value of one row, written and read back.
#include <string>
#include <vector>

#include "cli_errors.h"
#include "command_arguments.h"
#include "command_handlers.h"
#include "command_output.h"
#include "stored_value.h"
#include "table_access.h"

namespace vordex::cli {
namespace {

/// The value `set` writes: VALUE, or the empty value (NULL) for --null. An
/// empty VALUE is refused, so that an unset shell variable does not write NULL.
std::string ValueToWrite(const Invocation& invocation) {
    const std::vector<std::string>& arguments = invocation.arguments;
    if (invocation.writeNull) {
        if (arguments.size() == 3) throw UsageError("give VALUE or --null, not both");
        return "";
    }
    if (arguments.size() == 2) throw UsageError("usage: vordex set TABLE FIELD VALUE|--null --where COLUMN=VALUE ...");
    if (arguments[2].empty()) throw UsageError("VALUE is empty; to write NULL say --null");
    CheckText(arguments[2], "VALUE");
    if (arguments[2].size() > kValueLimit) {
        throw UsageError("VALUE is " + std::to_string(arguments[2].size()) + " bytes; the library writes at most " +
                         std::to_string(kValueLimit) + " bytes of a value, and set writes none cut short");
    }
    return arguments[2];
}

/// Why the library opened a table read-only.
std::string WhyReadOnly() {
    return "the data source grants no write to it (a view, a table without a key the library can name rows by, or a "
           "server that takes no writes)";
}

}  // namespace

void RunSet(CommandContext& context) {
    const Invocation& invocation = context.invocation;
    const std::vector<std::string>& arguments = invocation.arguments;
    RejectFormat(context, "set");
    const std::string& table = TableArgument(context);
    if (arguments.size() == 4) {
        throw UsageError(
            "set names its row with --where COLUMN=VALUE, not a row number (rows move when they are "
            "written): vordex set TABLE FIELD VALUE --where COLUMN=VALUE (see vordex help set)");
    }
    if (invocation.where.empty() && !invocation.row) {
        throw UsageError("set needs --where COLUMN=VALUE to name the row it writes (see vordex help set)");
    }
    if (!invocation.where.empty() && invocation.row) throw UsageError("give --where or --row, not both");
    CheckWhere(invocation);
    const std::string value = ValueToWrite(invocation);

    const VordexApi& api = context.library();
    LibrarySession session(api);
    const ColumnList columns = ListColumns(api, table);
    const int field = FindField(columns, table, arguments[1]);
    OpenRecord(api, table);
    int row = invocation.row.value_or(0);
    if (!invocation.where.empty()) {
        const MatchingRows matches = FindMatchingRows(api, columns, table, invocation.where);
        // The rows skipped cannot be compared: the one row that matches among
        // the others is written, and they are named.
        if (!matches.skipped.empty()) Note(SkippedByWhere(matches.skipped, table));
        if (matches.rows.size() != 1) {
            throw CommandFailure(std::to_string(matches.rows.size()) + " rows of table " + Quoted(table) + " match" +
                                 (matches.skipped.empty() ? "" : " among those read") +
                                 "; set writes only when exactly one does, and wrote nothing");
        }
        row = matches.rows[0];
    }
    MoveToRow(api, table, row);
    const std::string where =
        "column " + Quoted(columns.names[static_cast<size_t>(field)]) + " of table " + Quoted(table);
    if (api.CanUpdate(field) == 0)
        throw CommandFailure("table " + Quoted(table) + " cannot be written: " + WhyReadOnly());
    if (api.Update(field, value.c_str()) == 0) throw CommandFailure("cannot write " + where);
    // Read back: the move fetches the row again, as the data source stored it.
    MoveToRow(api, table, row);
    const std::string stored = api.GetData(field);
    Write(context.out, stored + '\n');
    if (!StoredAsGiven(value, stored)) {
        throw CommandFailure(
            "the data source stored " + Quoted(stored) + ", not VALUE " + Quoted(value) + ", in " + where,
            kExitStoredOtherwise);
    }
}

}  // namespace vordex::cli
