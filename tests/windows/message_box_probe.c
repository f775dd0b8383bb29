/* Shows the library's message box once: VORDEX_Open of a table that does
 * not exist, with the data source from VORDEX_CONNECT. Prints "calling"
 * before the call and "returned N" after it, so that a script can tell
 * that the call waits while the box is open.
 *
 *     message_box_probe.exe PATH\VORDEX.dll */
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    setvbuf(stdout, NULL, _IONBF, 0);
    HMODULE module = LoadLibraryA(argv[1]);
    if (module == NULL) return 1;
    int (*open)(const char*) = (int (*)(const char*))(void (*)(void))GetProcAddress(module, "VORDEX_Open");
    if (open == NULL) return 1;
    printf("ansi code page %u\n", GetACP());
    printf("calling\n");
    const int result = open("no_such_table");
    printf("returned %d\n", result);
    FreeLibrary(module);
    return 0;
}
