#!/usr/bin/env python3
"""Makes the browser runtime package: a ZIP holding the browser host program as
"cefview(e_pair).exe" at its top level and the "locales/" and "Monitor/" folders.

Usage: make-runtime-package.py HOST_EXE OUTPUT_ZIP

Files are deflated and carry the archive attribute (0x20); folders are stored with the
directory attribute (0x10); the entries are marked as made on MS-DOS, so the attributes are
read as DOS attributes. The file's time is the host program's modification time.
"""
import os
import sys
import time
import zipfile

HOST_NAME = "cefview(e_pair).exe"
FOLDERS = ["locales/", "Monitor/"]
ATTR_ARCHIVE = 0x20
ATTR_DIRECTORY = 0x10
MSDOS = 0


def dos_time(seconds):
    # ZIP times start in 1980.
    return max(time.localtime(seconds)[:6], (1980, 1, 1, 0, 0, 0))


def main(host_exe, output):
    with open(host_exe, "rb") as f:
        host = f.read()
    stamp = dos_time(os.stat(host_exe).st_mtime)
    temp = output + ".tmp"
    with zipfile.ZipFile(temp, "w") as z:
        info = zipfile.ZipInfo(HOST_NAME, stamp)
        info.create_system = MSDOS
        info.external_attr = ATTR_ARCHIVE
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, host, compresslevel=9)
        for name in FOLDERS:
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = MSDOS
            info.external_attr = ATTR_DIRECTORY
            info.compress_type = zipfile.ZIP_STORED
            z.writestr(info, b"")
    # Replaced in one step, so a failed run never leaves half a package for the resource.
    os.replace(temp, output)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
