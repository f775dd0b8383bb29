#!/usr/bin/python3
"""The C host test under valgrind's memcheck: every process it starts (each
case runs in one) must end without a memory error and without a lost block,
where the library is what did it. Blocks that the library made and that are
still reachable belong to a library still loaded when the process ended;
once it is unloaded, what it left behind has no pointer left and is lost
(the load and unload cycles case looks for that). A finding is the library's
when the innermost frame outside the C and C++ runtimes (and valgrind's own
allocator) lies in libvordex; findings inside the driver manager or a driver,
called by the library or not, are theirs, and so is what the C library keeps
for a thread the library started.

    valgrind_host_test.py PATH/TO/host_c_test PATH/TO/libvordex.so
"""
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

RUNTIMES = ("vgpreload", "/libc.so", "/libstdc++.so", "/libgcc_s.so", "/ld-linux")


def is_runtime(obj):
    return any(name in obj for name in RUNTIMES)


COUNTED = ("Leak_DefinitelyLost", "Leak_IndirectlyLost", "Leak_PossiblyLost")


def culprit(error):
    """The object file and function of the innermost frame outside the runtimes."""
    stack = error.find("stack")
    for frame in stack.findall("frame") if stack is not None else []:
        obj, fn = frame.findtext("obj", ""), frame.findtext("fn", "?")
        if fn.startswith("pthread_create"):
            return "", fn  # the thread's stack and TLS: the C library's
        if obj and not is_runtime(obj):
            return obj, fn
    return "", "?"


def main():
    host_test, library = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        run = subprocess.run(
            ["valgrind", "--quiet", "--xml=yes", f"--xml-file={work}/vg.%p.xml", "--leak-check=full",
             "--show-leak-kinds=all", "--keep-debuginfo=yes", "--num-callers=40", host_test, library],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
        print(run.stdout.decode("utf-8", "replace").splitlines()[-1])
        findings, processes = [], 0
        for name in sorted(os.listdir(work)):
            try:
                root = ET.parse(os.path.join(work, name)).getroot()
            except ET.ParseError:
                continue  # a fork that exec'd psql: valgrind left it alone
            processes += 1
            for error in root.iter("error"):
                kind = error.findtext("kind", "")
                if kind.startswith("Leak_") and kind not in COUNTED:
                    continue
                obj, fn = culprit(error)
                if "libvordex" in obj:
                    what = error.findtext("what") or error.findtext("xwhat/text", "")
                    findings.append(f"{kind} in {fn}: {what}")
        print(f"valgrind: {processes} processes, {len(findings)} findings of the library")
        for finding in findings:
            print("  " + finding)
        return 0 if run.returncode == 0 and processes > 0 and not findings else 1


if __name__ == "__main__":
    sys.exit(main())
