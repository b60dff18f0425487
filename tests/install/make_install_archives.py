#!/usr/bin/env python3
"""Zip archives for the installation's tests, most of them with content no folder can hold.

  make_install_archives.py OUT_DIR

  case_clash_file_first.zip     "Data" (a file), then "data/x.txt"
  case_clash_folder_first.zip   "data/x.txt", then "Data" (a file)
  work_folder.zip               "a.txt" and ".QuillonStaging/x.txt" (the installer's own name)
  folders_only.zip              two folder entries and no file (it installs them)
  long_name.zip                 "a.txt" and a file whose name alone is 250 characters
  one_file.zip                  "a.txt" alone (it installs)
  unstartable_widget.zip        a "QuillonWidget.exe" that is no program (it installs, and
                                cannot be started)
"""
import os
import sys
import zipfile

ARCHIVES = {
    "case_clash_file_first.zip": [("Data", b"a file\r\n"), ("data/x.txt", b"x\r\n")],
    "case_clash_folder_first.zip": [("data/x.txt", b"x\r\n"), ("Data", b"a file\r\n")],
    "work_folder.zip": [("a.txt", b"a\r\n"), (".QuillonStaging/x.txt", b"x\r\n")],
    "folders_only.zip": [("empty/", b""), ("other/", b"")],
    "long_name.zip": [("a.txt", b"a\r\n"), ("n" * 246 + ".txt", b"long\r\n")],
    "one_file.zip": [("a.txt", b"a\r\n")],
    "unstartable_widget.zip": [("QuillonWidget.exe", b"this is no program\r\n")],
}


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, entries in ARCHIVES.items():
        with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED) as archive:
            for entry, data in entries:
                info = zipfile.ZipInfo(entry, date_time=(2024, 5, 1, 10, 20, 30))
                archive.writestr(info, data)
    open(os.path.join(out, "stamp"), "w").close()


if __name__ == "__main__":
    main()
