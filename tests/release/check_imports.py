#!/usr/bin/env python3
"""The import-table check: fails when an executable's import table names a DLL outside the
allowed list (compared without regard to case). It reads the "DLL Name:" lines of the import
tables that objdump -p prints; delay-loaded DLLs are not in them. Linux-side.

  check_imports.py OBJDUMP ALLOWED EXE...     ALLOWED: DLL names separated by ","
"""
import os
import subprocess
import sys


def imported_dlls(objdump, exe):
    """The DLL names of exe's import table, in objdump's order."""
    listing = subprocess.run([objdump, "-p", exe], check=True, stdout=subprocess.PIPE,
                             text=True).stdout
    names, in_imports = [], False
    for line in listing.splitlines():
        if line.startswith("The Import Tables"):
            in_imports = True
        elif line.startswith("The "):
            in_imports = False
        elif in_imports and line.strip().startswith("DLL Name:"):
            names.append(line.split(":", 1)[1].strip())
    return names


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    objdump, allowed, exes = sys.argv[1], sys.argv[2], sys.argv[3:]
    allowed = {name.strip().lower() for name in allowed.split(",") if name.strip()}
    refused = False
    for exe in exes:
        name = os.path.basename(exe)
        dlls = imported_dlls(objdump, exe)
        outside = [dll for dll in dlls if dll.lower() not in allowed]
        if not dlls:
            print("%s: no import table found" % name)
            refused = True
        elif outside:
            print("%s imports %s, outside the allowed list" % (name, ", ".join(outside)))
            refused = True
        else:
            print("%s imports only %s" % (name, ", ".join(dlls)))
    return 1 if refused else 0


if __name__ == "__main__":
    sys.exit(main())
