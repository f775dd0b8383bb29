#include "commands.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli_errors.h"
#include "help_text.h"
#include "output_format.h"
#include "progress.h"
#include "row_reader.h"
#include "text_encoding.h"

namespace vordex::cli {
namespace {

void Write(std::FILE* out, std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
        throw CommandFailure(std::string("cannot write the output: ") + std::strerror(errno));
    }
}

void Note(const std::string& text) { std::fprintf(stderr, "vordex: %s\n", text.c_str()); }

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

/// Closes the record and the connection when a command ends, however it ends.
class LibrarySession {
public:
    explicit LibrarySession(const VordexApi& api) : api_(api) {}
    ~LibrarySession() {
        api_.CloseRec();
        api_.Close();
    }
    LibrarySession(const LibrarySession&) = delete;
    LibrarySession& operator=(const LibrarySession&) = delete;

private:
    const VordexApi& api_;
};

struct ColumnList {
    std::vector<std::string> names;  // the readable ones: at most kListLimit
    int total = 0;
};

/// Lists the columns of `table`, which makes it the table a record opens.
ColumnList ListColumns(const VordexApi& api, const std::string& table) {
    // A name with a dot may be SCHEMA.TABLE, as `tables` prints a name that
    // several schemas hold: the library resolves those through its table
    // listing. Any other name is found as the data source resolves it.
    if (table.find('.') != std::string::npos) api.Table();
    ColumnList columns;
    columns.total = api.Open(table.c_str());
    if (columns.total <= 0) throw CommandFailure("cannot list the columns of table " + Quoted(table));
    if (columns.total > kListLimit) {
        Note("table " + Quoted(table) + " has " + std::to_string(columns.total) + " columns; only the first " +
             std::to_string(kListLimit) + " are shown");
    }
    const int readable = columns.total < kListLimit ? columns.total : kListLimit;
    for (int i = 0; i < readable; ++i) columns.names.emplace_back(api.GetNameList(i));
    return columns;
}

void OpenRecord(const VordexApi& api, const std::string& table) {
    if (api.OpenRec() == 0) throw CommandFailure("cannot open table " + Quoted(table) + " for reading");
}

void MoveToRow(const VordexApi& api, const std::string& table, int row) {
    const std::string where = "row " + std::to_string(row) + " of table " + Quoted(table);
    if (api.Seek(row) == 0) throw CommandFailure("cannot move to " + where);
    if (api.IsEOF() != 0) throw CommandFailure("there is no " + where + " (rows are numbered from 0)");
}

/// A column name, else a column number; names win so that a column called
/// "2" stays reachable.
int FindField(const ColumnList& columns, const std::string& table, const std::string& field) {
    for (size_t i = 0; i < columns.names.size(); ++i) {
        if (columns.names[i] == field) return static_cast<int>(i);
    }
    const std::optional<int> index = ParseIndex(field);
    if (index && static_cast<size_t>(*index) < columns.names.size()) return *index;
    const std::string readable = columns.total > kListLimit
                                     ? " among the first " + std::to_string(kListLimit) + " (only those can be read)"
                                     : "";
    throw CommandFailure("table " + Quoted(table) + " has no column " + Quoted(field) + readable);
}

// An empty name names no table; refused before the library is loaded.
const std::string& TableArgument(const CommandContext& context) {
    const std::string& table = context.invocation.arguments[0];
    if (table.empty()) throw UsageError("TABLE must not be empty");
    return table;
}

void RejectFormat(const CommandContext& context, const char* what) {
    if (context.invocation.format) throw UsageError(std::string("--format does not apply to ") + what);
}

void RunHelp(CommandContext& context) { Write(context.out, HelpText()); }

void RunTables(CommandContext& context) {
    RejectFormat(context, "tables");
    const VordexApi& api = context.library();
    LibrarySession session(api);
    int count = api.Table();
    if (count <= 0) {
        throw CommandFailure("no tables listed (the connection failed or was cancelled, or there are no tables)");
    }
    if (count >= kListLimit) {
        count = kListLimit;
        Note("the library lists at most " + std::to_string(kListLimit) + " tables; there may be more");
    }
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += api.GetTableList(i);
        text += '\n';
    }
    Write(context.out, text);
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
    const TextEncoding encoding = HostTextEncoding();
    const VordexApi& api = context.library();
    LibrarySession session(api);
    const ColumnList columns = ListColumns(api, table);
    OpenRecord(api, table);
    if (HasHeaderLine(format)) Write(context.out, FormatRecord(format, columns.names, encoding));

    RowReader reader(api, static_cast<int>(columns.names.size()));
    RowProgress progress;
    for (long row = 0; api.IsEOF() == 0; ++row) {
        Write(context.out, FormatRecord(format, reader.Read(), encoding));
        progress.RowDone();
        if (api.MoveNext() == 0) {
            throw CommandFailure("cannot move past row " + std::to_string(row) + " of table " + Quoted(table));
        }
    }
}

void RunGet(CommandContext& context) {
    const std::vector<std::string>& arguments = context.invocation.arguments;
    const std::string& table = TableArgument(context);
    const std::optional<int> row = ParseIndex(arguments[1]);
    if (!row) throw UsageError("ROW must be a row number (0 for the first row), not " + Quoted(arguments[1]));
    const bool wholeRow = arguments.size() == 2;
    if (!wholeRow) RejectFormat(context, "a single FIELD of get");
    const OutputFormat format = context.invocation.format.value_or(OutputFormat::Tsv);

    const VordexApi& api = context.library();
    LibrarySession session(api);
    const ColumnList columns = ListColumns(api, table);
    const int field = wholeRow ? -1 : FindField(columns, table, arguments[2]);
    OpenRecord(api, table);
    MoveToRow(api, table, *row);

    if (!wholeRow) {
        Write(context.out, std::string(api.GetData(field)) + '\n');
        return;
    }
    const TextEncoding encoding = HostTextEncoding();
    if (HasHeaderLine(format)) Write(context.out, FormatRecord(format, columns.names, encoding));
    RowReader reader(api, static_cast<int>(columns.names.size()));
    Write(context.out, FormatRecord(format, reader.Read(), encoding));
}

/// The value `set` writes: VALUE, or the empty value (NULL) for --null. An
/// empty VALUE is refused, so that an unset shell variable does not write NULL.
std::string ValueToWrite(const Invocation& invocation) {
    const std::vector<std::string>& arguments = invocation.arguments;
    if (invocation.writeNull) {
        if (arguments.size() == 4) throw UsageError("give VALUE or --null, not both");
        return "";
    }
    if (arguments.size() == 3) throw UsageError("usage: vordex set TABLE ROW FIELD VALUE|--null");
    if (arguments[3].empty()) throw UsageError("VALUE is empty; to write NULL say --null");
    return arguments[3];
}

void RunSet(CommandContext& context) {
    const std::vector<std::string>& arguments = context.invocation.arguments;
    RejectFormat(context, "set");
    const std::string& table = TableArgument(context);
    const std::optional<int> row = ParseIndex(arguments[1]);
    if (!row) throw UsageError("ROW must be a row number (0 for the first row), not " + Quoted(arguments[1]));
    const std::string value = ValueToWrite(context.invocation);

    const VordexApi& api = context.library();
    LibrarySession session(api);
    const ColumnList columns = ListColumns(api, table);
    const int field = FindField(columns, table, arguments[2]);
    OpenRecord(api, table);
    MoveToRow(api, table, *row);
    const std::string where = "column " + Quoted(columns.names[static_cast<size_t>(field)]) + " of row " +
                              std::to_string(*row) + " of table " + Quoted(table);
    if (api.CanUpdate(field) == 0) throw CommandFailure("table " + Quoted(table) + " cannot be written");
    if (api.Update(field, value.c_str()) == 0) throw CommandFailure("cannot write " + where);
    // The library cuts a text for a character column to its catalog length
    // (and to 255 bytes).
    const std::string stored = api.GetData(field);
    if (stored != value) Note("the value was cut to fit " + where + ": " + Quoted(stored));
}

// A new command is one more line here, its handler above and its text in the help.
constexpr Command kCommands[] = {
    {"tables", "", 0, 0, RunTables},
    {"columns", "TABLE", 1, 1, RunColumns},
    {"rows", "TABLE [--format tsv|csv|raw]", 1, 1, RunRows},
    {"get", "TABLE ROW [FIELD] [--format tsv|csv|raw]", 2, 3, RunGet},
    {"set", "TABLE ROW FIELD VALUE|--null", 3, 4, RunSet},
    {"help", "", 0, 0, RunHelp},
};

}  // namespace

const Command& FindCommand(const Invocation& invocation) {
    if (invocation.command.empty()) throw UsageError("no command given (see vordex --help)");
    for (const Command& command : kCommands) {
        if (command.name != invocation.command) continue;
        const size_t count = invocation.arguments.size();
        if (count < command.minArguments || count > command.maxArguments) {
            std::string usage = "usage: vordex " + std::string(command.name);
            if (!command.arguments.empty()) usage += " " + std::string(command.arguments);
            throw UsageError(usage);
        }
        if (invocation.writeNull && command.run != RunSet) throw UsageError("--null applies only to set");
        return command;
    }
    throw UsageError("unknown command " + Quoted(invocation.command) + " (see vordex --help)");
}

}  // namespace vordex::cli
