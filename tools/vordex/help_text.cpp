#include "help_text.h"

namespace vordex::cli {
namespace {

struct CommandText {
    std::string_view name;
    std::string_view text;
};

constexpr CommandText kCommandTexts[] = {
    {"tables", R"(  tables                  List the tables of the data source, one per line:
                          its ordinary tables; a data source without any
                          lists its system tables, views and synonyms, and
                          one without those every table it has. The library
                          lists at most 32. A name that several schemas hold
                          is listed as SCHEMA.NAME. A data source with
                          nothing to list ends with status 1, like a failed
                          connection: the library answers both with 0.
)"},
    {"columns", R"(  columns TABLE           List the columns of TABLE, one per line.
)"},
    {"rows", R"(  rows TABLE              Print every row of TABLE (see --format). A row
                          holding a value over the library's 255 bytes
                          cannot be read: rows goes on past it, names it on
                          standard error (numbered from 0, as get counts)
                          and ends with status 1. A first row that cannot be
                          read ends rows at once: the library then opens no
                          table. (Only the library's messages tell why a row
                          failed: with VORDEX_DIALOG other than stderr, rows
                          stops at such a row.)
)"},
    {"get", R"(  get TABLE ROW [FIELD]   Print row ROW of TABLE; rows are numbered from 0
                          in the order the data source hands them out.
  get TABLE [FIELD] --where COLUMN=VALUE ...
                          Print every row whose columns hold these values.
                          Without FIELD whole rows are printed like rows
                          prints them. FIELD is a column name or, when no
                          column has that name, a column number counted from
                          0; its value is printed as it is, followed by a
                          newline.
                          --where reads the whole table, row by row (a
                          scan: no index helps), and compares the text each
                          value prints as, byte for byte: id=07 finds no id
                          that prints as 7, and mpg=18 no mpg that prints
                          as 18.0 (get TABLE ROW shows how values print).
                          A row holding a value over the library's 255
                          bytes cannot be read: the scan goes on past it, as
                          rows does. The rows that match among the others
                          are printed; then, since a row skipped might have
                          matched, get names the rows skipped and ends with
                          status 1.
)"},
    {"set", R"(  set TABLE FIELD VALUE --where COLUMN=VALUE ...
                          Write VALUE into FIELD (a name or number, as for
                          get) of the one row whose columns hold these
                          values (every --where must match; --where-null
                          COLUMN matches a NULL, or an empty text, which the
                          library reads alike). When no row or more than one
                          matches, nothing is written and the count is
                          said. Rows the library cannot read (see get) are
                          skipped and named on standard error: the one row
                          that matches among the others is written (name
                          rows by a key, which a skipped row cannot share).
                          The row is then read again and the stored value
                          printed. VALUE over 255 bytes is refused (exit
                          status 2). When the value stored means other than
                          VALUE, set says so with both and ends with status
                          3: written, but not as given (a text cut to the
                          column's catalog length, a number or a time
                          rounded). The library tells no column types, so
                          the two texts decide, read as the first kind both
                          are: the same text, or VALUE then blanks (CHAR
                          padding); numbers of equal value (5 and 5.0, 1e3
                          and 1000, 007 and 7); truth values (true t yes y on
                          1, false f no n off 0, any case); the same day and
                          time (yyyy-mm-dd, hh:mm:ss[.fffffffff], yyyy-mm-dd
                          hh:mm:ss[.fffffffff]; a date alone is its
                          midnight). Status 1 means nothing was written.
                          Writing the value the field already holds changes
                          nothing.
  set TABLE FIELD --null --where COLUMN=VALUE ...
                          Write NULL into FIELD. (An empty VALUE is refused:
                          say --null.)
  set TABLE FIELD VALUE --row N
                          Write into row N, counted from 0. Unsafe: rows have
                          no fixed order, and PostgreSQL moves a row it writes
                          to the end, so the same N names another row after
                          every write. Use --where unless the table cannot
                          change.
)"},
    {"help", R"(  help [COMMAND]          Show this text, or the part about COMMAND.
)"},
};

constexpr std::string_view kHead = R"(Usage: vordex [OPTIONS] COMMAND [ARGUMENTS]

Reads the tables of an ODBC data source through the VORDEX library
(libvordex.so.2), which vordex loads at run time like any other host.

Commands:
)";

constexpr std::string_view kTail = R"(
TABLE is a name as tables prints it, or SCHEMA.NAME for any table or view
of that schema, listed or not. Every command lists the tables first, so a
name means what it means to a C host that lists first: a name not listed is
looked for in the schema of the first table listed. A name tables prints
only as SCHEMA.NAME under several schemas is refused, naming them.

Options (anywhere on the line, as --name VALUE or --name=VALUE; "--" ends
the options, e.g. for a table whose name starts with "-"):
  --connect STRING        The ODBC connect string (quote it for the shell),
                          handed to the library as VORDEX_CONNECT. Drivers
                          are named as in /etc/odbcinst.ini, e.g.:
      "DSN=Sales"
      "DRIVER={PostgreSQL Unicode};Servername=db;Database=sales;Username=me"
      "DRIVER={MariaDB Unicode};Server=db;Port=3306;Database=sales;User=me"
      "Driver=SQLite3;Database=/path/to/sales.db"
  --format tsv|csv|raw|json|ndjson
                          The output of rows, and of get without FIELD.
                          Default: tsv.
  --library PATH          The library to load. A name without "/" is looked
                          up by the dynamic loader. Default: the
                          libvordex.so.2 of the build tree vordex was built
                          in, when it is there, else libvordex.so.2 wherever
                          the dynamic loader finds it.
  --null                  With set: write NULL instead of a VALUE.
  --where COLUMN=VALUE    With get and set: the rows whose COLUMN prints as
                          VALUE (repeat it: every one must match; see get).
  --where-null COLUMN     The rows whose COLUMN is NULL or the empty text:
                          the library reads both as the empty text.
  --row N                 With set: the row by its number (see set: unsafe).
  --version               Show the versions of vordex and of the library.
  -h, --help              Show this text.

Output formats:
  tsv   A line of column names, then a line per row. Values are separated
        by a tab; inside a value a backslash is written as \\, a tab as \t,
        a line feed as \n and a carriage return as \r. Lines end with LF.
  csv   RFC 4180: a line of column names, then a line per row. A value with
        a comma, a double quote, CR or LF is enclosed in double quotes, its
        double quotes doubled. Lines end with CRLF.
  raw   No header. Each row as the library hands it out: every value
        followed by the byte 0x1E; then LF.
  json  One JSON array of objects, one a row: {"column":"value",...}, every
        value a string as the library hands it out. The array opens with
        "[", each object on a line of its own, and "]" ends it.
  ndjson  One such object a line, ended by LF; no array around them.
  NULL is printed as an empty value (the library hands out NULL and the
  empty text alike, as ""). Texts keep the library's code page, except in
  json and ndjson, which are UTF-8: texts of CP932 are converted (a byte that
  is no character becomes "?"), and a quote, a backslash and control
  characters are escaped (\", \\, \n, \t, \u001e...).
  Only the first 32 columns of a table can be read; for a wider table a note
  on standard error says so. When standard error is a terminal, the rows
  read so far are counted there as rows and --where read them (rows: only
  while standard output is not a terminal). The library tells no row count,
  so there is no total.

Environment:
  VORDEX_CONNECT   The connect string when --connect is not given. With
                   neither, the library offers a menu of the data sources
                   unixODBC knows on the terminal; without a terminal the
                   command fails.
  VORDEX_DIALOG    Where the library's messages go: tty (on the terminal,
                   waiting for Enter), stderr (lines "VORDEX: ..." on
                   standard error), desktop (a dialog window) or none. When
                   it is unset or empty, vordex sets it to stderr; any other
                   value is an error.
  VORDEX_CODEPAGE  932 makes the library use CP932 (Shift_JIS) texts;
                   otherwise LC_ALL, LC_CTYPE or LANG decide. Escaping
                   follows the same choice, and so do the checks of VALUE.
  VORDEX_MESSAGES  The language of the library's own messages: en for
                   English, anything else for Japanese. Unset or empty,
                   the library follows the locale: Japanese when LC_ALL,
                   else LC_MESSAGES, else LANG begins with "ja", otherwise
                   English. vordex's own lines are English in any case.
  ODBCSYSINI, ODBCINI
                   Where unixODBC reads its driver and data source
                   definitions.

Exit status:
  0  success
  1  failure: the library could not be loaded, a library call failed, or
     the table, row or column does not exist, or --where matched no row or
     (for set) more than one, or rows or get skipped a row it could not
     read (the others were printed). set wrote nothing. vordex says why in
     one line "vordex: ..." on standard error, after any message of the
     library.
  2  usage error: the command line is wrong.
  3  set wrote, but the data source stored a value that means other than
     VALUE (both are said; see set).
  When the reader of the output goes away (vordex rows t | head), vordex
  ends quietly by SIGPIPE, as cat does: the shell shows status 141.

Examples:
  vordex --connect "Driver=SQLite3;Database=$HOME/sales.db" tables
  vordex --connect DSN=Sales tables
  vordex --connect DSN=Sales rows customers --format csv > customers.csv
  vordex --connect DSN=Sales get customers --where id=42 name
  vordex --connect DSN=Sales set customers name "New name" --where id=42
)";

}  // namespace

std::string HelpText() {
    std::string text(kHead);
    for (const CommandText& command : kCommandTexts) text += command.text;
    text += kTail;
    return text;
}

std::string_view CommandHelp(std::string_view command) {
    for (const CommandText& entry : kCommandTexts) {
        if (entry.name == command) return entry.text;
    }
    return {};
}

}  // namespace vordex::cli
