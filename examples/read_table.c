/* Lists the tables of the data source named by VORDEX_CONNECT, then prints
 * the table given on the command line, one row a line, tab-separated.
 * From the top of the source tree, once `bash scripts/test.sh` (or a cmake
 * build into build/) has made the library:
 *   cc examples/read_table.c -I include -L build -lvordex -o read_table
 *   VORDEX_CONNECT=DSN=Sales LD_LIBRARY_PATH=build ./read_table customers
 * With the library installed: cc read_table.c $(pkg-config --cflags --libs vordex) */
#include <stdio.h>

#include "vordex.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s TABLE\n", argv[0]);
        return 2;
    }
    int tables = VORDEX_Table();
    printf("%d tables:\n", tables);
    for (int i = 0; i < tables; i++) printf("  %s\n", VORDEX_GetTableList(i));

    int columns = VORDEX_Open(argv[1]);
    if (columns == 0 || !VORDEX_OpenRec()) {
        VORDEX_Close();
        return 1;
    }
    printf("%s: %d columns\n", argv[1], columns);
    for (int i = 0; i < columns && i < 32; i++) printf(i ? "\t%s" : "%s", VORDEX_GetNameList(i));
    printf("\n");

    char row[32 * 256 + 2]; /* room for 32 values of 255 bytes, each with its 0x1E */
    while (!VORDEX_IsEOF()) {
        VORDEX_ListText(row, (int)sizeof row);
        for (char* p = row; *p; p++) {
            if (*p == '\x1E') *p = p[1] ? '\t' : '\n';
        }
        fputs(row, stdout);
        if (!VORDEX_MoveNext()) break;
    }
    VORDEX_Close();
    return 0;
}
