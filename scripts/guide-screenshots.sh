#!/usr/bin/env bash
# Makes the screenshots of the Chinese user guide (docs/zh-CN/images/): each
# program of the suite under Wine on a virtual display, doing its job against
# the software reader, cropped to its window. Run from the repository root:
#
#   bash scripts/guide-screenshots.sh [BUILD_DIR]
#
# BUILD_DIR is the Windows cross build (default build-win); it is configured
# if it does not exist yet, and the programs, readersim.exe and uidriver.exe
# are built or brought up to date. The serial tools talk to a native
# readersim: $READERSIM if set, else the one of build/ if it exists, else one
# built in BUILD_DIR/native-tools (see tests/e2e/lib.sh). Takes about a
# minute once built. Needs what the end-to-end tests need (tests/e2e/README.md).
set -u
cd "$(dirname "$0")/.." || exit 1
root=$PWD
build=${1:-build-win}
out=$root/docs/zh-CN/images

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    >/dev/null || exit 1
fi
echo "building the programs in $build..."
cmake --build "$build" -j2 --target tagdesk-listen tagdesk-connect tagdesk-legacy readersetup \
  readersetup-v3.0 r7a-setup rssifilter readersim uidriver >/dev/null || exit 1
build=$(cd "$build" && pwd)
if [ -z "${READERSIM:-}" ] && [ -x build/tools/readersim/readersim ]; then
  export READERSIM=$root/build/tools/readersim/readersim
fi

# winrect.exe HWND prints the window's rectangle as WIDTHxHEIGHT+LEFT+TOP in
# desktop coordinates, which are the X display's in Wine's virtual desktop.
helper=$build/guide-tools
mkdir -p "$helper"
if [ ! -f "$helper/winrect.exe" ] || [ "$0" -nt "$helper/winrect.exe" ]; then
  cat >"$helper/winrect.c" <<'EOF'
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
int main(int argc, char** argv)
{
    RECT r;
    HWND w;
    if (argc != 2)
        return 2;
    w = (HWND)(ULONG_PTR)strtoull(argv[1], NULL, 0);
    if (!IsWindow(w) || !GetWindowRect(w, &r))
        return 1;
    printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    return 0;
}
EOF
  x86_64-w64-mingw32-gcc -O2 -s -o "$helper/winrect.exe" "$helper/winrect.c" || exit 1
fi

. tests/e2e/wine-env.sh
. tests/e2e/lib.sh
sim=$(native_readersim "$build") || exit 1
SIMEXE=$build/tools/readersim/readersim.exe
E2E_LOGDIR=$build/e2e-logs/guide-screenshots
e2e_setup "$build" || exit 1
mkdir -p "$out"

# shot NAME HWND: the window cropped from the display, as an 8-bit palette PNG.
shot() {
  local rect full=$E2E_LOGDIR/$1-full.png
  wine "$helper/winrect.exe" "$2" >"$E2E_LOGDIR/rect.txt" 2>/dev/null </dev/null
  rect=$(tr -d '\r' <"$E2E_LOGDIR/rect.txt")
  [ -n "$rect" ] || { fail "$1: no rectangle for window $2"; return; }
  e2e_screenshot "$full"
  convert "$full" -crop "$rect" +repage -strip -colors 256 "PNG8:$out/$1.png"
  echo "$1.png: $rect, $(stat -c %s "$out/$1.png") bytes"
}

# The serial readers first: mapping a port restarts Wine.
serial_reader active COM1 --model 1 --level 3 --connect active --device-name dev001 \
  --device-password 314159 --platform 192.168.1.20:8800 --ip 192.168.1.195 --version-text V2.14-230612
e2e_serial r7a COM2 >/dev/null || exit 1
"$sim" legacy-serial --device "$E2E_SERIAL_R7A" --reply-size 59 --version-text R7A-V1.7 \
  --rs485-baud 4 --antenna-baud 4 --antenna1-baud 4 --ip 192.168.1.196 --mask 255.255.255.0 \
  --gateway 192.168.1.1 --threshold -80 --flag 0 >"$E2E_LOGDIR/r7a.out" 2>&1 </dev/null &
E2E_PIDS[reader-r7a]=$!
serial_reader filter COM3 --rssi-threshold -60 --version-text V2.14-230612
serial_reader silent COM4 --silent reply
serial_reader merge COM5 --model 1 --level 3 --connect wait --device-id 101 --antenna-merge 1

start() {  # NAME EXE CLASS
  e2e_start "$1" "$2"
  WIN=$(ui wait-window "$3" 30000) || { echo "$2 did not open" >&2; exit 1; }
}
finish() {  # NAME
  ui close "$WIN" >/dev/null
  e2e_wait "$1" 10 >/dev/null
}
stop_reader() {  # NAME
  kill "${E2E_PIDS[$1]}" 2>/dev/null
  e2e_wait "$1" 10 >/dev/null
}

echo "--- listening console with a reader logged in"
start listen "$build/console/listen/tagdesk-listen.exe" TAGDESKTEST
ui click "$WIN" 1016 >/dev/null
e2e_start listen-reader "$SIMEXE" listen --server 127.0.0.1:8800 --tags 25 --first-tag 100100 \
  --tag-step 7 --substations 0,1,2,3 --states 0,1,0,3 --rssi -35,-48,-62,-27 --extra 0A1B \
  --low-voltage 6 --rate 10
expect_text "listening console linked" 1041 "已连接" 30000
ui set-text "$WIN" 1181 "1" >/dev/null
ui set-text "$WIN" 1178 "100107" >/dev/null
ui set-text "$WIN" 1194 "1" >/dev/null
ui set-text "$WIN" 1193 "100107" >/dev/null
ui set-text "$WIN" 1195 "1" >/dev/null
ui set-text "$WIN" 1196 "请到3号门集合" >/dev/null
sleep 5
shot listen-console "$WIN"
ui click "$WIN" 1198 >/dev/null
details=$(ui wait-window "#32770:分站详情" 10000) && {
  sleep 4
  shot details-window "$details"
  ui close "$details" >/dev/null
}
finish listen
stop_reader listen-reader

for kind in connect legacy; do
  echo "--- $kind console logged in to a reader"
  mode=direct
  [ "$kind" = legacy ] && mode=legacy
  e2e_start "$kind-reader" "$SIMEXE" "$mode" --bind 127.0.0.1 --tags 14 --first-tag 2001 \
    --tag-step 3 --substations 0,1 --states 0,0 --rssi -42,-55,-38 --rate 6
  start "$kind" "$build/console/$kind/tagdesk-$kind.exe" TAGDESKTEST
  sleep 1
  ui set-ip "$WIN" 1180 127.0.0.1 >/dev/null
  ui click "$WIN" 1016 >/dev/null
  expect_text "$kind console linked" 1041 "已连接" 30000
  sleep 4
  shot "$kind-console" "$WIN"
  finish "$kind"
  stop_reader "$kind-reader"
done

echo "--- configuration tool: port choice, time-out, page of model 1"
start setup "$build/setup/readersetup.exe" readerSetupKit
shot readersetup-port "$WIN"
open_port 3  # COM4: the silent reader
if e2e_msgbox "$WIN" 8000; then
  shot msgbox-timeout "$E2E_BOX"
  ui answer "$E2E_BOX" >/dev/null
else
  fail "no time-out message"
fi
e2e_ui wait-text "$WIN" 1002 "打开串口" 3000 >/dev/null
open_port 0  # COM1: model 1 in active mode
expect_text "model-1 page" 1005 "V2.14-230612" 8000
sleep 1
shot readersetup-page105 "$WIN"
finish setup

echo "--- configuration tool V3.0: model 1 with the antenna-merge box"
start setup30 "$build/setup/readersetup-v3.0.exe" readerSetupKit
open_port 4  # COM5
expect_text "V3.0 model-1 page" 1005 "V2.14-230612" 8000
sleep 1
shot readersetup-v30-page105 "$WIN"
finish setup30

echo "--- signal filter tool"
start rssi "$build/rssifilter/rssifilter.exe" CORVOLINKSDK_DEMO
ui select "$WIN" 1020 2 >/dev/null  # COM3
ui click "$WIN" 1014 >/dev/null
expect_text "threshold read" 1024 "-60" 8000
sleep 1
shot rssifilter "$WIN"
finish rssi

echo "--- legacy settings tool"
start r7a "$build/r7a-setup/r7a-setup.exe" CORVOLINKSDK_DEMO
ui select "$WIN" 1013 1 >/dev/null  # COM2
ui click "$WIN" 1014 >/dev/null
expect_text "R7A record read" 1058 "R7A-V1.7" 8000
sleep 1
shot r7a-setup "$WIN"
finish r7a

echo "total: $(du -cb "$out"/*.png | tail -1 | cut -f1) bytes in $out"
e2e_finish
