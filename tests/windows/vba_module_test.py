#!/usr/bin/python3
"""examples/vba/VORDEX.bas against include/vordex.h: exactly one well-formed
VBA 7 declaration of each of the 17 functions, each with the types VBA must
use for it in 32-bit and 64-bit Office (int: ByVal Long; a text in: ByVal
String; a text out: LongPtr; void: Sub), and of the module's own aliases
(texts in as ByVal LongPtr), every routine of the module closed, and
VordexLoad: it loads the DLL from the workbook's folder by a wide path,
falls back to the search path, and the example calls it before any function
of the DLL. Then the module's Windows calls, declared for 32-bit and 64-bit
VBA alike (pointers as LongPtr); VordexConnect and the code page as the
library reads them; the texts converted with MultiByteToWideChar and
WideCharToMultiByte in that code page; the row buffer sized for the largest
row README.md's limits allow; and VordexExample writing nothing unless its
flag, False as shipped, says so, and then only after asking.

    vba_module_test.py SOURCE_DIR [--row-buffer-size]

With --row-buffer-size it prints the bytes of VordexRow's buffer (for
wine_test.sh, which hands the largest row to the DLL through it).
"""
import re
import sys

# What VBA passes and takes for each C type of vordex.h.
PARAMETER = {"int": "Long", "const char*": "String", "char*": "String"}
RESULT = {"int": "Long", "const char*": "LongPtr"}

C_FUNCTION = re.compile(r"^VORDEX_API ([^(\n]+?)\s*\bVORDEX_CALL (VORDEX_\w+)\((.*?)\);", re.S | re.M)
DECLARE = re.compile(r'^Public Declare PtrSafe (Function|Sub) (VORDEX_\w+) Lib "VORDEX\.dll" \((.*)\)(?: As (\w+))?$')
# The module's own names for the functions, taking texts it converted itself.
ALIAS = re.compile(
    r'^Private Declare PtrSafe (Function|Sub) (Vordex\w+Bytes) Lib "VORDEX\.dll" Alias "(VORDEX_\w+)" \((.*)\)(?: As (\w+))?$')
ALIAS_PARAMETER = {"int": "Long", "const char*": "LongPtr", "char*": "LongPtr"}

# The Windows calls of the module, as VBA 7 declares them for 32-bit and
# 64-bit Office alike: every pointer and handle a LongPtr.
KERNEL32 = [
    "LoadLibraryW Lib \"kernel32\" (ByVal path As LongPtr) As LongPtr",
    "lstrlenA Lib \"kernel32\" (ByVal text As LongPtr) As Long",
    "SetEnvironmentVariableW Lib \"kernel32\" (ByVal variable As LongPtr, ByVal value As LongPtr) As Long",
    "GetEnvironmentVariableW Lib \"kernel32\" (ByVal variable As LongPtr, ByVal buffer As LongPtr, ByVal size As Long) "
    "As Long",
    "MultiByteToWideChar Lib \"kernel32\" (ByVal codePage As Long, ByVal flags As Long, ByVal text As LongPtr, "
    "ByVal bytes As Long, ByVal wide As LongPtr, ByVal chars As Long) As Long",
    "WideCharToMultiByte Lib \"kernel32\" (ByVal codePage As Long, ByVal flags As Long, ByVal wide As LongPtr, "
    "ByVal chars As Long, ByVal text As LongPtr, ByVal bytes As Long, ByVal defaultChar As LongPtr, "
    "ByVal usedDefault As LongPtr) As Long",
]


def c_functions(header):
    functions = {}
    for result, name, parameters in C_FUNCTION.findall(header):
        types = [] if parameters.strip() == "void" else [
            re.sub(r"\s*\*\s*", "* ", p.strip()).rsplit(" ", 1)[0].strip() for p in parameters.split(",")]
        functions[name] = (result.replace(" *", "*").strip(), types)
    return functions


def routine(module, name):
    match = re.search(rf"^(?:Public|Private) (?:Function|Sub) {name}\(.*?^End (?:Function|Sub)$", module, re.S | re.M)
    return match.group(0) if match else ""


def constants(module):
    """The module's numeric Consts, evaluated in order (+ - * and parentheses)."""
    values = {}
    for name, expression in re.findall(r"^(?:Public |Private )?Const (\w+) As Long = (.+)$", module, re.M):
        for known, value in values.items():
            expression = re.sub(rf"\b{known}\b", str(value), expression)
        if re.fullmatch(r"[\d\s+*()-]+", expression):
            values[name] = eval(expression)  # digits and operators only
    return values


def largest_row(readme):
    """Bytes of the largest row VORDEX_ListText writes, from README.md's
    limits: each value and its 0x1E, then the NUL."""
    fields = re.search(r"^\| (\d+) columns a table \|", readme, re.M)
    value = re.search(r"^\| (\d+) bytes a value", readme, re.M)
    return int(fields.group(1)) * (int(value.group(1)) + 1) + 1 if fields and value else None


def c_example_row(readme):
    """The row buffer of README.md's C example, the room the library asks for."""
    match = re.search(r"^    char row\[(\d+) \* (\d+) \+ (\d+)\];", readme, re.M)
    return int(match.group(1)) * int(match.group(2)) + int(match.group(3)) if match else None


def alias_failures(lines, expected):
    failures, aliases = [], {}
    for number, line in enumerate(lines, 1):
        if " Alias " in line and "VORDEX.dll" in line:
            match = ALIAS.match(line)
            if not match or match.group(3) not in expected or match.group(2) in aliases:
                failures.append(f"line {number}: not a first Private alias of a function of vordex.h: {line}")
                continue
            kind, name, function, parameters, result = match.groups()
            aliases[name] = function
            c_result, c_types = expected[function]
            wanted = ("Sub", None) if c_result == "void" else ("Function", RESULT.get(c_result))
            parameters = [p.strip() for p in parameters.split(",") if p.strip()]
            if (kind, result) != wanted or len(parameters) != len(c_types) or not all(
                    re.fullmatch(rf"ByVal \w+ As {ALIAS_PARAMETER.get(t)}", p) for p, t in zip(parameters, c_types)):
                failures.append(f"{name}: declared {kind} ({', '.join(parameters)}) As {result} for C {function}")
    return failures, aliases


def text_failures(module):
    """The settings and the texts: VordexConnect and VordexSetCodePage set
    Windows' environment, where the library reads it; VordexCodePage reads it
    there too; every text crosses through the Windows conversions in that
    code page, never through StrConv (the system's code page only)."""
    failures = [f"the module does not declare: Private Declare PtrSafe Function {line}"
                for line in KERNEL32 if f"Private Declare PtrSafe Function {line}" not in module]
    uses = {"VordexConnect": ["SetEnvironmentVariableW", '"VORDEX_CONNECT"'],
            "VordexSetCodePage": ["SetEnvironmentVariableW", '"VORDEX_CODEPAGE"'],
            "VordexCodePage": ["GetEnvironmentVariableW", '"VORDEX_CODEPAGE"', '"65001"', '"932"'],
            "FromLibrary": ["VordexCodePage()", "MultiByteToWideChar"],
            "ToLibrary": ["VordexCodePage()", "WideCharToMultiByte"],
            "VordexText": ["FromLibrary("], "VordexRow": ["FromLibrary(", "VORDEX_ROW_BYTES"],
            "VordexOpen": ["ToLibrary("], "VordexUpdate": ["ToLibrary("]}
    for name, words in uses.items():
        body = routine(module, name)
        failures += [f"{name} does not use {word}" for word in words if word not in body]
    if "StrConv" in module:
        failures.append("a text is converted with StrConv, in the system's code page whatever the library's")
    return failures


def example_failures(module):
    """VordexExample reads; it writes only where its flag says so, False as
    shipped, and then only after the user said OK."""
    example = routine(module, "VordexExample")
    failures = []
    flag = re.search(r"^    Const (\w+) As Boolean = (True|False)$", example, re.M)
    if not flag or flag.group(2) != "False":
        failures.append("VordexExample has no Const flag, False, at its top")
        return failures
    block = re.search(rf"^    If {flag.group(1)} Then$(.*?)^    End If$", example, re.S | re.M)
    writes = [m.start() for m in re.finditer(r"\b(VORDEX_Update|VordexUpdate)\(", example)]
    if not writes or not block or not all(block.start(1) <= w < block.end(1) for w in writes):
        failures.append(f"VordexExample writes outside If {flag.group(1)} Then")
    elif not re.search(r"If MsgBox\(.*vbOKCancel.*= vbOK Then\n\s*If VordexUpdate\(", block.group(1), re.S):
        failures.append("VordexExample writes without asking")
    return failures


def loader_failures(module):
    load = routine(module, "VordexLoad")
    example = routine(module, "VordexExample")
    wanted = [
        ('Private Declare PtrSafe Function LoadLibraryW Lib "kernel32" (ByVal path As LongPtr) As LongPtr', module),
        ('LoadLibraryW(StrPtr(ThisWorkbook.Path & "\\VORDEX.dll"))', load),
        ('If module = 0 Then module = LoadLibraryW(StrPtr("VORDEX.dll"))', load),
    ]
    failures = [f"VordexLoad lacks: {line}" for line, where in wanted if line not in where]
    first_call = example.find("VORDEX_")
    if "If Not VordexLoad() Then" not in example or example.find("VordexLoad") > first_call:
        failures.append("VordexExample must call VordexLoad before the DLL's functions")
    return failures


def main():
    source = sys.argv[1]
    expected = c_functions(open(f"{source}/include/vordex.h", encoding="utf-8").read())
    module = open(f"{source}/examples/vba/VORDEX.bas", encoding="utf-8", newline="").read()
    lines = module.split("\r\n")
    values = constants(module.replace("\r\n", "\n"))
    if sys.argv[2:] == ["--row-buffer-size"]:
        print(values.get("VORDEX_ROW_BYTES", "none"))
        return 0 if "VORDEX_ROW_BYTES" in values else 1
    failures = [] if len(expected) == 17 else [f"vordex.h: {len(expected)} functions found, not 17"]
    if not module.startswith('Attribute VB_Name = "VORDEX"\r\n') or "\n" in module.replace("\r\n", ""):
        failures.append("the module must begin with its VB_Name and have CR LF line ends")
    declared = {}
    for number, line in enumerate(lines, 1):
        if "VORDEX_" in line and "Declare" in line.split("(")[0] and " Alias " not in line:
            match = DECLARE.match(line)
            if not match or match.group(2) in declared:
                failures.append(f"line {number}: not a first Public Declare PtrSafe of VORDEX.dll: {line}")
            else:
                kind, name, parameters, result = match.groups()
                declared[name] = (kind, [p.strip() for p in parameters.split(",") if p.strip()], result)
    if set(declared) != set(expected):
        failures.append(f"declared {sorted(declared)}, vordex.h has {sorted(expected)}")
    for name, (c_result, c_types) in expected.items():
        kind, parameters, result = declared.get(name, ("", [], None))
        wanted = ("Sub", None) if c_result == "void" else ("Function", RESULT.get(c_result))
        if (kind, result) != wanted or len(parameters) != len(c_types) or not all(
                re.fullmatch(rf"ByVal \w+ As {PARAMETER.get(t)}", p) for p, t in zip(parameters, c_types)):
            failures.append(f"{name}: declared {kind} ({', '.join(parameters)}) As {result} for C {c_result}({c_types})")
    # Every Function and Sub of the module ends.
    opened = sum(bool(re.match(r"(Public |Private )?(Function|Sub) \w+\(", line)) for line in lines)
    if opened == 0 or opened != sum(line in ("End Function", "End Sub") for line in lines):
        failures.append("a Function or Sub of the module does not end")
    failures += loader_failures(module.replace("\r\n", "\n"))
    alias_problems, aliases = alias_failures(lines, expected)
    failures += alias_problems
    if sorted(aliases.values()) != ["VORDEX_ListText", "VORDEX_Open", "VORDEX_Update"]:
        failures.append(f"the aliases are {sorted(aliases.values())}: each function taking a text needs one")
    failures += text_failures(module.replace("\r\n", "\n"))
    failures += example_failures(module.replace("\r\n", "\n"))
    # The row buffer: room for the largest row README.md's limits allow, as
    # its C example gives it (wine_test.sh hands that row to the DLL through it).
    readme = open(f"{source}/README.md", encoding="utf-8").read()
    size, largest, example = values.get("VORDEX_ROW_BYTES"), largest_row(readme), c_example_row(readme)
    if largest is None or example is None or size is None or size < largest or size != example:
        failures.append(f"VORDEX_ROW_BYTES is {size}: the largest row README.md allows takes {largest} bytes, "
                        f"its C example gives {example}")
    if (values.get("VORDEX_MAX_FIELDS"), values.get("VORDEX_MAX_VALUE_BYTES")) != (32, 255):
        failures.append("VORDEX_MAX_FIELDS and VORDEX_MAX_VALUE_BYTES are not the library's 32 and 255")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(declared)} declarations checked against vordex.h, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
