#include "commands.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli_errors.h"
#include "help_text.h"
#include "library_messages.h"
#include "output_format.h"
#include "progress.h"
#include "row_reader.h"
#include "text_encoding.h"

namespace vordex::cli {
namespace {

/// After a failed write: a reader that has gone (EPIPE; SIGPIPE is ignored
/// while vordex runs) is no failure to report, anything else is.
[[noreturn]] void OutputFailed() {
    if (errno == EPIPE) throw OutputClosed();
    throw CommandFailure(std::string("cannot write the output: ") + std::strerror(errno));
}

void Write(std::FILE* out, std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) OutputFailed();
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

struct TableListing {
    std::vector<std::string> names;
    bool full = false;  // the library's limit was reached: there may be more
};

/// Lists the tables, as the library hands them out. Every command lists
/// first, so that a name means in vordex the table it means to a C host
/// that lists first.
TableListing ListTables(const VordexApi& api) {
    int count = 0;
    const std::string shown = MessagesShownBy([&] { count = api.Table(); });
    if (count <= 0) {
        if (LibraryMessagesVisible() && shown.empty()) {
            throw CommandFailure(
                "no data source was chosen: give --connect CONNECT or set VORDEX_CONNECT (without "
                "them the data source is chosen on the desktop or the terminal; there was none, or "
                "the choice was cancelled)");
        }
        throw CommandFailure(
            "no tables listed (the library's message above says why; without one, the choice of "
            "data source was cancelled)");
    }
    TableListing listing;
    listing.full = count >= kListLimit;
    for (int i = 0; i < count && i < kListLimit; ++i) listing.names.emplace_back(api.GetTableList(i));
    return listing;
}

/// A name that the listing holds only as SCHEMA.NAME under several schemas
/// would open whichever the library looks in first: refused, naming them.
void RefuseAmbiguousName(const TableListing& listing, const std::string& table) {
    std::vector<std::string> candidates;
    for (const std::string& name : listing.names) {
        if (name == table) return;
        if (name.size() > table.size() && name.compare(name.size() - table.size(), table.size(), table) == 0 &&
            name[name.size() - table.size() - 1] == '.') {
            candidates.push_back(name);
        }
    }
    if (candidates.size() < 2) return;
    std::string names;
    for (const std::string& name : candidates) names += (names.empty() ? "" : ", ") + name;
    throw CommandFailure("table " + Quoted(table) + " is in several schemas (" + names + "): name one of them");
}

/// Lists the columns of `table`, which makes it the table a record opens. A
/// name is a listed name, SCHEMA.TABLE (listed or not), or a name the
/// library looks for under the schema of the first listed table.
ColumnList ListColumns(const VordexApi& api, const std::string& table) {
    const TableListing listing = ListTables(api);
    RefuseAmbiguousName(listing, table);
    ColumnList columns;
    const std::string shown = MessagesShownBy([&] { columns.total = api.Open(table.c_str()); });
    if (columns.total <= 0) {
        if (Shows(shown, LibraryMessage::NoFieldFound)) {
            throw CommandFailure("there is no table " + Quoted(table) + " (" +
                                 (listing.full ? "vordex tables shows the first 32; name another schema's table as "
                                                 "SCHEMA.TABLE"
                                               : "vordex tables lists them") +
                                 ")");
        }
        throw CommandFailure("cannot list the columns of table " + Quoted(table));
    }
    if (columns.total > kListLimit) {
        Note("table " + Quoted(table) + " has " + std::to_string(columns.total) + " columns; only the first " +
             std::to_string(kListLimit) + " are shown");
    }
    const int readable = columns.total < kListLimit ? columns.total : kListLimit;
    for (int i = 0; i < readable; ++i) columns.names.emplace_back(api.GetNameList(i));
    return columns;
}

constexpr char kOverTheLimit[] = "a value longer than the library's limit of 255 bytes";

std::string TooLongToRead(const std::string& table, long row) {
    return "row " + std::to_string(row) + " of table " + Quoted(table) + " holds " + kOverTheLimit +
           ", and cannot be read";
}

void OpenRecord(const VordexApi& api, const std::string& table) {
    int opened = 0;
    const std::string shown = MessagesShownBy([&] { opened = api.OpenRec(); });
    if (opened != 0) return;
    if (Shows(shown, LibraryMessage::ValueTooLongToRead)) {
        throw CommandFailure(TooLongToRead(table, 0) + " (the library opens no table on a first row it cannot read)");
    }
    throw CommandFailure("cannot open table " + Quoted(table) + " for reading");
}

/// Moves onto `row` and tells whether the move failed on a value over the
/// library's limit. Only the library's messages on standard error tell.
bool MoveFailsOnLongValue(const VordexApi& api, long row, bool passOn, int& moved) {
    moved = 0;
    if (row > 2147483647L) return false;
    const std::string shown = MessagesShownBy([&] { moved = api.Seek(static_cast<int>(row)); }, passOn);
    return moved == 0 && Shows(shown, LibraryMessage::ValueTooLongToRead);
}

/// After a failed move past `row`: why, as the library's message says when
/// the row is moved onto again (the message then not shown twice).
bool NextRowTooLong(const VordexApi& api, long row) {
    int moved = 0;
    return LibraryMessagesVisible() && MoveFailsOnLongValue(api, row + 1, false, moved);
}

[[noreturn]] void MoveFailed(const std::string& table, long row) {
    throw CommandFailure("cannot move past row " + std::to_string(row) + " of table " + Quoted(table));
}

/// Moves past `row` onto the next row that can be read, or past the end.
/// Rows that the library cannot read (a value over its limit: the move onto
/// such a row fails, and the next move goes on past it) are added to
/// `skipped`. Returns the number of the row now current.
long MovePastRow(const VordexApi& api, const std::string& table, long row, std::vector<long>& skipped) {
    if (api.MoveNext() != 0) return row + 1;
    bool tooLong = NextRowTooLong(api, row);
    for (long next = row + 1;; ++next) {
        if (!tooLong) MoveFailed(table, next - 1);
        skipped.push_back(next);
        int moved = 0;
        tooLong = MoveFailsOnLongValue(api, next + 1, true, moved);
        if (moved != 0) return next + 1;
    }
}

/// "row 4 of table 't' holds ..., and was skipped", "rows 1-3, 7 of table
/// 't' hold ..., and were skipped", in increasing order.
std::string SkippedRows(const std::vector<long>& rows, const std::string& table) {
    std::string list;
    for (size_t i = 0; i < rows.size(); ++i) {
        size_t last = i;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1) ++last;
        list += (list.empty() ? "" : ", ") + std::to_string(rows[i]);
        if (last > i) list += "-" + std::to_string(rows[last]);
        i = last;
    }
    const bool one = rows.size() == 1;
    return (one ? "row " : "rows ") + list + " of table " + Quoted(table) + (one ? " holds " : " hold ") +
           kOverTheLimit + ", and " + (one ? "was" : "were") + " skipped";
}

void MoveToRow(const VordexApi& api, const std::string& table, int row) {
    const std::string where = "row " + std::to_string(row) + " of table " + Quoted(table);
    int moved = 0;
    const std::string shown = MessagesShownBy([&] { moved = api.Seek(row); });
    if (moved == 0 && Shows(shown, LibraryMessage::ValueTooLongToRead)) throw CommandFailure(TooLongToRead(table, row));
    if (moved == 0) throw CommandFailure("cannot move to " + where);
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

/// Values given on the command line must be text of the library's code page.
void CheckText(const std::string& text, const std::string& what) {
    if (!IsValidText(text, HostTextEncoding())) {
        throw UsageError(what + " is not valid " + (HostTextEncoding() == TextEncoding::Utf8 ? "UTF-8" : "CP932") +
                         " text, the code page the library takes it in (VORDEX_CODEPAGE, else the locale)");
    }
}

// An empty name names no table; refused before the library is loaded.
const std::string& TableArgument(const CommandContext& context) {
    const std::string& table = context.invocation.arguments[0];
    if (table.empty()) throw UsageError("TABLE must not be empty");
    CheckText(table, "TABLE");
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
    const TextEncoding encoding = HostTextEncoding();
    const VordexApi& api = context.library();
    LibrarySession session(api);
    const ColumnList columns = ListColumns(api, table);
    OpenRecord(api, table);
    if (HasHeaderLine(format)) Write(context.out, FormatRecord(format, columns.names, encoding));

    RowReader reader(api, static_cast<int>(columns.names.size()));
    RowProgress progress;
    std::vector<long> skipped;
    try {
        for (long row = 0; api.IsEOF() == 0;) {
            Write(context.out, FormatRecord(format, reader.Read(), encoding));
            progress.RowDone();
            row = MovePastRow(api, table, row, skipped);
        }
    } catch (const CommandFailure&) {
        if (!skipped.empty()) Note(SkippedRows(skipped, table));
        throw;
    }
    if (!skipped.empty()) throw CommandFailure(SkippedRows(skipped, table) + "; the other rows were printed");
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
        if (api.MoveNext() != 0) continue;
        if (NextRowTooLong(api, row)) {
            throw CommandFailure(TooLongToRead(table, row + 1) + " (--where reads every row)");
        }
        MoveFailed(table, row);
    }
    return rows;
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
        const std::vector<int> rows = MatchingRows(api, columns, table, invocation.where);
        if (rows.size() != 1) {
            throw CommandFailure(std::to_string(rows.size()) + " rows of table " + Quoted(table) +
                                 " match; set writes only when exactly one does, and wrote nothing");
        }
        row = rows[0];
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
    if (stored != value) {
        throw CommandFailure(
            "the data source stored " + Quoted(stored) + ", not VALUE " + Quoted(value) + ", in " + where,
            kExitStoredOtherwise);
    }
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

void FlushOutput(std::FILE* out) {
    if (std::fflush(out) != 0) OutputFailed();
    // An error of an earlier write whose errno is gone.
    if (std::ferror(out)) throw CommandFailure("cannot write the output");
}

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
