#!/usr/bin/env python3
"""check_versions.py SOURCE BUILD VERSIONINFO_EXE: every program in the
staging folder of scripts/package.sh (the zip's and the installer's files)
carries, as Windows reads it (versioninfo.exe under Wine), the suite's
version, the product name, its own file name and its Chinese description,
and the application manifest: asInvoker, the four supportedOS entries,
common controls 6, no DPI awareness."""
import os
import subprocess
import sys

# File name, then FileDescription.
DESCRIPTIONS = {
    'tagdesk-listen.exe': '监听测试工具',
    'tagdesk-connect.exe': '连接测试工具',
    'tagdesk-legacy.exe': 'R7A测试工具',
    'readersetup.exe': '网络读卡器配置工具 V3.6',
    'readersetup-v3.5.exe': '网络读卡器配置工具 V3.5',
    'readersetup-v3.3.exe': '网络读卡器配置工具 V3.3',
    'readersetup-v3.0.exe': '网络读卡器配置工具 V3.0',
    'rssifilter.exe': 'RSSI阈值设置工具',
    'r7a-setup.exe': 'R7A设置工具',
    'readersim.exe': '读卡器模拟器',
    'readerconf.exe': '读卡器命令行配置工具',
}
# Manifest parts: what each must hold and must not.
MANIFEST_HAS = [
    'level="asInvoker"',
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',  # Windows 7
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}',  # Windows 8
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',  # Windows 8.1
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}',  # Windows 10 and 11
    'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
]
MANIFEST_LACKS = ['dpiAware', 'dpiAwareness', 'activeCodePage']

failures = []


def check(what, ok, detail=''):
    print(('ok: ' if ok else 'FAIL: ') + what + ('' if ok else ': ' + detail))
    if not ok:
        failures.append(what)


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def main():
    source, build, tool = sys.argv[1], sys.argv[2], sys.argv[3]
    version = open(os.path.join(build, 'programInfo', 'version.txt')).read().strip()
    stage = os.path.join(build, 'package', f'tagdesk-{version}-win64')
    if not os.path.isdir(stage):
        print(f'{stage} is missing: run bash scripts/package.sh first')
        sys.exit(77)  # ctest's SKIP_RETURN_CODE
    exes = sorted(f for f in os.listdir(stage) if f.endswith('.exe'))
    check('the staging folder holds every program', set(exes) == set(DESCRIPTIONS), str(exes))
    run = subprocess.run([os.path.join(source, 'tests', 'wine-run.sh'), tool] +
                         [windows_path(os.path.join(stage, e)) for e in exes],
                         capture_output=True, text=True, encoding='utf-8')
    check('versioninfo.exe reads a version resource in every program', run.returncode == 0,
          run.stderr[-2000:])

    blocks = {}
    current = None
    for line in run.stdout.replace('\r', '').splitlines():
        key, _, value = line.partition('=')
        if key == 'file':
            current = blocks.setdefault(value.rsplit('\\', 1)[-1], {})
        elif current is not None:
            current[key] = value
    fixed = '.'.join((version.split('.') + ['0', '0', '0'])[:4])
    for exe in exes:
        info = blocks.get(exe, {})
        expected = {
            'fixed': fixed,
            'FileVersion': version,
            'ProductVersion': version,
            'ProductName': 'tagdesk',
            'OriginalFilename': exe,
            'FileDescription': DESCRIPTIONS.get(exe),
        }
        wrong = {k: info.get(k) for k, v in expected.items() if info.get(k) != v}
        check(f'{exe}: version {version}, name and description', not wrong, f'read {wrong}')
        manifest = info.get('manifest', '')
        missing = [m for m in MANIFEST_HAS if m not in manifest]
        present = [m for m in MANIFEST_LACKS if m in manifest]
        check(f'{exe}: manifest', manifest and not missing and not present,
              f'missing {missing}, present {present}, manifest [{manifest[:200]}]')

    if failures:
        sys.exit(f'{len(failures)} check(s) failed')
    print('all checks passed')


if __name__ == '__main__':
    main()
