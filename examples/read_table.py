"""Lists the tables of the data source named by VORDEX_CONNECT, then prints
the table given on the command line, one row a line, tab-separated.
From the top of the source tree, once the library is built into build/:
    VORDEX_CONNECT=DSN=Sales VORDEX_LIBRARY=build/libvordex.so.2 python3 examples/read_table.py customers"""
import ctypes
import os
import sys

vordex = ctypes.CDLL(os.environ.get("VORDEX_LIBRARY", "libvordex.so.2"))
for name in ("GetTableList", "GetNameList", "GetData"):
    getattr(vordex, "VORDEX_" + name).restype = ctypes.c_char_p


def text(function, index):
    return function(index).decode()  # the host's code page: UTF-8 here


tables = vordex.VORDEX_Table()
print(f"{tables} tables:")
for i in range(tables):
    print("  " + text(vordex.VORDEX_GetTableList, i))

table = sys.argv[1]
columns = vordex.VORDEX_Open(table.encode())
if columns == 0 or not vordex.VORDEX_OpenRec():
    vordex.VORDEX_Close()
    sys.exit(1)
print(f"{table}: {columns} columns")
shown = range(min(columns, 32))  # names and values of the first 32 columns
print("\t".join(text(vordex.VORDEX_GetNameList, i) for i in shown))
while not vordex.VORDEX_IsEOF():
    print("\t".join(text(vordex.VORDEX_GetData, i) for i in shown))
    if not vordex.VORDEX_MoveNext():
        break
vordex.VORDEX_Close()
