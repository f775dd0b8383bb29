/* The shared library as a C host sees it: loaded with dlopen, every export
 * resolved by name, driven against databases of the private PostgreSQL
 * cluster that this program creates with psql.
 *
 *   host_c_test PATH/TO/libvordex.so
 *
 * Needs the environment of scripts/with_cluster.sh (PG* variables and
 * VORDEX_TEST_PG_DRIVER); fails when it is missing. Each case runs in a
 * child process of its own, so every case starts with the library freshly
 * loaded and a crash fails only that case. */
#define _POSIX_C_SOURCE 200809L

#include <dlfcn.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define COUNT(array) (sizeof(array) / sizeof(array)[0])

/* ---- checks ------------------------------------------------------------ */

/* Where a check is made, so that a failure names the line of the case
 * (also when a shared step makes the check). */
typedef struct {
    const char* file;
    int line;
} Site;

#define HERE ((Site){__FILE__, __LINE__})

static int checks_run;
static int checks_failed;
static const char* current_case = "";

static void report_failure(Site at, const char* format, ...) {
    va_list args;
    checks_failed++;
    printf("%s:%d: [%s] FAILED: ", at.file, at.line, current_case);
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
}

/* Names a check from a printf format; the text lasts until the next call. */
__attribute__((format(printf, 1, 2))) static const char* label(const char* format, ...) {
    static char text[96];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

/* Prints bytes with control and non-ASCII bytes escaped, so that CR, 0x1E
 * and NUL show up in a failure report. */
static void print_escaped(const char* bytes, size_t length) {
    if (bytes == NULL) {
        printf("(null)");
        return;
    }
    putchar('"');
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)bytes[i];
        if (c == '\\' || c == '"') {
            printf("\\%c", c);
        } else if (c < 0x20 || c == 0x7f) {
            printf("\\x%02X", c);
        } else {
            putchar(c);
        }
    }
    putchar('"');
}

static void check_true(Site at, int ok, const char* what) {
    checks_run++;
    if (!ok) report_failure(at, "%s", what);
}

static void check_int(Site at, long actual, long expected, const char* what) {
    checks_run++;
    if (actual != expected) report_failure(at, "%s is %ld, expected %ld", what, actual, expected);
}

static void check_bytes(Site at, const char* actual, size_t actual_length, const char* expected, size_t expected_length,
                        const char* what) {
    checks_run++;
    if (actual != NULL && actual_length == expected_length && memcmp(actual, expected, expected_length) == 0) return;
    report_failure(at, "%s differs", what);
    printf("    actual:   ");
    print_escaped(actual, actual_length);
    printf("\n    expected: ");
    print_escaped(expected, expected_length);
    printf("\n");
    fflush(stdout);
}

static void check_str(Site at, const char* actual, const char* expected, const char* what) {
    check_bytes(at, actual, actual == NULL ? 0 : strlen(actual), expected, strlen(expected), what);
}

#define CHECK(cond) check_true(HERE, (cond) ? 1 : 0, #cond)
#define CHECK_INT(actual, expected) check_int(HERE, (long)(actual), (long)(expected), #actual)
#define CHECK_STR(actual, expected) check_str(HERE, (actual), (expected), #actual)

/* What a list function returns at an index. */
typedef struct {
    int index;
    const char* text;
} Item;

static void check_items(Site at, const char* (*get)(int), const char* name, const Item* items, size_t count) {
    for (size_t k = 0; k < count; k++)
        check_str(at, get(items[k].index), items[k].text, label("%s(%d)", name, items[k].index));
}

/* CHECK_ITEMS(lib.GetNameList, {0, "id"}, {9, ""}) checks what
 * lib.GetNameList returns at 0 and at 9. */
#define CHECK_ITEMS(get, ...)                                   \
    do {                                                        \
        static const Item items_[] = {__VA_ARGS__};             \
        check_items(HERE, (get), #get, items_, COUNT(items_));  \
    } while (0)

/* Ends the case at once (its child process exits) when a precondition for
 * the rest of it does not hold. */
#define REQUIRE(cond)                                  \
    do {                                               \
        if (!(cond)) {                                 \
            check_true(HERE, 0, "required: " #cond);   \
            finish_child();                            \
        }                                              \
    } while (0)

/* ---- the library ------------------------------------------------------- */

/* The exports, by return type, name after "VORDEX_" and parameters: those
 * that read, and those that write. */
#define READING_FUNCTIONS(X)            \
    X(int, GetVersion, (void))          \
    X(int, IsOpen, (void))              \
    X(void, Close, (void))              \
    X(int, Table, (void))               \
    X(const char*, GetTableList, (int)) \
    X(const char*, GetDirName, (void))  \
    X(int, Open, (const char*))         \
    X(const char*, GetNameList, (int))  \
    X(int, OpenRec, (void))             \
    X(void, CloseRec, (void))           \
    X(int, IsEOF, (void))               \
    X(int, MoveNext, (void))            \
    X(int, Seek, (int))                 \
    X(const char*, GetData, (int))      \
    X(int, ListText, (char*, int))
#define WRITING_FUNCTIONS(X) X(int, CanUpdate, (int)) X(int, Update, (int, const char*))
#define FUNCTION_POINTER(type, name, params) type(*name) params;

typedef struct {
    void* handle;
    READING_FUNCTIONS(FUNCTION_POINTER)
    WRITING_FUNCTIONS(FUNCTION_POINTER)
} Vordex;

/* The library as this process loaded it: a case runs in a process of its
 * own and loads it once. */
static Vordex lib;
static const char* library_path;
static int result_pipe = -1;

static void finish_child(void) {
    char line[64];
    int n = snprintf(line, sizeof line, "%d %d\n", checks_run, checks_failed);
    fflush(stdout);
    if (write(result_pipe, line, (size_t)n) != n) _exit(2);
    _exit(checks_failed == 0 ? 0 : 1);
}

static void resolve(const char* name, void* slot, size_t slot_size) {
    void* symbol = dlsym(lib.handle, name);
    checks_run++;
    if (symbol == NULL) {
        report_failure(HERE, "the library does not export %s", name);
    } else {
        memcpy(slot, &symbol, slot_size);
    }
}

#define RESOLVE(type, name, params) resolve("VORDEX_" #name, &lib.name, sizeof lib.name);

/* Loads the library and resolves the functions that read; ends the case when
 * any is missing. */
static void load_library(void) {
    memset(&lib, 0, sizeof lib);
    lib.handle = dlopen(library_path, RTLD_NOW | RTLD_LOCAL);
    if (lib.handle == NULL) {
        checks_run++;
        report_failure(HERE, "dlopen(%s): %s", library_path, dlerror());
        finish_child();
    }
    int failed_before = checks_failed;
    READING_FUNCTIONS(RESOLVE)
    if (checks_failed != failed_before) finish_child();
}

/* The functions that write, resolved on their own so that their absence
 * fails only the case that asks for them. */
static void load_writing_functions(void) { WRITING_FUNCTIONS(RESOLVE) }

static void unload_library(void) {
    if (lib.handle != NULL) CHECK_INT(dlclose(lib.handle), 0);
    lib.handle = NULL;
}

/* ---- the library's messages --------------------------------------------- */

#define LINE(text) "VORDEX: " text "\n"
#define FIXED_TEXT "ODBCﾄﾞﾗｲﾊﾞで回復できないエラーが発生しました."
#define TOO_LONG_TEXT "値が255バイトを超えるため, 行を読めません."
/* The no-field message's CR LF and blank line become a second line. */
#define NO_FIELD_TEXT "フィールドが見つかりません.\nVORDEX: ODBC32,ODBCﾄﾞﾗｲﾊﾞ,ﾃﾞｰﾀﾍﾞｰｽﾌｧｲﾙ名等を確認して下さい"
#define INSIDE_TEXT " 内に"

/* Standard error goes to a temporary file between capture_begin and
 * CHECK_MESSAGES, which compares what the library wrote there. */
static struct {
    int saved;
    int file;
} capture;

static void capture_begin(void) {
    char path[] = "/tmp/vordex-host-stderr.XXXXXX";
    fflush(stderr);
    capture.file = mkstemp(path);
    if (capture.file < 0) {
        perror("mkstemp");
        finish_child();
    }
    unlink(path);
    capture.saved = dup(2);
    dup2(capture.file, 2);
}

static void check_messages(Site at, const char* expected) {
    fflush(stderr);
    dup2(capture.saved, 2);
    close(capture.saved);
    off_t size = lseek(capture.file, 0, SEEK_END);
    char* text = malloc((size_t)size + 1);
    if (text == NULL) abort();
    ssize_t got = pread(capture.file, text, (size_t)size, 0);
    close(capture.file);
    size_t length = got < 0 ? 0 : (size_t)got;
    check_bytes(at, text, length, expected, strlen(expected), "messages on standard error");
    free(text);
}

#define CHECK_MESSAGES(expected) check_messages(HERE, (expected))

/* ---- the cluster -------------------------------------------------------- */

/* Runs the SQL that `format` makes through psql against database `db`;
 * returns whether psql succeeded. Its unaligned, tuples-only output, without
 * the final newline, goes to *output (malloc'd) unless `output` is NULL. */
__attribute__((format(printf, 3, 4))) static int psql(char** output, const char* db, const char* format, ...) {
    char path[] = "/tmp/vordex-host-sql.XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return 0;
    va_list args;
    va_start(args, format);
    int written = vdprintf(fd, format, args);
    va_end(args);
    close(fd);
    char command[256];
    snprintf(command, sizeof command, "psql -X -q -A -t -v ON_ERROR_STOP=1 -d '%s' -f '%s'", db, path);
    FILE* pipe = written >= 0 ? popen(command, "r") : NULL;
    int ok = 0;
    if (pipe != NULL) {
        char* text = NULL;
        size_t size = 0;
        FILE* sink = open_memstream(&text, &size);
        if (sink == NULL) abort();
        for (int c; (c = fgetc(pipe)) != EOF;) fputc(c, sink);
        fclose(sink);
        ok = pclose(pipe) == 0;
        while (size > 0 && text[size - 1] == '\n') text[--size] = '\0';
        if (ok && output != NULL) {
            *output = text;
        } else {
            free(text);
        }
    }
    unlink(path);
    return ok;
}

/* Drops and creates database `db`, runs `setup` in it and points
 * VORDEX_CONNECT at it. Ends the case when psql fails. */
static void fresh_database(const char* db, const char* setup) {
    REQUIRE(psql(NULL, getenv("PGDATABASE"),
                 "SET client_min_messages = warning;\nDROP DATABASE IF EXISTS %s WITH (FORCE);\nCREATE DATABASE %s;\n",
                 db, db));
    REQUIRE(psql(NULL, db, "%s", setup));

    const char* base = getenv("VORDEX_TEST_PG_DRIVER");
    const char* key = "Database=vordex_test";
    const char* at = strstr(base, key);
    REQUIRE(at != NULL);
    char connect[512];
    snprintf(connect, sizeof connect, "%.*sDatabase=%s%s", (int)(at - base), base, db, at + strlen(key));
    setenv("VORDEX_CONNECT", connect, 1);
}

/* Server sessions connected to database `db`. */
static long sessions_on(const char* db) {
    char* out = NULL;
    long count = -1;
    if (psql(&out, getenv("PGDATABASE"), "SELECT count(*) FROM pg_stat_activity WHERE datname = '%s';", db))
        count = strtol(out, NULL, 10);
    free(out);
    return count;
}

/* The server notices a closed session a moment after the client closes it:
 * polls (a bounded number of times) until no session is left on `db`, and
 * returns the count last seen. */
static long sessions_after_close(const char* db) {
    long count = sessions_on(db);
    for (int attempt = 0; attempt < 200 && count != 0; attempt++) {
        struct timespec pause = {0, 50 * 1000 * 1000};
        nanosleep(&pause, NULL);
        count = sessions_on(db);
    }
    return count;
}

/* ---- SQL builders ------------------------------------------------------- */

/* The SQL that a case sets its database up with, built a piece at a time. */
static char setup_sql[16384];

static void sql_add(const char* format, ...) {
    size_t used = strlen(setup_sql);
    va_list args;
    va_start(args, format);
    int n = vsnprintf(setup_sql + used, sizeof setup_sql - used, format, args);
    va_end(args);
    if (n < 0 || (size_t)n >= sizeof setup_sql - used) abort();
}

/* ---- steps the cases share ---------------------------------------------- */

/* Makes database `db` from `setup`, loads the library and starts capturing
 * standard error. */
static void start(const char* db, const char* setup) {
    fresh_database(db, setup);
    load_library();
    capture_begin();
}

/* Compares what the library wrote since the capture began with `messages`,
 * then closes the connection and unloads the library. */
static void finish(Site at, const char* messages) {
    check_messages(at, messages);
    lib.Close();
    unload_library();
}

/* Opens `table` and then its record, each returning what is expected. */
static void open_record(Site at, const char* table, int fields, int opened) {
    check_int(at, lib.Open(table), fields, label("VORDEX_Open(\"%s\")", table));
    check_int(at, lib.OpenRec(), opened, "VORDEX_OpenRec()");
}

/* Lists the tables, then opens the record of `table`. */
static void list_and_open(Site at, int tables, const char* table, int fields) {
    check_int(at, lib.Table(), tables, "VORDEX_Table()");
    open_record(at, table, fields, 1);
}

/* From the current row on, checks that each of `count` rows is reached by a
 * move and holds rows[i] in field `field`. */
static void check_walk(Site at, int field, const char* const* rows, int count) {
    for (int i = 0; i < count; i++) {
        if (i > 0) check_int(at, lib.MoveNext(), 1, label("MoveNext() to row %d", i));
        check_int(at, lib.IsEOF(), 0, label("IsEOF() at row %d", i));
        check_str(at, lib.GetData(field), rows[i], label("GetData(%d) at row %d", field, i));
    }
}

/* The next move fails and shows the driver's message. */
static void check_move_fails(Site at) {
    capture_begin();
    check_int(at, lib.MoveNext(), 0, "MoveNext() past the end");
    check_messages(at, LINE(FIXED_TEXT));
}

/* ListText of `what` into a buffer said to hold `size` bytes returns
 * `result`; it writes `text` and a NUL, or nothing when `text` is NULL, and
 * leaves the rest of the buffer as it was. */
static void check_list_text(Site at, const char* what, int size, int result, const char* text) {
    char buffer[1024];
    memset(buffer, '#', sizeof buffer);
    check_int(at, lib.ListText(buffer, size), result, label("ListText of %s into %d bytes", what, size));
    size_t written = text == NULL ? 0 : strlen(text) + 1;
    if (text != NULL) check_bytes(at, buffer, written, text, written, label("text of %s in %d bytes", what, size));
    /* The bytes after the text up to the last one ListText changed: none. */
    size_t changed = sizeof buffer;
    while (changed > written && buffer[changed - 1] == '#') changed--;
    check_bytes(at, buffer + written, changed - written, "", 0,
                label("bytes changed after the text of %s in %d bytes", what, size));
}

/* Checks the whole current row through GetData and ListText. */
#define CHECK_ROW(...)                                   \
    do {                                                 \
        static const char* const row_[] = {__VA_ARGS__}; \
        check_row(HERE, (int)COUNT(row_), row_);         \
    } while (0)

static void check_row(Site at, int count, const char* const* values) {
    char expected[1024] = "";
    size_t length = 0;
    for (int i = 0; i < count; i++) {
        check_str(at, lib.GetData(i), values[i], label("GetData(%d)", i));
        length += (size_t)snprintf(expected + length, sizeof expected - length, "%s\x1E", values[i]);
    }
    check_str(at, lib.GetData(count), "", "GetData past the last field");
    check_list_text(at, "the row", (int)sizeof expected, count, expected);
}

/* ---- cases -------------------------------------------------------------- */

/* Before any connection: the lists are empty, no record reads, nothing is
 * shown. */
static void case_fresh_library(const void* param) {
    (void)param;
    load_library();
    load_writing_functions();
    capture_begin();
    CHECK_INT(lib.GetVersion(), 0x20070);
    CHECK_INT(lib.IsOpen(), 0);
    CHECK_STR(lib.GetTableList(0), "");
    CHECK_STR(lib.GetDirName(), "");
    CHECK_STR(lib.GetNameList(0), "");
    CHECK(lib.IsEOF() != 0);
    CHECK_STR(lib.GetData(0), "");
    check_list_text(HERE, "no record", 16, 0, NULL);
    if (lib.CanUpdate != NULL) CHECK_INT(lib.CanUpdate(0), 0);
    lib.Close();
    CHECK_INT(lib.IsOpen(), 0);
    CHECK_MESSAGES("");
    unload_library();
}

/* 40 tables (and a view): the first 32 tables in the driver's catalog order,
 * which sorts the names bytewise within the schema, not by creation. */
static void case_table_list(const void* param) {
    (void)param;
    static const char* const expected[32] = {
        "t0",  "t1",  "t10", "t11", "t12", "t13", "t14", "t15", "t16", "t17", "t18",
        "t19", "t2",  "t20", "t21", "t22", "t23", "t24", "t25", "t26", "t27", "t28",
        "t29", "t3",  "t30", "t31", "t32", "t33", "t34", "t35", "t36", "t37"};
    const char* db = "vordex_host_c_tables";
    for (int i = 39; i >= 0; i--) sql_add("CREATE TABLE t%d (id serial PRIMARY KEY, v text);\n", i);
    sql_add("CREATE VIEW t0a AS SELECT 1 AS x;\n");
    start(db, setup_sql);

    CHECK_INT(lib.Table(), 32);
    CHECK_INT(lib.IsOpen(), 1);
    /* Every name stays valid while the others are asked for. */
    const char* names[32];
    for (int i = 0; i < 32; i++) names[i] = lib.GetTableList(i);
    for (int i = 0; i < 32; i++) check_str(HERE, names[i], expected[i], label("GetTableList(%d)", i));
    CHECK_ITEMS(lib.GetTableList, {32, ""}, {33, ""}, {40, ""}, {-1, ""}, {INT_MIN, ""}, {INT_MAX, ""});
    CHECK_STR(lib.GetDirName(), db);
    finish(HERE, "");
}

/* A 600-column table: 512 columns are counted, 32 names kept, in column
 * order. A later open replaces the list. */
static void case_column_list(const void* param) {
    (void)param;
    sql_add("CREATE TABLE wide (");
    for (int i = 1; i <= 600; i++) sql_add("%sf%03d integer", i == 1 ? "" : ", ", 601 - i);
    sql_add(");\nCREATE TABLE narrow (id serial PRIMARY KEY, b text, a text);\n");
    start("vordex_host_c_columns", setup_sql);

    CHECK_INT(lib.Table(), 2);
    CHECK_INT(lib.Open("wide"), 512);
    CHECK_ITEMS(lib.GetNameList, {0, "f600"}, {1, "f599"}, {31, "f569"}, {32, ""}, {511, ""}, {-1, ""});
    CHECK_INT(lib.Open("narrow"), 3);
    CHECK_ITEMS(lib.GetNameList, {0, "id"}, {1, "b"}, {2, "a"}, {3, ""}, {4, ""});
    finish(HERE, "");
}

/* VORDEX_Open of a name without columns: the message names the qualifier
 * of the first listed table (psqlODBC reports the database) and the name. */
typedef struct {
    int list_tables_first;
    const char* table;
    const char* message;
} NoFieldCase;

static const NoFieldCase no_field_cases[] = {
    {1, "nosuch", LINE("vordex_host_c_nofield-nosuch" INSIDE_TEXT NO_FIELD_TEXT)},
    {1, "", LINE("vordex_host_c_nofield" INSIDE_TEXT NO_FIELD_TEXT)},
    {0, "nosuch", LINE("nosuch" INSIDE_TEXT NO_FIELD_TEXT)},
    {0, "", LINE(NO_FIELD_TEXT)},
};

static void case_no_field(const void* param) {
    const NoFieldCase* c = param;
    start("vordex_host_c_nofield", "CREATE TABLE present (id serial PRIMARY KEY, v text);\n");
    if (c->list_tables_first) {
        CHECK_INT(lib.Table(), 1);
        CHECK_MESSAGES("");
        capture_begin();
    }
    CHECK_INT(lib.Open(c->table), 0);
    CHECK_MESSAGES(c->message);
    capture_begin();
    CHECK_STR(lib.GetNameList(0), "");
    if (c->list_tables_first) {
        CHECK_INT(lib.IsOpen(), 1);
        CHECK_STR(lib.GetTableList(0), "present");
    }
    finish(HERE, "");
}

/* NULL reads as "" and does not keep the previous row's value. */
static void case_nulls(const void* param) {
    (void)param;
    start("vordex_host_c_nulls",
          "CREATE TABLE n (id serial PRIMARY KEY, a text, b integer, c text, d date);\n"
          "INSERT INTO n (a, b, c, d) VALUES (NULL, NULL, 'x', NULL), ('', 0, NULL, '2024-02-29'),\n"
          "  ('y', 7, 'z', '1999-12-31');\n");
    list_and_open(HERE, 1, "n", 5);
    CHECK_ROW("1", "", "", "x", "");
    CHECK_INT(lib.MoveNext(), 1);
    CHECK_ROW("2", "", "0", "", "2024-02-29");
    CHECK_INT(lib.MoveNext(), 1);
    CHECK_ROW("3", "y", "7", "z", "1999-12-31");
    finish(HERE, "");
}

/* Values are fetched as text of up to 255 bytes: a longer one makes its row
 * unreadable, whether it is reached by a move or is the first row. */
static void case_long_values(const void* param) {
    (void)param;
    start("vordex_host_c_long",
          "CREATE TABLE lv (id serial PRIMARY KEY, v text);\n"
          "INSERT INTO lv (v) VALUES ('short'), (repeat('y', 255)), (repeat('あ', 85)),\n"
          "  (repeat('x', 300)), ('after');\n"
          "CREATE TABLE lvfirst (id serial PRIMARY KEY, v text);\n"
          "INSERT INTO lvfirst (v) VALUES (repeat('z', 256)), ('second');\n");
    char y255[256], a85[256];
    memset(y255, 'y', 255);
    y255[255] = '\0';
    for (int i = 0; i < 85; i++) memcpy(a85 + 3 * i, "あ", 3);
    a85[255] = '\0';
    const char* const readable[] = {"short", y255, a85};

    list_and_open(HERE, 2, "lv", 2);
    check_walk(HERE, 1, readable, (int)COUNT(readable));
    CHECK_MESSAGES("");
    capture_begin();
    check_int(HERE, lib.MoveNext(), 0, "MoveNext() onto the value of 300 bytes");
    CHECK_MESSAGES(LINE(TOO_LONG_TEXT));

    capture_begin();
    lib.CloseRec();
    open_record(HERE, "lvfirst", 2, 0);
    finish(HERE, LINE(TOO_LONG_TEXT));
}

/* ListText against rows holding known values, for a range of buffer sizes:
 * a value is written only when it, its separator and one more byte fit;
 * otherwise the result is the size and what came before it stays. */
typedef struct {
    const char* table;
    int size;
    int result;
    const char* text; /* what precedes the NUL */
} ListTextCase;

static const ListTextCase list_text_cases[] = {
    /* The row of t3 holds ab, c and "". */
    {"t3", 100, 3, "ab\x1E" "c\x1E\x1E"},
    {"t3", 8, 3, "ab\x1E" "c\x1E\x1E"},
    {"t3", 7, 7, "ab\x1E" "c\x1E"},
    {"t3", 6, 6, "ab\x1E"},
    {"t3", 5, 5, "ab\x1E"},
    {"t3", 4, 4, ""},
    {"t3", 1, 1, ""},
    /* The row of t2 holds abc and de. */
    {"t2", 6, 6, "abc\x1E"},
    {"t2", 8, 8, "abc\x1E"},
    {"t2", 9, 2, "abc\x1E" "de\x1E"},
    {"t2", 100, 2, "abc\x1E" "de\x1E"},
};

static void case_list_text(const void* param) {
    (void)param;
    /* Keyless, to hold exactly these values: only the first row of each is
     * read. */
    sql_add("CREATE TABLE t3 (a text, b text, c text);\n"
            "INSERT INTO t3 VALUES ('ab', 'c', '');\n"
            "CREATE TABLE t2 (a text, b text);\n"
            "INSERT INTO t2 VALUES ('abc', 'de');\n"
            "CREATE TABLE t40 (id serial PRIMARY KEY");
    for (int i = 1; i < 40; i++) sql_add(", c%d text", i);
    sql_add(");\nINSERT INTO t40 (c1");
    for (int i = 2; i < 40; i++) sql_add(", c%d", i);
    sql_add(") VALUES ('x1'");
    for (int i = 2; i < 40; i++) sql_add(", 'x%d'", i);
    sql_add(");\n");
    start("vordex_host_c_listtext", setup_sql);

    CHECK_INT(lib.Table(), 3);
    const char* open_table = "";
    for (size_t k = 0; k < COUNT(list_text_cases); k++) {
        const ListTextCase* c = &list_text_cases[k];
        if (strcmp(open_table, c->table) != 0) {
            lib.CloseRec();
            CHECK(lib.Open(c->table) > 0);
            CHECK_INT(lib.OpenRec(), 1);
            open_table = c->table;
        }
        check_list_text(HERE, c->table, c->size, c->result, c->text);
    }

    /* No room at all, or no buffer: nothing is written. */
    static const int sizes[] = {0, -1, INT_MIN};
    for (size_t k = 0; k < COUNT(sizes); k++) check_list_text(HERE, "t2", sizes[k], 0, NULL);
    CHECK_INT(lib.ListText(NULL, 100), 0);

    /* Of 40 fields, 32 are read. */
    lib.CloseRec();
    open_record(HERE, "t40", 40, 1);
    CHECK_ITEMS(lib.GetData, {0, "1"}, {31, "x31"}, {32, ""}, {39, ""}, {-1, ""});
    char expected[512];
    size_t used = (size_t)snprintf(expected, sizeof expected, "1\x1E");
    for (int i = 1; i < 32; i++) used += (size_t)snprintf(expected + used, sizeof expected - used, "x%d\x1E", i);
    check_list_text(HERE, "t40", 512, 32, expected);

    /* With the record closed nothing is written either. */
    lib.CloseRec();
    check_list_text(HERE, "a closed record", 16, 0, NULL);
    finish(HERE, "");
}

/* The rows of table r that case_walk_and_seek reads, by position. */
static const char* const walk_rows[] = {"r0", "r1", "r2", "r3", "r4"};

/* A seek to `row` of table r succeeds and lands on that row. */
static void check_seek(Site at, int row) {
    static const char* const ids[] = {"1", "2", "3", "4", "5"};
    check_int(at, lib.Seek(row), 1, label("Seek(%d)", row));
    check_int(at, lib.IsEOF(), 0, label("IsEOF() after Seek(%d)", row));
    check_str(at, lib.GetData(1), walk_rows[row], label("GetData(1) after Seek(%d)", row));
    check_str(at, lib.GetData(0), ids[row], label("GetData(0) after Seek(%d)", row));
}

/* Walking a table to its end and past it, then seeking. */
static void case_walk_and_seek(const void* param) {
    (void)param;
    start("vordex_host_c_seek",
          "CREATE TABLE r (id serial PRIMARY KEY, v text);\n"
          "INSERT INTO r (v) VALUES ('r0'), ('r1'), ('r2'), ('r3'), ('r4');\n"
          "CREATE TABLE e (id serial PRIMARY KEY, v text);\n");
    list_and_open(HERE, 2, "r", 2);
    check_walk(HERE, 1, walk_rows, (int)COUNT(walk_rows));
    /* The move past the last row succeeds and reaches the end. */
    CHECK_INT(lib.MoveNext(), 1);
    CHECK(lib.IsEOF() != 0);
    CHECK_MESSAGES("");
    check_move_fails(HERE);

    /* Seeks are absolute and 0-based, in any order, also after the end. */
    static const int seeks[] = {0, 3, 1, 4, 2, 0};
    capture_begin();
    for (size_t k = 0; k < COUNT(seeks); k++) check_seek(HERE, seeks[k]);
    /* Opening again while open keeps the record where it is. */
    check_seek(HERE, 3);
    CHECK_INT(lib.OpenRec(), 1);
    CHECK_STR(lib.GetData(1), "r3");
    CHECK_MESSAGES("");

    /* A seek past the last row lands at the end, as the move past it does;
     * from there only a seek leads back. */
    static const int beyond[] = {5, 1000};
    for (size_t k = 0; k < COUNT(beyond); k++) {
        check_seek(HERE, 3);
        capture_begin();
        check_int(HERE, lib.Seek(beyond[k]), 1, label("Seek(%d)", beyond[k]));
        check_true(HERE, lib.IsEOF() != 0, label("IsEOF() after Seek(%d)", beyond[k]));
        CHECK_MESSAGES("");
        check_move_fails(HERE);
        check_seek(HERE, 2);
    }

    /* Closed: no row, nothing to read; open again from the first row. */
    capture_begin();
    lib.CloseRec();
    CHECK(lib.IsEOF() != 0);
    CHECK_STR(lib.GetData(1), "");
    CHECK_INT(lib.OpenRec(), 1);
    CHECK_STR(lib.GetData(1), "r0");

    /* An empty table is at its end at once. */
    lib.CloseRec();
    open_record(HERE, "e", 2, 1);
    CHECK(lib.IsEOF() != 0);
    CHECK_STR(lib.GetData(0), "");
    finish(HERE, "");
}

/* VORDEX_OpenRec before any listing connects by itself, has no fields to
 * read and fails; it leaves no connection object and no session behind. */
static void case_open_record_first(const void* param) {
    (void)param;
    const char* db = "vordex_host_c_openfirst";
    start(db,
          "CREATE TABLE r (id serial PRIMARY KEY, v text);\n"
          "INSERT INTO r (v) VALUES ('r0');\n");
    CHECK_INT(lib.OpenRec(), 0);
    CHECK_MESSAGES(LINE(FIXED_TEXT));
    CHECK_INT(lib.IsOpen(), 0);
    CHECK(lib.IsEOF() != 0);
    CHECK_STR(lib.GetData(0), "");
    CHECK_INT(sessions_after_close(db), 0);
    unload_library();
}

/* How a host lets go of the library while a record is open. The last is
 * no way for a host to leave: it shows that the server log tells a session
 * the client closed from one the client just dropped. */
typedef enum { LET_GO_BY_CLOSE, LET_GO_BY_DLCLOSE, LET_GO_BY_EXIT, DROPPED_BY_ABRUPT_EXIT } LetGo;

static void open_a_record(void) {
    load_library();
    list_and_open(HERE, 1, "r", 2);
    CHECK_STR(lib.GetData(1), "r0");
}

/* Whether the server log has a line of backend `pid` that contains `text`.
 * The cluster logs with its default prefix, "<time> [<pid>] ". */
static int server_logged(long pid, const char* text) {
    char path[512], tag[32];
    snprintf(path, sizeof path, "%s/server.log", getenv("VORDEX_PG_DIR"));
    snprintf(tag, sizeof tag, "[%ld] ", pid);
    FILE* log = fopen(path, "r");
    if (log == NULL) return -1;
    char line[4096];
    int found = 0;
    while (!found && fgets(line, sizeof line, log) != NULL) found = strstr(line, tag) != NULL && strstr(line, text) != NULL;
    fclose(log);
    return found;
}

/* A process exits with a record open: the library's unload closes the
 * connection, so the server sees the client say goodbye; a process that
 * ends without unloading it just drops the connection. Sessions on the
 * database log at DEBUG1, where the server reports such a drop. */
static void exit_with_record_open(const char* db, int abrupt) {
    REQUIRE(psql(NULL, getenv("PGDATABASE"), "ALTER DATABASE %s SET log_min_messages = debug1;\n", db));

    int ready[2], go[2];
    REQUIRE(pipe(ready) == 0 && pipe(go) == 0);
    capture_begin();
    fflush(stdout);
    pid_t pid = fork();
    REQUIRE(pid >= 0);
    if (pid == 0) {
        close(ready[0]);
        close(go[1]);
        /* A failure here reaches the parent as a digit instead of 'y'. */
        result_pipe = ready[1];
        open_a_record();
        char byte = checks_failed == 0 ? 'y' : 'n';
        if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1) _exit(3);
        fflush(stdout);
        if (abrupt) _exit(0);
        exit(0);
    }
    close(ready[1]);
    close(go[0]);
    char byte = 0;
    CHECK_INT(read(ready[0], &byte, 1), 1);
    CHECK_INT(byte, 'y');
    char* backends = NULL;
    REQUIRE(psql(&backends, getenv("PGDATABASE"), "SELECT pid FROM pg_stat_activity WHERE datname = '%s';", db));
    CHECK(*backends != '\0' && strchr(backends, '\n') == NULL); /* exactly one session */
    long backend = strtol(backends, NULL, 10);
    free(backends);
    CHECK_INT(write(go[1], "x", 1), 1);
    int status = 0;
    CHECK_INT(waitpid(pid, &status, 0), pid);
    CHECK(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    CHECK_MESSAGES("");
    CHECK_INT(sessions_after_close(db), 0);
    CHECK_INT(server_logged(backend, "unexpected EOF on client connection"), abrupt);
}

static void case_let_go_with_record_open(const void* param) {
    LetGo how = *(const LetGo*)param;
    static const char* const dbs[] = {"vordex_host_c_close", "vordex_host_c_dlclose", "vordex_host_c_exit",
                                      "vordex_host_c_dropped"};
    const char* db = dbs[how];
    fresh_database(db,
                   "CREATE TABLE r (id serial PRIMARY KEY, v text);\n"
                   "INSERT INTO r (v) VALUES ('r0'), ('r1');\n");
    if (how == LET_GO_BY_EXIT || how == DROPPED_BY_ABRUPT_EXIT) {
        exit_with_record_open(db, how == DROPPED_BY_ABRUPT_EXIT);
        return;
    }

    open_a_record();
    CHECK(sessions_on(db) >= 1);
    capture_begin();
    if (how == LET_GO_BY_CLOSE) {
        lib.Close();
        CHECK_INT(lib.IsOpen(), 0);
        CHECK(lib.IsEOF() != 0);
        CHECK_STR(lib.GetData(1), "");
        CHECK_STR(lib.GetDirName(), "");
        CHECK_INT(sessions_after_close(db), 0);
        /* The library is usable again afterwards. */
        CHECK_INT(lib.Table(), 1);
        CHECK_INT(lib.IsOpen(), 1);
        lib.Close();
        unload_library();
    } else {
        unload_library();
        CHECK_INT(sessions_after_close(db), 0);
    }
    CHECK_MESSAGES("");
}

/* Two threads run whole sessions at once, which the calls do not allow: the
 * library makes the second wait, so nothing is corrupted and every write
 * lands whole. (Run under valgrind in CI, a use after free would show.) */
static void* run_sessions(void* param) {
    const char* value = param;
    for (int session = 0; session < 8; session++) {
        lib.Table();
        lib.Open("r");
        lib.OpenRec();
        char row[600];
        for (int moves = 0; moves < 5 && !lib.IsEOF(); moves++) {
            lib.GetData(1);
            lib.ListText(row, (int)sizeof row);
            lib.Update(1, value);
            lib.MoveNext();
        }
        lib.CloseRec();
        lib.Close();
    }
    return NULL;
}

static void case_two_threads(const void* param) {
    (void)param;
    const char* db = "vordex_host_c_threads";
    fresh_database(db, "CREATE TABLE r (id serial PRIMARY KEY, v text);\n"
                       "INSERT INTO r (v) SELECT 'r' || g FROM generate_series(1, 3) g;\n");
    load_library();
    load_writing_functions();
    capture_begin();
    pthread_t first, second;
    CHECK_INT(pthread_create(&first, NULL, run_sessions, "first"), 0);
    CHECK_INT(pthread_create(&second, NULL, run_sessions, "second"), 0);
    CHECK_INT(pthread_join(first, NULL), 0);
    CHECK_INT(pthread_join(second, NULL), 0);
    fflush(stderr);
    char* values = NULL;
    REQUIRE(psql(&values, db, "SELECT string_agg(DISTINCT v, ',' ORDER BY v) FROM r;"));
    CHECK(strcmp(values, "first") == 0 || strcmp(values, "first,second") == 0 || strcmp(values, "second") == 0);
    free(values);
    CHECK_INT(sessions_after_close(db), 0);
    unload_library();
}

/* The library loaded and unloaded 100 times, every tenth time with a record
 * left open: each unload closes and disconnects it. (Run under valgrind in
 * CI, nothing the library allocated may stay behind.) */
static void case_load_cycles(const void* param) {
    (void)param;
    const char* db = "vordex_host_c_cycles";
    fresh_database(db, "CREATE TABLE r (id serial PRIMARY KEY, v text);\nINSERT INTO r (v) VALUES ('r0');\n");
    for (int cycle = 0; cycle < 100; cycle++) {
        load_library();
        CHECK_INT(lib.IsOpen(), 0);
        if (cycle % 10 == 0) {
            list_and_open(HERE, 1, "r", 2);
            CHECK_STR(lib.GetData(1), "r0");
        }
        if (cycle % 20 == 0) lib.Close();
        unload_library();
        if (cycle % 10 == 0) CHECK_INT(sessions_after_close(db), 0);
    }
}

/* ---- runner ------------------------------------------------------------- */

typedef struct {
    const char* name;
    void (*run)(const void* param);
    const void* param;
} Case;

static const LetGo by_close = LET_GO_BY_CLOSE, by_dlclose = LET_GO_BY_DLCLOSE, by_exit = LET_GO_BY_EXIT,
                   by_abrupt_exit = DROPPED_BY_ABRUPT_EXIT;

static const Case cases[] = {
    {"fresh library", case_fresh_library, NULL},
    {"table list", case_table_list, NULL},
    {"column list", case_column_list, NULL},
    {"no field: listed, unknown name", case_no_field, &no_field_cases[0]},
    {"no field: listed, empty name", case_no_field, &no_field_cases[1]},
    {"no field: unlisted, unknown name", case_no_field, &no_field_cases[2]},
    {"no field: unlisted, empty name", case_no_field, &no_field_cases[3]},
    {"nulls", case_nulls, NULL},
    {"long values", case_long_values, NULL},
    {"list text", case_list_text, NULL},
    {"walk and seek", case_walk_and_seek, NULL},
    {"open record first", case_open_record_first, NULL},
    {"close with a record open", case_let_go_with_record_open, &by_close},
    {"dlclose with a record open", case_let_go_with_record_open, &by_dlclose},
    {"exit with a record open", case_let_go_with_record_open, &by_exit},
    {"abrupt exit is seen as a dropped session", case_let_go_with_record_open, &by_abrupt_exit},
    {"two threads at once", case_two_threads, NULL},
    {"load and unload cycles", case_load_cycles, NULL},
};

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s PATH/TO/libvordex.so\n", argv[0]);
        return 2;
    }
    library_path = argv[1];
    static const char* const needed[] = {"PGHOST",     "PGPORT",        "PGUSER",       "PGDATABASE",
                                         "ODBCSYSINI", "VORDEX_TEST_PG_DRIVER", "VORDEX_PG_DIR"};
    for (size_t k = 0; k < COUNT(needed); k++) {
        const char* value = getenv(needed[k]);
        if (value == NULL || *value == '\0') {
            printf("FAILED: %s is not set: run this test through scripts/with_cluster.sh or scripts/test.sh\n",
                   needed[k]);
            return 1;
        }
    }
    setenv("VORDEX_DIALOG", "stderr", 1);
    unsetenv("VORDEX_CODEPAGE");
    unsetenv("VORDEX_CONNECT");

    int total_run = 0, total_failed = 0, cases_failed = 0;
    for (size_t k = 0; k < COUNT(cases); k++) {
        const Case* c = &cases[k];
        int fds[2];
        if (pipe(fds) != 0) return 2;
        fflush(stdout);
        pid_t pid = fork();
        if (pid < 0) return 2;
        if (pid == 0) {
            close(fds[0]);
            result_pipe = fds[1];
            current_case = c->name;
            c->run(c->param);
            finish_child();
        }
        close(fds[1]);
        char line[64] = "";
        ssize_t got = read(fds[0], line, sizeof line - 1);
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        int run = 0, failed = 0;
        if (got <= 0 || sscanf(line, "%d %d", &run, &failed) != 2) {
            printf("[%s] FAILED: the case ended abnormally (%s %d)\n", c->name,
                   WIFSIGNALED(status) ? "signal" : "exit status",
                   WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
            run = 0;
            failed = 1;
        }
        printf("[%s] %d checks, %d failed\n", c->name, run, failed);
        total_run += run;
        total_failed += failed;
        if (failed > 0) cases_failed++;
    }
    printf("host_c_test: %d of %zu cases failed; checks: %d passed, %d failed\n", cases_failed, COUNT(cases),
           total_run - total_failed, total_failed);
    return total_failed == 0 ? 0 : 1;
}
