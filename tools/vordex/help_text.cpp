#include "help_text.h"

namespace vordex::cli {

std::string_view HelpText() {
    return R"(Usage: vordex [OPTIONS] COMMAND [ARGUMENTS]

Reads the tables of an ODBC data source through the VORDEX library
(libvordex.so.2), which vordex loads at run time like any other host.

Commands:
  tables                  List the tables of the data source, one per line.
                          The library lists at most 32. A name that several
                          schemas hold is listed as SCHEMA.NAME. A data
                          source with no tables ends with status 1, like a
                          failed connection: the library answers both with 0.
  columns TABLE           List the columns of TABLE, one per line.
  rows TABLE              Print every row of TABLE (see --format).
  get TABLE ROW [FIELD]   Print row ROW of TABLE; rows are numbered from 0.
                          Without FIELD the whole row is printed like rows
                          prints it. FIELD is a column name or, when no column
                          has that name, a column number counted from 0; its
                          value is printed as it is, followed by a newline.
  set TABLE ROW FIELD VALUE
                          Write VALUE into FIELD (a name or number, as for
                          get) of row ROW of TABLE. For a character column
                          the library cuts VALUE to the column's catalog
                          length (at most 255 bytes) at a character
                          boundary; a note on standard error shows what was
                          stored when it was cut. Any other value is written
                          as given, for the data source to take or refuse; a
                          value over 255 bytes is refused. Writing the value
                          the field already holds changes nothing.
  set TABLE ROW FIELD --null
                          Write NULL into FIELD. (An empty VALUE is refused:
                          say --null.)
  help                    Show this text.

TABLE is a table name as the data source resolves it (for PostgreSQL, along
the search path), or SCHEMA.NAME as tables prints it, which also reaches a
table of a schema outside the search path.

Options (anywhere on the line, as --name VALUE or --name=VALUE; "--" ends
the options, e.g. for a table whose name starts with "-"):
  --connect STRING        The ODBC connect string, e.g. "DSN=Sales" or
                          "DRIVER={PostgreSQL};Servername=db;Database=sales".
                          It is handed to the library as VORDEX_CONNECT.
  --format tsv|csv|raw    The output of rows, and of get without FIELD.
                          Default: tsv.
  --library PATH          The library to load. A name without "/" is looked
                          up by the dynamic loader. Default: the
                          libvordex.so.2 of the build tree vordex was built
                          in, when it is there, else libvordex.so.2 wherever
                          the dynamic loader finds it.
  --null                  With set: write NULL instead of a VALUE.
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
  NULL is printed as an empty value. Texts keep the library's code page.
  Only the first 32 columns of a table can be read; for a wider table a note
  on standard error says so. When standard error is a terminal and standard
  output is not, rows shows a running row count on standard error.

Environment:
  VORDEX_CONNECT   The connect string when --connect is not given. With
                   neither, the library offers a menu of the data sources
                   unixODBC knows on the terminal; without a terminal the
                   command fails.
  VORDEX_DIALOG    Where the library's messages go: tty (on the terminal,
                   waiting for Enter), stderr (one line "VORDEX: ..." on
                   standard error) or none. When it is unset or empty,
                   vordex sets it to stderr.
  VORDEX_CODEPAGE  932 makes the library use CP932 (Shift_JIS) texts;
                   otherwise LC_ALL, LC_CTYPE or LANG decide. Escaping
                   follows the same choice.
  ODBCSYSINI, ODBCINI
                   Where unixODBC reads its driver and data source
                   definitions.

Exit status:
  0  success
  1  failure: the library could not be loaded, a library call failed, or
     the table, row or column does not exist. vordex says why in one line
     "vordex: ..." on standard error, after any message of the library.
  2  usage error: the command line is wrong.

Examples:
  vordex --connect DSN=Sales tables
  vordex --connect DSN=Sales rows customers --format csv > customers.csv
  vordex --connect DSN=Sales get customers 0 name
  vordex --connect DSN=Sales set customers 0 name "New name"
)";
}

}  // namespace vordex::cli
