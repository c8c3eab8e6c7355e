#!/usr/bin/env python3
"""zipfolder.py ARCHIVE FOLDER: writes ARCHIVE holding FOLDER (as its one top
folder) and every file below it, in sorted order, deflated.

Names are UTF-8 with the archive's UTF-8 flag set (general purpose bit 11),
which Info-ZIP's zip leaves unset on Linux: without the flag, Windows reads
the Chinese names in the OEM code page and garbles them."""
import os
import sys
import zipfile


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    archive, folder = sys.argv[1], sys.argv[2].rstrip('/')
    top = os.path.basename(folder)
    paths = []
    for directory, _, files in os.walk(folder):
        for name in files:
            full = os.path.join(directory, name)
            paths.append((top + '/' + os.path.relpath(full, folder).replace(os.sep, '/'), full))
    with zipfile.ZipFile(archive, 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as out:
        for name, full in sorted(paths):
            out.write(full, name)


if __name__ == '__main__':
    main()
