// The commands that read: tables, columns, rows and get.
#include <optional>
#include <string>
#include <vector>

#include "cli_errors.h"
#include "command_arguments.h"
#include "command_handlers.h"
#include "command_output.h"
#include "output_format.h"
#include "row_reader.h"
#include "table_access.h"
#include "text_encoding.h"

namespace vordex::cli {

void RunTables(CommandContext& context) {
    RejectFormat(context, "tables");
    const VordexApi& api = context.library();
    LibrarySession session(api);
    const TableListing listing = ListTables(api);
    std::string text;
    for (const std::string& name : listing.names) text += name + '\n';
    Write(context.out, text);
    if (listing.full) {
        Note("the library lists at most " + std::to_string(kListLimit) +
             " tables, so there may be more; columns, rows, get and set open any table as SCHEMA.TABLE, and the "
             "data source's own client lists them all (psql \\dt *.*, sqlite3 .tables)");
    }
}

void RunColumns(CommandContext& context) {
    RejectFormat(context, "columns");
    const std::string& table = TableArgument(context);
    const VordexApi& api = context.library();
    LibrarySession session(api);
    std::string text;
    for (const std::string& name : ListColumns(api, table).names) text += name + '\n';
    Write(context.out, text);
}

void RunRows(CommandContext& context) {
    const std::string& table = TableArgument(context);
    const OutputFormat format = context.invocation.format.value_or(OutputFormat::Tsv);
    const VordexApi& api = context.library();
    LibrarySession session(api);
    const ColumnList columns = ListColumns(api, table);
    OpenRecord(api, table);
    RecordPrinter printer(format, columns.names, HostTextEncoding());
    Write(context.out, printer.Start());

    RowReader reader(api, static_cast<int>(columns.names.size()));
    const std::vector<long> skipped =
        ForEachReadableRow(api, table, true, [&](long) { Write(context.out, printer.Row(reader.Read())); });
    Write(context.out, printer.Finish());
    if (!skipped.empty()) throw CommandFailure(SkippedRows(skipped, table) + "; the other rows were printed");
}

void RunGet(CommandContext& context) {
    const Invocation& invocation = context.invocation;
    const std::vector<std::string>& arguments = invocation.arguments;
    const std::string& table = TableArgument(context);
    if (invocation.row) throw UsageError("--row applies to set only; get takes ROW as its second word");
    const bool byKey = !invocation.where.empty();
    CheckWhere(invocation);
    if (byKey && arguments.size() > 2) throw UsageError("usage: vordex get TABLE [FIELD] --where COLUMN=VALUE ...");
    if (!byKey && arguments.size() < 2) {
        throw UsageError("usage: vordex get TABLE ROW [FIELD], or vordex get TABLE [FIELD] --where COLUMN=VALUE");
    }
    const std::optional<int> row = byKey ? std::nullopt : std::optional<int>(ParseRow(arguments[1]));
    const size_t fieldWord = byKey ? 1 : 2;
    const bool wholeRow = arguments.size() == fieldWord;
    if (!wholeRow) RejectFormat(context, "a single FIELD of get");
    const OutputFormat format = invocation.format.value_or(OutputFormat::Tsv);

    const VordexApi& api = context.library();
    LibrarySession session(api);
    const ColumnList columns = ListColumns(api, table);
    const int field = wholeRow ? -1 : FindField(columns, table, arguments[fieldWord]);
    OpenRecord(api, table);
    MatchingRows matches{{row.value_or(0)}, {}};
    if (byKey) matches = FindMatchingRows(api, columns, table, invocation.where);
    if (matches.rows.empty()) {
        const std::string none = "no row of table " + Quoted(table) + " matches";
        if (matches.skipped.empty()) throw CommandFailure(none);
        throw CommandFailure(none + " among those read; " + SkippedByWhere(matches.skipped, table));
    }

    RecordPrinter printer(format, columns.names, HostTextEncoding());
    RowReader reader(api, static_cast<int>(columns.names.size()));
    for (const int r : matches.rows) {
        MoveToRow(api, table, r);
        if (wholeRow) {
            if (r == matches.rows.front()) Write(context.out, printer.Start());
            Write(context.out, printer.Row(reader.Read()));
        } else {
            Write(context.out, std::string(api.GetData(field)) + '\n');
        }
    }
    if (wholeRow) Write(context.out, printer.Finish());
    if (!matches.skipped.empty()) {
        throw CommandFailure(SkippedByWhere(matches.skipped, table) +
                             "; the rows that match among the others were printed");
    }
}

}  // namespace vordex::cli
