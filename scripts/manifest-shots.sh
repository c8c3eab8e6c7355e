#!/usr/bin/env bash
# Screenshots behind the manifest's two choices (docs/release.md): the
# listening console with live tags and the signal filter tool, built
#   styles     as delivered: common controls 6, DPI-unaware
#   classic    without common controls 6
#   dpiaware   declared DPI-aware (the programs do not scale their pixel sizes)
# and shown under Wine at 96, 120 and 144 DPI (LogPixels). Writes the
# cropped PNGs of docs/release/ and leaves build-win configured as delivered.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build-win
out=$root/$build/manifest-shots
docs=$root/docs/release
programs=(tagdesk-listen rssifilter readersim uidriver)

build_variant() {  # NAME STYLES DPI_AWARE
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DTAGDESK_VISUAL_STYLES="$2" -DTAGDESK_DPI_AWARE="$3" >/dev/null
  cmake --build "$build" -j2 --target "${programs[@]}" >/dev/null
  mkdir -p "$out/$1"
  cp "$build/console/listen/tagdesk-listen.exe" "$build/rssifilter/rssifilter.exe" "$out/$1/"
}
rm -rf "$out" "$docs"
mkdir -p "$docs"
build_variant classic OFF OFF
build_variant dpiaware ON ON
build_variant styles ON OFF  # last: the delivered configuration stays

set +eu
. tests/e2e/wine-env.sh
export E2E_DESKTOP_SIZE=1600x1200
export E2E_UIDRIVER=$root/$build/tools/uidriver/uidriver.exe
export E2E_LOGDIR=$out/logs
e2e_setup "$out" || exit 1
ui() { e2e_ui "$@" | tr -d '\r'; }

# The desktop is one colour: trimming it leaves the window; then the part
# that CROP (WxH+X+Y, or "" for all) names, in few colours.
shoot() {  # FILE CROP
  e2e_screenshot "$out/full.png"
  convert "$out/full.png" -trim +repage ${2:+-crop "$2" +repage} -colors 64 -strip "$1"
  rm -f "$out/full.png"
}

shots() {  # VARIANT DPI
  local dir=$out/$1 win port=$((18800 + $2))
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$2" /f >/dev/null 2>&1
  wineserver -k; sleep 1
  e2e_start console "$dir/tagdesk-listen.exe"
  win=$(ui wait-window TAGDESKTEST 30000) || { echo "no console" >&2; return 1; }
  ui set-text "$win" 1199 "$port" >/dev/null
  ui click "$win" 1016 >/dev/null
  e2e_start reader "$root/$build/tools/readersim/readersim.exe" listen \
    --server 127.0.0.1:$port --tags 14 --first-tag 100100 --tag-step 7 --substations 0,1,2,3 \
    --states 0,1,0,3 --rssi -35,-48,-62,-27 --extra 0A1B --low-voltage 6 --rate 10
  e2e_ui wait-text "$win" 1041 "已连接" 30000 >/dev/null
  sleep 4
  # At 96 DPI the left panel and the grid's corner show the controls;
  # above it the whole window, to show what fits.
  if [ "$2" = 96 ]; then
    shoot "$docs/listen-$1-$2.png" 560x330+0+0
  else
    shoot "$docs/listen-$1-$2.png" ""
  fi
  ui close "$win" >/dev/null
  kill "${E2E_PIDS[reader]}" 2>/dev/null
  e2e_start filter "$dir/rssifilter.exe"
  win=$(ui wait-window CORVOLINKSDK_DEMO 30000) || { echo "no filter tool" >&2; return 1; }
  sleep 1
  shoot "$docs/rssifilter-$1-$2.png" ""
  ui close "$win" >/dev/null
  wineserver -k
}

shots styles 96
shots classic 96
for dpi in 120 144; do
  shots styles "$dpi"
  shots dpiaware "$dpi"
done
# Wine gives every program the display's DPI: the DPI-unaware build looks
# the same as the one declared aware. Keep one of each pair.
for f in "$docs"/*-dpiaware-*.png; do
  if [ "$(compare -metric AE "$f" "${f/-dpiaware-/-styles-}" null: 2>&1)" = 0 ]; then
    echo "$(basename "$f"): the same as the DPI-unaware build"
    rm -f "$f"
  fi
done
rm -f "$docs"/rssifilter-*-120.png
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
ls -la "$docs"
