#!/usr/bin/python3
"""examples/vba/VORDEX.bas against include/vordex.h: exactly one well-formed
VBA 7 declaration of each of the 17 functions, each with the types VBA must
use for it in 32-bit and 64-bit Office (int: ByVal Long; a text in: ByVal
String; a text out: LongPtr; void: Sub), every routine of the module
closed, and VordexLoad: it loads the DLL from the workbook's folder by a
wide path, falls back to the search path, and the example calls it before
any function of the DLL.

    vba_module_test.py SOURCE_DIR
"""
import re
import sys

# What VBA passes and takes for each C type of vordex.h.
PARAMETER = {"int": "Long", "const char*": "String", "char*": "String"}
RESULT = {"int": "Long", "const char*": "LongPtr"}

C_FUNCTION = re.compile(r"^VORDEX_API ([^(\n]+?)\s*\bVORDEX_CALL (VORDEX_\w+)\((.*?)\);", re.S | re.M)
DECLARE = re.compile(r'^Public Declare PtrSafe (Function|Sub) (VORDEX_\w+) Lib "VORDEX\.dll" \((.*)\)(?: As (\w+))?$')


def c_functions(header):
    functions = {}
    for result, name, parameters in C_FUNCTION.findall(header):
        types = [] if parameters.strip() == "void" else [
            re.sub(r"\s*\*\s*", "* ", p.strip()).rsplit(" ", 1)[0].strip() for p in parameters.split(",")]
        functions[name] = (result.replace(" *", "*").strip(), types)
    return functions


def routine(module, name):
    match = re.search(rf"^Public (?:Function|Sub) {name}\(.*?^End (?:Function|Sub)$", module, re.S | re.M)
    return match.group(0) if match else ""


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
    failures = [] if len(expected) == 17 else [f"vordex.h: {len(expected)} functions found, not 17"]
    if not module.startswith('Attribute VB_Name = "VORDEX"\r\n') or "\n" in module.replace("\r\n", ""):
        failures.append("the module must begin with its VB_Name and have CR LF line ends")
    declared = {}
    for number, line in enumerate(lines, 1):
        if "VORDEX_" in line and "Declare" in line.split("(")[0]:
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
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(declared)} declarations checked against vordex.h, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
