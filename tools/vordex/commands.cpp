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

void RunHelp(CommandContext& context) {
    const std::vector<std::string>& arguments = context.invocation.arguments;
    if (arguments.empty()) {
        Write(context.out, HelpText());
        return;
    }
    const std::string_view text = CommandHelp(arguments[0]);
    if (text.empty()) throw UsageError("no command " + Quoted(arguments[0]) + " (see vordex --help)");
    Write(context.out, text);
}

void RunTables(CommandContext& context) {
    RejectFormat(context, "tables");
    const VordexApi& api = context.library();
    LibrarySession session(api);
    int count = api.Table();
    if (count <= 0) {
        throw CommandFailure("no tables listed (the library's message above says why; without one, the choice of "
                             "data source was cancelled)");
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

/// The rows (numbered from 0, in the order the record reads them) whose
/// fields match every condition. NULL reads as the empty text, so
/// --where-null also matches an empty text.
std::vector<int> MatchingRows(const VordexApi& api, const ColumnList& columns, const std::string& table,
                              const std::vector<WhereCondition>& where) {
    std::vector<std::pair<int, std::string>> wanted;
    for (const WhereCondition& condition : where) {
        wanted.emplace_back(FindField(columns, table, condition.column), condition.value.value_or(""));
    }
    std::vector<int> rows;
    for (int row = 0; api.IsEOF() == 0; ++row) {
        bool all = true;
        for (const auto& [field, value] : wanted) all = all && value == api.GetData(field);
        if (all) rows.push_back(row);
        if (api.MoveNext() == 0) {
            throw CommandFailure("cannot move past row " + std::to_string(row) + " of table " + Quoted(table));
        }
    }
    return rows;
}

/// Values given on the command line must be text of the library's code page.
void CheckText(const std::string& text, const std::string& what) {
    if (!IsValidText(text, HostTextEncoding())) {
        throw UsageError(what + " is not valid " +
                         (HostTextEncoding() == TextEncoding::Utf8 ? "UTF-8" : "CP932") + " text");
    }
}

void CheckWhere(const Invocation& invocation) {
    for (const WhereCondition& condition : invocation.where) {
        CheckText(condition.column, "--where COLUMN");
        if (condition.value) CheckText(*condition.value, "--where VALUE");
    }
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
    std::vector<int> rows = {row.value_or(0)};
    if (byKey) {
        rows = MatchingRows(api, columns, table, invocation.where);
        if (rows.empty()) throw CommandFailure("no row of table " + Quoted(table) + " matches");
    }

    const TextEncoding encoding = HostTextEncoding();
    RowReader reader(api, static_cast<int>(columns.names.size()));
    for (const int r : rows) {
        MoveToRow(api, table, r);
        if (wholeRow && r == rows.front() && HasHeaderLine(format)) {
            Write(context.out, FormatRecord(format, columns.names, encoding));
        }
        if (wholeRow) {
            Write(context.out, FormatRecord(format, reader.Read(), encoding));
        } else {
            Write(context.out, std::string(api.GetData(field)) + '\n');
        }
    }
}

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
    return arguments[2];
}

void RunSet(CommandContext& context) {
    const Invocation& invocation = context.invocation;
    const std::vector<std::string>& arguments = invocation.arguments;
    RejectFormat(context, "set");
    const std::string& table = TableArgument(context);
    if (arguments.size() == 4) {
        throw UsageError("set names its row with --where COLUMN=VALUE, not a row number (rows move when they are "
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
        const std::vector<int> rows = MatchingRows(api, columns, table, invocation.where);
        if (rows.size() != 1) {
            throw CommandFailure(std::to_string(rows.size()) + " rows of table " + Quoted(table) +
                                 " match; set writes only when exactly one does, and wrote nothing");
        }
        row = rows[0];
    }
    MoveToRow(api, table, row);
    const std::string where = "column " + Quoted(columns.names[static_cast<size_t>(field)]) + " of table " +
                              Quoted(table);
    if (api.CanUpdate(field) == 0) throw CommandFailure("table " + Quoted(table) + " cannot be written");
    if (api.Update(field, value.c_str()) == 0) throw CommandFailure("cannot write " + where);
    // Read back: the move fetches the row again, as the data source stored it.
    MoveToRow(api, table, row);
    const std::string stored = api.GetData(field);
    Write(context.out, stored + '\n');
    if (stored != value) Note("the data source stored another text than VALUE in " + where + ": " + Quoted(stored));
}

// A new command is one more line here, its handler above and its text in the help.
constexpr Command kCommands[] = {
    {"tables", "", 0, 0, RunTables},
    {"columns", "TABLE", 1, 1, RunColumns},
    {"rows", "TABLE [--format tsv|csv|raw]", 1, 1, RunRows},
    {"get", "TABLE ROW [FIELD] | TABLE [FIELD] --where COLUMN=VALUE... [--format tsv|csv|raw]", 1, 3, RunGet},
    {"set", "TABLE FIELD VALUE|--null --where COLUMN=VALUE...", 2, 4, RunSet},
    {"help", "[COMMAND]", 0, 1, RunHelp},
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
