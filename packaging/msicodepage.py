#!/usr/bin/env python3
"""msicodepage.py MSI CODEPAGE: sets the code page of an installer's string
pool (the database code page, the first 16 bits of the !_StringPool stream).

wixl writes the strings in the code page of its locale's Windows language
(936 with WINDOWS_LANGUAGE=zh_CN) but leaves the pool's code page at 0,
"neutral": Windows Installer then reads them in the ANSI code page of the
machine it runs on, and every Chinese name (shortcuts, folders, the
uninstall entry) comes out garbled on a Windows whose code page is not 936.
With the code page in the pool, it reads them right everywhere.

Needs python3-olefile (Debian)."""
import sys

import olefile

# Stream names in an installer are packed: two characters of this alphabet
# in one UTF-16 unit from 0x3800, one in a unit from 0x4800, and 0x4840 for
# the '!' that marks a table.
ALPHABET = '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._'


def stream_name(packed):
    out = []
    for ch in packed:
        c = ord(ch)
        if 0x3800 <= c < 0x4800:
            out += [ALPHABET[(c - 0x3800) & 0x3F], ALPHABET[(c - 0x3800) >> 6]]
        elif 0x4800 <= c < 0x4840:
            out.append(ALPHABET[c - 0x4800])
        elif c == 0x4840:
            out.append('!')
        else:
            out.append(ch)
    return ''.join(out)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    path, codepage = sys.argv[1], int(sys.argv[2])
    with olefile.OleFileIO(path, write_mode=True) as msi:
        for entry in msi.listdir():
            if len(entry) == 1 and stream_name(entry[0]) == '!_StringPool':
                pool = msi.openstream(entry).read()
                # The high half of the first word keeps its flag (long string references).
                msi.write_stream(entry, codepage.to_bytes(2, 'little') + pool[2:])
                return
    sys.exit(f'{path}: no string pool')


if __name__ == '__main__':
    main()
