#!/usr/bin/env bash
# Release packages of the suite for 64-bit Windows. Builds the Release
# programs (stripped, static) in build-win and writes into dist/:
#
#   tagdesk-<version>-win64.msi   installer: per machine into Program Files\tagdesk,
#                                 Start-menu shortcuts, uninstall entry, upgrades in place
#   tagdesk-<version>-win64.zip   portable: the same files in one folder
#
# Both hold every program, readersim.exe, readerconf.exe, the user guide (docs/zh-CN/) and a
# short read-me. <version> is the CMake project version. The staging folder
# and the generated installer source stay in build-win/package for the
# package tests (ctest -L package). Installs the Debian packages it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_DIR:-build-win}
jobs=${JOBS:-2}
# Debian's interpreter, which has the modules that setup.sh installs.
python=/usr/bin/python3

guide=docs/zh-CN/用户指南.md
if [ ! -f "$guide" ]; then
  echo "package: $guide is missing: the packages ship the user guide from docs/zh-CN/" >&2
  exit 1
fi

bash scripts/setup.sh

# The programs in the packages (their targets; each lands in <target>.exe).
programs=(
  tagdesk-listen tagdesk-connect tagdesk-legacy
  readersetup readersetup-v3.5 readersetup-v3.3 readersetup-v3.0
  rssifilter r7a-setup readersim readerconf
)

echo "package: building the Release programs in $build"
# The delivered manifest and no debug traces, whatever the build folder had.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DTAGDESK_VISUAL_STYLES=ON -DTAGDESK_DPI_AWARE=OFF -DTAGDESK_DEBUG_TRACE=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target "${programs[@]}"
version=$(cat "$build/programInfo/version.txt")
name=tagdesk-$version-win64

# Staging: the folder that the zip holds and the installer installs.
work=$build/package
stage=$work/$name
rm -rf "$work"
mkdir -p "$stage" dist
for target in "${programs[@]}"; do
  cp "$(cat "$build/programInfo/$target.path")" "$stage/"
done
mkdir -p "$stage/docs" "$stage/wireshark"
cp -r docs/zh-CN "$stage/docs/"
# The Wireshark plugin for the network and serial frames (docs/wireshark.md).
cp tools/wireshark/tagdesk.lua "$stage/wireshark/"
# The read-me (UTF-8 with a byte-order mark, so Notepad reads it on any
# Windows) ends with the list of every file in the folder.
{
  printf '\xef\xbb\xbf'
  sed "s/@VERSION@/$version/g" packaging/README.txt
  (cd "$stage" && { find . -type f; echo ./README.txt; } | sed 's|^\./||' | LC_ALL=C sort |
     sed 's|/|\\|g; s|^|  |')
} | sed 's/$/\r/' > "$work/README.txt"
mv "$work/README.txt" "$stage/README.txt"

# Portable zip: one top folder, the names in UTF-8.
rm -f "dist/$name.zip"
"$python" packaging/zipfolder.py "dist/$name.zip" "$stage"

# Installer, from the same staging folder (packaging/msi.sh).
. packaging/msi.sh
msi_build "$work" "$name" "$version" "$root/dist/$name.msi"

for f in "dist/$name.msi" "dist/$name.zip"; do
  printf 'package: %s (%s bytes)\n' "$f" "$(stat -c %s "$f")"
done
