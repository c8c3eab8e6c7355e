#!/usr/bin/env bash
# Release packages of the suite for 64-bit Windows. Builds the Release
# programs (stripped, static) in build-win and writes into dist/:
#
#   tagdesk-<version>-win64.msi   installer: per machine into Program Files\tagdesk,
#                                 Start-menu shortcuts, uninstall entry, upgrades in place
#   tagdesk-<version>-win64.zip   portable: the same files in one folder
#
# Both hold every program, readersim.exe, the user guide (docs/zh-CN/) and a
# short read-me. <version> is the CMake project version. The staging folder
# and the generated installer source stay in build-win/package for the
# package tests (ctest -L package). Installs the Debian packages it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_DIR:-build-win}
jobs=${JOBS:-2}

guide=docs/zh-CN/用户指南.md
if [ ! -f "$guide" ]; then
  echo "package: $guide is missing: the packages ship the user guide from docs/zh-CN/" >&2
  exit 1
fi

bash scripts/setup.sh

# The programs in the packages, in the read-me's order: target, then its
# file name.
programs=(
  tagdesk-listen tagdesk-connect tagdesk-legacy
  readersetup readersetup-v3.5 readersetup-v3.3 readersetup-v3.0
  rssifilter r7a-setup readersim
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
  exe=$(find "$build" -path "$build/package" -prune -o -type f -name "$target.exe" -print |
        grep -v '/CMakeFiles/' | head -1)
  [ -n "$exe" ] || { echo "package: $target.exe was not built" >&2; exit 1; }
  cp "$exe" "$stage/"
done
mkdir -p "$stage/docs"
cp -r docs/zh-CN "$stage/docs/"
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
python3 packaging/zipfolder.py "dist/$name.zip" "$stage"

# Installer. wixl stores the names in code page 936 (Codepage="936") only
# in a Chinese locale with WINDOWS_LANGUAGE set; without them it drops the
# Chinese names.
. packaging/zh-locale.sh
(
  zh_locale_env "$root/$build/locale"
  export WINDOWS_LANGUAGE=zh_CN
  (cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort |
     wixl-heat -p "" --var var.StageDir --component-group AppFiles --directory-ref INSTALLDIR --win64) \
    > "$work/files.wxs"
  rm -f "dist/$name.msi"
  # wixl takes the sources' paths relative to the working folder.
  cd "$work"
  wixl -a x64 -D Version="$version" -D StageDir="$name" -D Win64=yes \
    -o "$root/dist/$name.msi" "$root/packaging/tagdesk.wxs" files.wxs
)

for f in "dist/$name.msi" "dist/$name.zip"; do
  printf 'package: %s (%s bytes)\n' "$f" "$(stat -c %s "$f")"
done
