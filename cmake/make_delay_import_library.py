#!/usr/bin/env python3
"""Makes a delay-load import library for one DLL with the toolchain's dlltool: a program
linked with it binds the DLL's functions on their first call, through the delay-load helper,
instead of having the loader map the DLL at start-up.

The exports come from the toolchain's own import library of that DLL (every function it
names: each member's jump stub is "_Name@N" or "_Name", and "Name@N" with --kill-at gives
the same import name "Name"), or from a .def file.

GNU ld drops the jump stub of an import-library member whose symbol nobody names, because a
call through __declspec(dllimport) goes to the __imp_ slot directly. A delay-load slot starts
out pointing into that stub, so the stubs are moved into a section ld does not take for a
jump stub ("code" flag off); the output .text section is executable all the same.

usage: make_delay_import_library.py --dll NAME.dll (--import-library LIB.a | --def FILE.def)
           --nm NM --dlltool DLLTOOL --objcopy OBJCOPY --output LIBRARY.a
"""
import argparse
import os
import subprocess
import sys

STUB_SECTION = ".text$delaystub"


def exports_of_import_library(nm, library):
    """The stub symbols of an import library, without their leading underscore."""
    listing = subprocess.run([nm, library], check=True, stdout=subprocess.PIPE, text=True).stdout
    names = []
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) == 3 and fields[1] == "T" and fields[2].startswith("_"):
            names.append(fields[2][1:])
    if not names:
        sys.exit("%s: no functions found" % library)
    return sorted(set(names))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dll", required=True)
    source = parser.add_mutually_exclusive_group(required=True)
    source.add_argument("--import-library")
    source.add_argument("--def", dest="def_file")
    parser.add_argument("--nm", required=True)
    parser.add_argument("--dlltool", required=True)
    parser.add_argument("--objcopy", required=True)
    parser.add_argument("--output", required=True)
    args = parser.parse_args()

    output = os.path.abspath(args.output)
    folder, name = os.path.split(output)
    os.makedirs(folder, exist_ok=True)
    def_file = args.def_file and os.path.abspath(args.def_file)
    if args.import_library:
        def_file = output + ".def"
        with open(def_file, "w") as out:
            out.write("LIBRARY %s\nEXPORTS\n" % args.dll)
            out.writelines(name + "\n" for name in exports_of_import_library(args.nm, args.import_library))

    # dlltool writes its temporary files into the current folder, named after the output.
    partial = name + ".part"
    subprocess.run([args.dlltool, "--kill-at", "--dllname", args.dll, "--input-def", def_file,
                    "--output-delaylib", partial], check=True, cwd=folder)
    subprocess.run([args.objcopy, "--rename-section",
                    ".text=%s,contents,alloc,load,readonly,data" % STUB_SECTION, partial, name],
                   check=True, cwd=folder)
    os.remove(os.path.join(folder, partial))


if __name__ == "__main__":
    main()
