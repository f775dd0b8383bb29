#include <windows.h>
#include <stdio.h>

int main(void) {
    HMODULE dll = LoadLibraryA("VORDEX.dll");
    int (*open)(const char*) = (int (*)(const char*))(void (*)(void))GetProcAddress(dll, "VORDEX_Open");
    int (*openRec)(void) = (int (*)(void))(void (*)(void))GetProcAddress(dll, "VORDEX_OpenRec");
    const char* (*getData)(int) = (const char* (*)(int))(void (*)(void))GetProcAddress(dll, "VORDEX_GetData");
    if (open("items") > 0 && openRec()) printf("%s\n", getData(0));
    FreeLibrary(dll);  /* closes the record and the connection */
    return 0;
}
