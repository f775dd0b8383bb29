/* VORDEX.dll as a Windows host sees it: loaded with LoadLibrary, every
 * export found with GetProcAddress, driven through a typical session, the
 * failure paths and bad arguments. Run under Wine by wine_test.sh, which
 * creates the database first (VORDEX_CONNECT names it) and reads back with
 * psql what the writes left.
 *
 *     dll_host_test.exe PATH\VORDEX.dll ADMIN_CONNECT [exit-with-a-record-open]
 *     dll_host_test.exe PATH\VORDEX.dll ADMIN_CONNECT settings-set-by-host CONNECT FOLDED ROW_BUFFER
 *
 * With exit-with-a-record-open it only opens a record and ends the process
 * with the library loaded: the library must let it end.
 *
 * With settings-set-by-host it starts without VORDEX_CONNECT and sets the
 * settings itself with SetEnvironmentVariableA, as a VBA macro does, which
 * the C runtime's copy of the environment never sees; then reads the marks
 * table (the characters that CP932 places differently, whose conversion on
 * Linux is FOLDED, in hex) and the wide table (32 values of 255 bytes)
 * through a buffer of ROW_BUFFER bytes, the VBA module's.
 *
 * ADMIN_CONNECT is an ODBC connect string for another database of the same
 * server: a second client that counts the library's sessions. */
#include <windows.h>
#include <limits.h>
#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <stdlib.h>
#include <stdint.h>
#include <string.h>

typedef struct {
    HMODULE module;
    int (*GetVersion)(void);
    int (*IsOpen)(void);
    void (*Close)(void);
    int (*Table)(void);
    const char* (*GetTableList)(int);
    const char* (*GetDirName)(void);
    int (*Open)(const char*);
    const char* (*GetNameList)(int);
    int (*OpenRec)(void);
    void (*CloseRec)(void);
    int (*IsEOF)(void);
    int (*MoveNext)(void);
    int (*Seek)(int);
    const char* (*GetData)(int);
    int (*ListText)(char*, int);
    int (*CanUpdate)(int);
    int (*Update)(int, const char*);
} Vordex;

static Vordex lib;
static const char* library_path;
static const char* admin_connect;
static int checks, failures;

#define CHECK_INT(actual, expected) check_int(__LINE__, #actual, (long)(actual), (long)(expected))
#define CHECK_STR(actual, expected) check_str(__LINE__, #actual, (actual), (expected))

static void check_int(int line, const char* what, long actual, long expected) {
    ++checks;
    if (actual == expected) return;
    ++failures;
    printf("FAIL line %d: %s = %ld, expected %ld\n", line, what, actual, expected);
}

static void check_str(int line, const char* what, const char* actual, const char* expected) {
    ++checks;
    if (actual != NULL && strcmp(actual, expected) == 0) return;
    ++failures;
    printf("FAIL line %d: %s = \"%s\", expected \"%s\"\n", line, what, actual ? actual : "(null)", expected);
}

static FARPROC find(const char* name) {
    FARPROC f = GetProcAddress(lib.module, name);
    if (f == NULL) {
        ++failures;
        printf("FAIL: %s is not exported\n", name);
    }
    return f;
}

#if defined(__i386__)
/* 32-bit: every call goes as VBA's Declare makes it, __stdcall, through
 * call_as_vba, which pushes the arguments, calls, and measures how far the
 * stack pointer moved: 0 when the function removed its own arguments, as
 * vordex.h's VORDEX_CALL promises, -4 an argument when it left them. The
 * fields of `lib` are checking wrappers around the exports in `exports`. */
unsigned call_as_vba(FARPROC function, int count, const unsigned* arguments, int* moved);
__asm__(".text\n"
        ".globl _call_as_vba\n"
        "_call_as_vba:\n"
        "    push %ebp\n"
        "    mov %esp, %ebp\n"
        "    push %esi\n"
        "    mov 12(%ebp), %ecx\n" /* count */
        "    mov 16(%ebp), %edx\n" /* arguments */
        "    mov %esp, %esi\n"     /* the stack pointer before the arguments */
        "1:  test %ecx, %ecx\n"
        "    jz 2f\n"
        "    dec %ecx\n"
        "    push (%edx,%ecx,4)\n" /* the last argument first */
        "    jmp 1b\n"
        "2:  call *8(%ebp)\n"
        "    mov %esp, %ecx\n"
        "    sub %esi, %ecx\n"
        "    mov 20(%ebp), %edx\n"
        "    mov %ecx, (%edx)\n"   /* *moved */
        "    mov %esi, %esp\n"
        "    pop %esi\n"
        "    pop %ebp\n"
        "    ret\n");

static struct {
    FARPROC GetVersion, IsOpen, Close, Table, GetTableList, GetDirName, Open, GetNameList, OpenRec, CloseRec,
        IsEOF, MoveNext, Seek, GetData, ListText, CanUpdate, Update;
} exports;
static int stack_checks;

static unsigned call_checked(const char* name, FARPROC function, int count, const unsigned* arguments) {
    int moved = 0;
    const unsigned result = call_as_vba(function, count, arguments, &moved);
    ++stack_checks;
    check_int(__LINE__, name, moved, 0);
    return result;
}

#define ARG(a) ((unsigned)(uintptr_t)(a))
#define CHECKED0(type, name) \
    static type checked_##name(void) { return (type)(uintptr_t)call_checked(#name, exports.name, 0, NULL); }
#define CHECKED1(type, name, t1)                                                      \
    static type checked_##name(t1 a) {                                                \
        const unsigned arguments[] = {ARG(a)};                                        \
        return (type)(uintptr_t)call_checked(#name, exports.name, 1, arguments);      \
    }
#define CHECKED2(type, name, t1, t2)                                                  \
    static type checked_##name(t1 a, t2 b) {                                          \
        const unsigned arguments[] = {ARG(a), ARG(b)};                                \
        return (type)(uintptr_t)call_checked(#name, exports.name, 2, arguments);      \
    }
CHECKED0(int, GetVersion) CHECKED0(int, IsOpen) CHECKED0(int, Table) CHECKED1(const char*, GetTableList, int)
CHECKED0(const char*, GetDirName) CHECKED1(int, Open, const char*) CHECKED1(const char*, GetNameList, int)
CHECKED0(int, OpenRec) CHECKED0(int, IsEOF) CHECKED0(int, MoveNext) CHECKED1(int, Seek, int)
CHECKED1(const char*, GetData, int) CHECKED2(int, ListText, char*, int) CHECKED1(int, CanUpdate, int)
CHECKED2(int, Update, int, const char*)
static void checked_Close(void) { call_checked("Close", exports.Close, 0, NULL); }
static void checked_CloseRec(void) { call_checked("CloseRec", exports.CloseRec, 0, NULL); }

#define RESOLVE(field)                                \
    do {                                              \
        exports.field = find("VORDEX_" #field);       \
        lib.field = checked_##field;                  \
    } while (0)
#else
static const int stack_checks = 0;

/* A function pointer of the export's own type, copied from GetProcAddress's. */
#define RESOLVE(field)                                  \
    do {                                                \
        FARPROC found = find("VORDEX_" #field);         \
        memcpy(&lib.field, &found, sizeof lib.field);   \
    } while (0)
#endif

static int load(void) {
    lib.module = LoadLibraryA(library_path);
    if (lib.module == NULL) {
        printf("FAIL: LoadLibrary(%s): error %lu\n", library_path, GetLastError());
        ++failures;
        return 0;
    }
    RESOLVE(GetVersion); RESOLVE(IsOpen); RESOLVE(Close); RESOLVE(Table); RESOLVE(GetTableList);
    RESOLVE(GetDirName); RESOLVE(Open); RESOLVE(GetNameList); RESOLVE(OpenRec); RESOLVE(CloseRec);
    RESOLVE(IsEOF); RESOLVE(MoveNext); RESOLVE(Seek); RESOLVE(GetData); RESOLVE(ListText);
    RESOLVE(CanUpdate); RESOLVE(Update);
    /* Exported by ordinal too: 1 to 17 in the alphabetical order of the names. */
    check_int(__LINE__, "ordinal 8 is VORDEX_GetVersion",
              (long)(GetProcAddress(lib.module, MAKEINTRESOURCEA(8)) == GetProcAddress(lib.module, "VORDEX_GetVersion")),
              1);
    check_int(__LINE__, "ordinal 17 is VORDEX_Update",
              (long)(GetProcAddress(lib.module, MAKEINTRESOURCEA(17)) == GetProcAddress(lib.module, "VORDEX_Update")), 1);
    return failures == 0;
}

/* Sessions of the library on its database, counted by a second client. */
static long library_sessions(void) {
    SQLHENV env = NULL;
    SQLHDBC dbc = NULL;
    SQLHSTMT stmt = NULL;
    long count = -1;
    char value[32] = "";
    SQLLEN indicator = 0;
    SQLAllocEnv(&env);
    SQLAllocConnect(env, &dbc);
    if (SQL_SUCCEEDED(SQLDriverConnect(dbc, NULL, (SQLCHAR*)admin_connect, SQL_NTS, NULL, 0, NULL,
                                       SQL_DRIVER_NOPROMPT))) {
        SQLAllocStmt(dbc, &stmt);
        if (SQL_SUCCEEDED(SQLExecDirect(stmt,
                                        (SQLCHAR*)"SELECT count(*) FROM pg_stat_activity WHERE datname = "
                                                  "'vordex_wine' AND backend_type = 'client backend'",
                                        SQL_NTS)) &&
            SQL_SUCCEEDED(SQLFetch(stmt)) &&
            SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, value, sizeof value, &indicator))) {
            count = atol(value);
        }
        SQLFreeStmt(stmt, SQL_DROP);
        SQLDisconnect(dbc);
    }
    SQLFreeConnect(dbc);
    SQLFreeEnv(env);
    return count;
}

/* The server notices a closed session a moment later. */
static long sessions_after_close(void) {
    long count = library_sessions();
    for (int i = 0; i < 100 && count != 0; ++i) {
        Sleep(50);
        count = library_sessions();
    }
    return count;
}

static void typical_session(void) {
    static const char* const names[] = {"id", "name", "qty"};
    static const char* const rows[][3] = {{"1", "one", "10"}, {"2", "two", ""}, {"3", "", "30"}};
    char line[256];
    CHECK_INT(lib.GetVersion(), 0x20070);
    CHECK_INT(lib.IsOpen(), 0);
    CHECK_INT(lib.Table(), 3);
    CHECK_STR(lib.GetTableList(0), "hostile; name");
    CHECK_STR(lib.GetTableList(1), "t");
    CHECK_INT(lib.IsOpen(), 1);
    CHECK_STR(lib.GetDirName(), "vordex_wine");
    CHECK_INT(lib.Open("t"), 3);
    for (int i = 0; i < 3; ++i) CHECK_STR(lib.GetNameList(i), names[i]);
    CHECK_INT(lib.OpenRec(), 1);
    for (int r = 0; r < 3; ++r) {
        CHECK_INT(lib.IsEOF(), 0);
        for (int f = 0; f < 3; ++f) CHECK_STR(lib.GetData(f), rows[r][f]);
        CHECK_INT(lib.MoveNext(), 1);
    }
    CHECK_INT(lib.IsEOF(), 1);
    CHECK_INT(lib.Seek(1), 1);
    CHECK_INT(lib.ListText(line, sizeof line), 3);
    CHECK_STR(line, "2\x1Etwo\x1E\x1E");
    CHECK_INT(lib.CanUpdate(1), 1);
    CHECK_INT(lib.Update(1, "written from Windows"), 1);
    CHECK_STR(lib.GetData(1), "written from Windows");
    /* A hostile value is data, stored as it is. */
    CHECK_INT(lib.Seek(2), 1);
    CHECK_INT(lib.Update(1, "x'); DROP TABLE t; --"), 1);
    CHECK_INT(lib.Seek(0), 1);
    CHECK_STR(lib.GetData(1), "one");
    lib.CloseRec();
    lib.Close();
    CHECK_INT(lib.IsOpen(), 0);
}

/* Texts of a Japanese system, in its ANSI code page 932. */
#define SHOUHIN "\x8F\xA4\x95\x69"                         /* 商品 */
#define NAMAE "\x96\xBC\x91\x4F"                           /* 名前 */
#define MEMO "\x83\x81\x83\x82"                            /* メモ */
#define HYOUJI "\x95\x5C\x8E\xA6"                          /* 表示: a backslash as second byte */
#define SUSHI "\x8E\xF5\x8E\x69"                           /* 寿司 */
#define KAKIKOMI "\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x95\x5C" /* 書き込み表 */

/* The server speaks UTF-8, the connect string says nothing of code pages:
 * names and values still come and go in CP932. */
static void japanese_session(void) {
    char long_value[241];
    for (int i = 0; i < 120; ++i) memcpy(long_value + 2 * i, "\x82\xA0", 2); /* あ */
    long_value[240] = '\0';
    CHECK_INT(lib.Table(), 3);
    CHECK_STR(lib.GetTableList(2), SHOUHIN);
    CHECK_INT(lib.Open(SHOUHIN), 3);
    CHECK_STR(lib.GetNameList(1), NAMAE);
    CHECK_STR(lib.GetNameList(2), MEMO);
    CHECK_INT(lib.OpenRec(), 1);
    CHECK_STR(lib.GetData(1), HYOUJI);
    CHECK_STR(lib.GetData(2), SUSHI "?"); /* 🍣 is no CP932 character */
    CHECK_INT(lib.Update(1, KAKIKOMI), 1);
    CHECK_STR(lib.GetData(1), KAKIKOMI);
    /* 120 characters are 240 bytes here (360 in UTF-8): written whole. */
    CHECK_INT(lib.Seek(1), 1);
    CHECK_INT(lib.Update(1, long_value), 1);
    CHECK_INT(lib.Seek(0), 1);
    CHECK_INT(lib.Seek(1), 1);
    CHECK_STR(lib.GetData(1), long_value);
    /* A lead byte with nothing after it is no text: refused, with a message. */
    CHECK_INT(lib.Update(2, "ab\x82"), 0);
    CHECK_STR(lib.GetData(2), "");
    lib.Close();
}

static void bad_arguments(void) {
    char line[16];
    /* Before any connection. */
    CHECK_INT(lib.MoveNext(), 0);
    CHECK_INT(lib.Seek(0), 0);
    CHECK_STR(lib.GetData(0), "");
    CHECK_INT(lib.ListText(line, sizeof line), 0);
    CHECK_INT(lib.CanUpdate(0), 0);
    CHECK_INT(lib.Update(0, "x"), 0);
    CHECK_INT(lib.IsEOF(), 1);
    CHECK_STR(lib.GetDirName(), "");

    CHECK_INT(lib.Table(), 3);
    const int indexes[] = {-1, 3, 31, 32, INT_MAX, INT_MIN};
    for (int i = 0; i < (int)(sizeof indexes / sizeof indexes[0]); ++i) CHECK_STR(lib.GetTableList(indexes[i]), "");
    /* Names that are no table: nothing opens, nothing runs. */
    CHECK_INT(lib.Open(NULL), 0);
    CHECK_INT(lib.Open(""), 0);
    CHECK_INT(lib.Open("nosuch"), 0);
    CHECK_INT(lib.Open("t; DROP TABLE t"), 0);
    CHECK_INT(lib.Open("t2"), 0);
    /* The hostile table's name means that table. */
    CHECK_INT(lib.Open("hostile; name"), 2);
    CHECK_INT(lib.OpenRec(), 1);
    CHECK_STR(lib.GetData(1), "safe");
    lib.CloseRec();

    CHECK_INT(lib.Open("t"), 3);
    CHECK_INT(lib.OpenRec(), 1);
    const int fields[] = {-1, 3, 31, 32, INT_MAX, INT_MIN};
    for (int i = 0; i < (int)(sizeof fields / sizeof fields[0]); ++i) {
        CHECK_STR(lib.GetNameList(fields[i]), "");
        CHECK_STR(lib.GetData(fields[i]), "");
        CHECK_INT(lib.CanUpdate(fields[i]), 0);
        CHECK_INT(lib.Update(fields[i], "x"), 0);
    }
    CHECK_INT(lib.Update(1, NULL), 0);
    CHECK_INT(lib.ListText(NULL, 16), 0);
    CHECK_INT(lib.ListText(line, 0), 0);
    CHECK_INT(lib.ListText(line, -5), 0);
    CHECK_INT(lib.ListText(line, 1), 1);
    CHECK_STR(line, "");
    CHECK_INT(lib.Seek(-1), 0);
    CHECK_INT(lib.Seek(INT_MIN), 0);
    CHECK_INT(lib.Seek(INT_MAX), 1);
    CHECK_INT(lib.IsEOF(), 1);
    CHECK_STR(lib.GetData(0), "");
    CHECK_INT(lib.Update(1, "past the end"), 0);
    /* A value the column's type refuses: 0, and the row is unchanged. */
    CHECK_INT(lib.Seek(0), 1);
    CHECK_INT(lib.Update(2, "not a number"), 0);
    CHECK_STR(lib.GetData(2), "10");
    CHECK_INT(lib.MoveNext(), 1);
    CHECK_STR(lib.GetData(0), "2");
    lib.Close();
}

/* Unloading the library with a record open closes its connection. */
static void unload_with_a_record_open(void) {
    CHECK_INT(lib.Open("t"), 3);
    CHECK_INT(lib.OpenRec(), 1);
    CHECK_INT(library_sessions(), 1);
    CHECK_INT(FreeLibrary(lib.module), 1);
    lib.module = NULL;
    CHECK_INT(sessions_after_close(), 0);
}

/* `hex`, pairs of hex digits, as bytes in `out` (terminated); 0 when it is
 * no such text or longer than `room` - 1 bytes. */
static int from_hex(const char* hex, char* out, size_t room) {
    size_t length = strlen(hex);
    if (length % 2 != 0 || length / 2 >= room) return 0;
    for (size_t i = 0; i < length / 2; ++i) {
        unsigned byte = 0;
        if (sscanf(hex + 2 * i, "%2x", &byte) != 1) return 0;
        out[i] = (char)byte;
    }
    out[length / 2] = '\0';
    return 1;
}

/* UTF-16 of a UTF-8 text, as the VBA module makes its Strings with
 * VORDEX_CODEPAGE=65001; compared with the expected wide text. */
static void check_utf8_reads_as(int line, const char* utf8, const wchar_t* expected) {
    wchar_t wide[64] = L"";
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide, 64);
    check_int(line, "MultiByteToWideChar(CP_UTF8) of the value succeeds", length > 0, 1);
    check_int(line, "the value, read as UTF-8, is the expected text", length > 0 && wcscmp(wide, expected) == 0, 1);
}

#define UTF8_SHOUHIN "\xE5\x95\x86\xE5\x93\x81"               /* 商品 */
#define UTF8_HYOUJI "\xE8\xA1\xA8\xE7\xA4\xBA"                /* 表示 */
#define UTF8_SUSHI "\xE5\xAF\xBF\xE5\x8F\xB8\xF0\x9F\x8D\xA3" /* 寿司🍣 */

/* The settings as a macro sets them: with SetEnvironmentVariableA, after the
 * process (and its C runtime) started, each read by the call that uses it. */
static void settings_set_by_host(const char* connect, const char* folded_hex, int row_buffer) {
    char folded[64];
    CHECK_INT(from_hex(folded_hex, folded, sizeof folded), 1);
    CHECK_INT(getenv("VORDEX_CONNECT") == NULL, 1);
    CHECK_INT(SetEnvironmentVariableA("VORDEX_CONNECT", connect), 1);
    /* The C runtime's copy does not have it: the library must ask Windows. */
    CHECK_INT(getenv("VORDEX_CONNECT") == NULL, 1);
    CHECK_INT(lib.Table(), 5);
    CHECK_STR(lib.GetDirName(), "vordex_wine");
    lib.Close();

    /* Changed between two calls: the next connection uses the new value. */
    char other[1024];
    snprintf(other, sizeof other, "%s;Database=vordex_wine_nosuch", connect);
    CHECK_INT(SetEnvironmentVariableA("VORDEX_CONNECT", other), 1);
    CHECK_INT(lib.Table(), 0);
    CHECK_INT(SetEnvironmentVariableA("VORDEX_CONNECT", connect), 1);
    CHECK_INT(lib.Table(), 5);
    lib.Close();

    /* VORDEX_CODEPAGE=65001: names and values in UTF-8, whatever the ANSI
     * code page (932 here), and UTF-8 taken for names and writes. */
    CHECK_INT(SetEnvironmentVariableA("VORDEX_CODEPAGE", "65001"), 1);
    CHECK_INT(lib.Table(), 5);
    CHECK_STR(lib.GetTableList(4), UTF8_SHOUHIN);
    CHECK_INT(lib.Open(UTF8_SHOUHIN), 3);
    CHECK_INT(lib.OpenRec(), 1);
    CHECK_STR(lib.GetData(1), UTF8_HYOUJI);
    CHECK_STR(lib.GetData(2), UTF8_SUSHI); /* 🍣 whole: UTF-8 holds it */
    check_utf8_reads_as(__LINE__, lib.GetData(2), L"\x5BFF\x53F8\xD83C\xDF63");
    CHECK_INT(lib.Update(1, "\xE3\x80\x9C"), 1); /* 〜 U+301C, as stored */
    CHECK_STR(lib.GetData(1), "\xE3\x80\x9C");
    check_utf8_reads_as(__LINE__, lib.GetData(1), L"\x301C");
    lib.Close();

    /* Unset again: the system's code page 932. The characters that JIS and
     * Microsoft's table place differently read as Linux's iconv writes them. */
    CHECK_INT(SetEnvironmentVariableA("VORDEX_CODEPAGE", NULL), 1);
    CHECK_INT(lib.Open("marks"), 2);
    CHECK_INT(lib.OpenRec(), 1);
    CHECK_STR(lib.GetData(1), folded);
    CHECK_INT(lib.Update(1, "\x81\x60"), 1); /* 〜 typed on a Japanese system */
    CHECK_STR(lib.GetData(1), "\x81\x60");
    CHECK_INT(lib.MoveNext(), 1);
    CHECK_STR(lib.GetData(1), folded); /* Microsoft's forms: the same codes */
    /* Written back after a mark: the characters of Microsoft's table. */
    char written[sizeof folded + 1] = "w";
    strcat(written, folded);
    CHECK_INT(lib.Update(1, written), 1);
    CHECK_STR(lib.GetData(1), written);
    lib.Close();

    /* The largest row: 32 values of 255 bytes, each with its 0x1E, and the
     * terminator, in the VBA module's buffer. */
    static char row[32 * 256 + 64];
    char expected[32 * 256 + 1];
    CHECK_INT(row_buffer >= 1 && row_buffer <= (int)sizeof row, 1);
    if (row_buffer < 1 || row_buffer > (int)sizeof row) return;
    for (int f = 0; f < 32; ++f) {
        memset(expected + 256 * f, 'A' + f % 26, 255);
        expected[256 * f + 255] = '\x1E';
    }
    expected[32 * 256] = '\0';
    CHECK_INT(lib.Open("wide"), 32);
    CHECK_INT(lib.OpenRec(), 1);
    memset(row, 'x', sizeof row - 1); /* what the library leaves shows, and ends */
    row[sizeof row - 1] = '\0';
    CHECK_INT(lib.ListText(row, row_buffer), 32);
    CHECK_INT(strlen(row), 32 * 256);
    CHECK_STR(row, expected);
    lib.Close();
}

int main(int argc, char** argv) {
    const int set_by_host = argc == 7 && strcmp(argv[3], "settings-set-by-host") == 0;
    if (argc != 3 && !(argc == 4 && strcmp(argv[3], "exit-with-a-record-open") == 0) && !set_by_host) {
        printf(
            "usage: dll_host_test PATH\\VORDEX.dll ADMIN_CONNECT [exit-with-a-record-open]\n"
            "       dll_host_test PATH\\VORDEX.dll ADMIN_CONNECT settings-set-by-host CONNECT FOLDED ROW_BUFFER\n");
        return 2;
    }
    library_path = argv[1];
    admin_connect = argv[2];
    setvbuf(stdout, NULL, _IONBF, 0);
    if (!load()) return 1;
    if (set_by_host) {
        settings_set_by_host(argv[4], argv[5], atoi(argv[6]));
        printf("%d checks, %d failed; settings set by the host\n", checks, failures);
        return failures == 0 ? 0 : 1;
    }
    if (argc == 4) {
        CHECK_INT(lib.Open("t"), 3);
        CHECK_INT(lib.OpenRec(), 1);
        printf("%d checks, %d failed; ending with a record open\n", checks, failures);
        return failures == 0 ? 0 : 1;
    }
    typical_session();
    printf("typical session done\n");
    japanese_session();
    printf("Japanese session done\n");
    bad_arguments();
    printf("bad arguments done\n");
    unload_with_a_record_open();
    printf("%d checks, %d failed; the stack as VBA expects after %d calls\n", checks, failures, stack_checks);
    return failures == 0 ? 0 : 1;
}
