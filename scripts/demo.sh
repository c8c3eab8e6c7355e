#!/usr/bin/env bash
# The suite's main job: the listening console tagdesk-listen.exe under Wine,
# started, with the software reader logged in and reporting 25 tags.
#
# With a display (DISPLAY set) the console opens there and runs until you
# close its window. Without one it runs on a virtual X server for
# DEMO_SECONDS (default 20), saves a screenshot and ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh

echo "building the Windows programs..."
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
cmake --build build-win -j2 --target tagdesk-listen readersim uidriver >/dev/null

headless=1
[ -n "${DISPLAY:-}" ] && headless=0
# The Wine session helpers check their own results; they are not written for -e.
set +e
. tests/e2e/wine-env.sh
e2e_setup build-win || exit 1
ui() { e2e_ui "$@" | tr -d '\r'; }

e2e_start console "$root/build-win/console/listen/tagdesk-listen.exe"
WIN=$(ui wait-window TAGDESKTEST 30000) || { echo "the console did not open" >&2; exit 1; }
ui click "$WIN" 1016 >/dev/null  # "开始" on the default port 8800
e2e_start reader "$root/build-win/tools/readersim/readersim.exe" listen \
  --server 127.0.0.1:8800 --tags 25 --first-tag 100100 --tag-step 7 --substations 0,1,2,3 \
  --states 0,1,0,3 --rssi -35,-48,-62,-27 --extra 0A1B --low-voltage 6 --rate 10

if e2e_ui wait-text "$WIN" 1041 "已连接" 30000 >/dev/null; then
  echo "the reader is linked: $(ui get-text "$WIN" 1043) tags listed"
else
  echo "the reader did not link; see $E2E_LOGDIR" >&2
  exit 1
fi
sleep 4
shot=$root/build-win/demo.png
e2e_screenshot "$shot"
echo "screenshot: $shot"

if [ "$headless" = 1 ]; then
  sleep "${DEMO_SECONDS:-20}"
  echo "tags listed: $(ui get-text "$WIN" 1043), status: $(ui get-text "$WIN" 1041)"
  e2e_screenshot "$shot"
  echo "screenshot: $shot"
else
  echo "close the console window to end"
  while kill -0 "${E2E_PIDS[console]}" 2>/dev/null; do sleep 1; done
fi
