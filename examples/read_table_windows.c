#include <windows.h>
#include <stdio.h>

/* Prints the first value of each row of the table named on the command line. */
static FARPROC find(HMODULE dll, const char* name) {
    FARPROC function = GetProcAddress(dll, name);
    if (function == NULL) fprintf(stderr, "VORDEX.dll has no %s (error %lu)\n", name, GetLastError());
    return function;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: read_table_windows TABLE\n");
        return 2;
    }
    HMODULE dll = LoadLibraryA("VORDEX.dll");
    if (dll == NULL) {
        fprintf(stderr, "cannot load VORDEX.dll (error %lu)\n", GetLastError());
        return 1;
    }
    /* Through void (*)(void), the one cast between function types that
       compilers accept without a warning. */
    int (*open)(const char*) = (int (*)(const char*))(void (*)(void))find(dll, "VORDEX_Open");
    int (*openRec)(void) = (int (*)(void))(void (*)(void))find(dll, "VORDEX_OpenRec");
    int (*isEof)(void) = (int (*)(void))(void (*)(void))find(dll, "VORDEX_IsEOF");
    int (*moveNext)(void) = (int (*)(void))(void (*)(void))find(dll, "VORDEX_MoveNext");
    const char* (*getData)(int) = (const char* (*)(int))(void (*)(void))find(dll, "VORDEX_GetData");
    int status = 1;
    if (open && openRec && isEof && moveNext && getData && open(argv[1]) > 0 && openRec()) {
        status = 0;
        for (; !isEof(); moveNext()) printf("%s\n", getData(0));
    }
    FreeLibrary(dll); /* closes the record and the connection */
    return status;
}
