/* Prints the first value of each row of the table named on the command line.
 * Built from the files of the Windows archive, beside VORDEX.dll:
 *   mingw-w64:  gcc read_table_windows.c VORDEX.lib -o read_table_windows.exe
 *   MSVC:       cl read_table_windows.c VORDEX.lib   (32-bit: add /link /SAFESEH:NO)
 * vordex.h declares the functions with the DLL's calling convention, so the
 * same source serves the 32-bit and the 64-bit DLL. */
#include <stdio.h>

#include "vordex.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: read_table_windows TABLE\n");
        return 2;
    }
    int status = 1;
    if (VORDEX_Open(argv[1]) > 0 && VORDEX_OpenRec()) {
        status = 0;
        for (; !VORDEX_IsEOF(); VORDEX_MoveNext()) printf("%s\n", VORDEX_GetData(0));
    }
    VORDEX_Close(); /* closes the record and the connection */
    return status;
}
