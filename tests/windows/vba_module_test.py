#!/usr/bin/python3
"""examples/vba/VORDEX.bas against include/vordex.h: exactly one well-formed
64-bit declaration of each of the 17 functions, each with the types VBA
must use for it (int: ByVal Long; a text in: ByVal String; a text out:
LongPtr; void: Sub), and every routine of the module closed.

    vba_module_test.py SOURCE_DIR
"""
import re
import sys

# What VBA passes and takes for each C type of vordex.h.
PARAMETER = {"int": "Long", "const char*": "String", "char*": "String"}
RESULT = {"int": "Long", "const char*": "LongPtr"}

C_FUNCTION = re.compile(r"^VORDEX_API ([^(\n]+?)\s*\b(VORDEX_\w+)\((.*?)\);", re.S | re.M)
DECLARE = re.compile(r'^Public Declare PtrSafe (Function|Sub) (VORDEX_\w+) Lib "VORDEX\.dll" \((.*)\)(?: As (\w+))?$')


def c_functions(header):
    functions = {}
    for result, name, parameters in C_FUNCTION.findall(header):
        types = [] if parameters.strip() == "void" else [
            re.sub(r"\s*\*\s*", "* ", p.strip()).rsplit(" ", 1)[0].strip() for p in parameters.split(",")]
        functions[name] = (result.replace(" *", "*").strip(), types)
    return functions


def main():
    source = sys.argv[1]
    header = open(f"{source}/include/vordex.h", encoding="utf-8").read()
    module = open(f"{source}/examples/vba/VORDEX.bas", encoding="utf-8", newline="").read()
    failures = []
    expected = c_functions(header)
    if len(expected) != 17:
        failures.append(f"vordex.h: {len(expected)} functions found, not 17")
    if not module.startswith('Attribute VB_Name = "VORDEX"\r\n') or "\n" in module.replace("\r\n", ""):
        failures.append("the module must begin with its VB_Name and have CR LF line ends")
    lines = module.split("\r\n")
    declared = {}
    for number, line in enumerate(lines, 1):
        if "VORDEX_" not in line or not line.startswith(("Public Declare", "Private Declare", "Declare")):
            continue
        match = DECLARE.match(line)
        if not match:
            failures.append(f"line {number}: not a Public Declare PtrSafe of VORDEX.dll: {line}")
            continue
        kind, name, parameters, result = match.groups()
        if name in declared:
            failures.append(f"line {number}: {name} declared twice")
        declared[name] = (kind, [p.strip() for p in parameters.split(",") if p.strip()], result)
    for name, (c_result, c_types) in expected.items():
        if name not in declared:
            failures.append(f"{name} is not declared")
            continue
        kind, parameters, result = declared[name]
        if c_result == "void":
            if kind != "Sub" or result is not None:
                failures.append(f"{name}: returns nothing, so a Sub")
        elif kind != "Function" or result != RESULT.get(c_result):
            failures.append(f"{name}: a Function As {RESULT.get(c_result)}, not {kind} As {result}")
        if len(parameters) != len(c_types):
            failures.append(f"{name}: {len(parameters)} parameters, vordex.h has {len(c_types)}")
        for parameter, c_type in zip(parameters, c_types):
            if not re.fullmatch(rf"ByVal \w+ As {PARAMETER.get(c_type)}", parameter):
                failures.append(f"{name}: '{parameter}' for a C {c_type}, not ByVal ... As {PARAMETER.get(c_type)}")
    for name in set(declared) - set(expected):
        failures.append(f"{name} is declared but not in vordex.h")
    # Every Function and Sub of the module ends.
    opened = sum(bool(re.match(r"(Public |Private )?(Function|Sub) \w+\(", line)) for line in lines)
    closed = sum(line in ("End Function", "End Sub") for line in lines)
    if opened != closed or opened == 0:
        failures.append(f"{opened} routines begin but {closed} end")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(declared)} declarations checked against vordex.h, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
