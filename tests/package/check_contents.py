#!/usr/bin/env python3
"""check_contents.py SOURCE BUILD: the packages in SOURCE/dist hold what
they should (run scripts/package.sh first).

- The zip holds exactly the files that its read-me lists, and those are the
  suite's programs, readersim.exe, readerconf.exe, the read-me and every file of docs/zh-CN/.
- Its Chinese names carry the UTF-8 flag.
- The installer holds the same files, byte for byte.
- Every .exe is the Release build of BUILD, stripped and static: no symbol
  table, no debug sections, no DLL beyond Windows' own."""
import os
import subprocess
import sys
import tempfile
import zipfile

PROGRAMS = [
    'tagdesk-listen', 'tagdesk-connect', 'tagdesk-legacy',
    'readersetup', 'readersetup-v3.5', 'readersetup-v3.3', 'readersetup-v3.0',
    'rssifilter', 'r7a-setup', 'readersim', 'readerconf',
]
SYSTEM_DLLS = {'advapi32.dll', 'bcrypt.dll', 'comctl32.dll', 'comdlg32.dll', 'gdi32.dll',
               'kernel32.dll', 'msvcrt.dll', 'shell32.dll', 'user32.dll', 'ws2_32.dll'}
OBJDUMP = 'x86_64-w64-mingw32-objdump'
SKIPPED = 77  # ctest's SKIP_RETURN_CODE: no packages to test

failures = []


def check(what, ok, detail=''):
    print(('ok: ' if ok else 'FAIL: ') + what + ('' if ok else ': ' + detail))
    if not ok:
        failures.append(what)


def listed_files(readme):
    """The file list at the end of the read-me, with '/' separators."""
    text = readme.decode('utf-8-sig').replace('\r', '')
    listing = text.split('文件清单：\n', 1)[1]
    return {line.strip().replace('\\', '/') for line in listing.splitlines() if line.strip()}


def exe_problems(path):
    problems = []
    headers = subprocess.run([OBJDUMP, '-h', path], capture_output=True, text=True, check=True).stdout
    if '.debug' in headers:
        problems.append('debug sections')
    symbols = subprocess.run([OBJDUMP, '-t', path], capture_output=True, text=True).stdout
    if 'no symbols' not in symbols and '[  0]' in symbols:
        problems.append('symbol table')
    private = subprocess.run([OBJDUMP, '-p', path], capture_output=True, text=True, check=True).stdout
    dlls = {line.split()[-1].lower() for line in private.splitlines() if 'DLL Name:' in line}
    if dlls - SYSTEM_DLLS:
        problems.append('needs ' + ', '.join(sorted(dlls - SYSTEM_DLLS)))
    return problems


def main():
    source, build = sys.argv[1], sys.argv[2]
    version = open(os.path.join(build, 'programInfo', 'version.txt')).read().strip()
    name = f'tagdesk-{version}-win64'
    zip_path = os.path.join(source, 'dist', name + '.zip')
    msi_path = os.path.join(source, 'dist', name + '.msi')
    for path in (zip_path, msi_path):
        if not os.path.isfile(path):
            print(f'{path} is missing: run bash scripts/package.sh first')
            sys.exit(SKIPPED)

    expected = {p + '.exe' for p in PROGRAMS} | {'README.txt', 'wireshark/tagdesk.lua'}
    guide = os.path.join(source, 'docs', 'zh-CN')
    for directory, _, files in os.walk(guide):
        for f in files:
            expected.add('docs/zh-CN/' + os.path.relpath(os.path.join(directory, f), guide)
                         .replace(os.sep, '/'))
    check('the guide is in the packages', 'docs/zh-CN/用户指南.md' in expected)

    with zipfile.ZipFile(zip_path) as archive:
        entries = [i for i in archive.infolist() if not i.is_dir()]
        prefix = name + '/'
        outside = [i.filename for i in entries if not i.filename.startswith(prefix)]
        check('every zip entry is in one top folder ' + prefix, not outside, str(outside))
        in_zip = {i.filename[len(prefix):] for i in entries}
        readme = archive.read(prefix + 'README.txt')
        check('the zip holds exactly the files its read-me lists', in_zip == listed_files(readme),
              f'unlisted {sorted(in_zip - listed_files(readme))}, '
              f'missing {sorted(listed_files(readme) - in_zip)}')
        check('the zip holds the programs, the read-me and the guide', in_zip == expected,
              f'extra {sorted(in_zip - expected)}, missing {sorted(expected - in_zip)}')
        unflagged = [i.filename for i in entries if not i.filename.isascii() and not i.flag_bits & 0x800]
        check('Chinese names carry the UTF-8 flag', not unflagged, str(unflagged))

        with tempfile.TemporaryDirectory() as tmp:
            subprocess.run(['msiextract', '-C', tmp, msi_path], check=True, capture_output=True)
            # msiextract writes INSTALLDIR's files under its own name.
            installed = os.path.join(tmp, 'tagdesk')
            in_msi = set()
            for directory, _, files in os.walk(installed):
                for f in files:
                    in_msi.add(os.path.relpath(os.path.join(directory, f), installed).replace(os.sep, '/'))
            check('the installer holds the zip\'s files', in_msi == in_zip,
                  f'extra {sorted(in_msi - in_zip)}, missing {sorted(in_zip - in_msi)}')
            for rel in sorted(in_msi & in_zip):
                with open(os.path.join(installed, rel), 'rb') as f:
                    same = f.read() == archive.read(prefix + rel)
                check(f'{rel}: the same in both packages', same)

        for program in PROGRAMS:
            exe = program + '.exe'
            if exe not in in_zip:
                continue
            built = open(os.path.join(build, 'programInfo', program + '.path')).read().strip()
            with open(built, 'rb') as f:
                check(f'{exe}: the Release build of {build}', f.read() == archive.read(prefix + exe),
                      'it differs from the build (rebuilt since scripts/package.sh ran?)')
            problems = exe_problems(built)
            check(f'{exe}: stripped and static', not problems, ', '.join(problems))

    if failures:
        sys.exit(f'{len(failures)} check(s) failed')
    print('all checks passed')


if __name__ == '__main__':
    main()
