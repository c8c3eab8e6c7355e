#!/usr/bin/env bash
# Soak runs of the real programs under Wine, fed by the software reader
# through its faulty line (docs/reliability.md):
#
#   bash scripts/soak.sh [short|long]
#
# short (the default, part of CI, under 5 minutes): the listening console
# with 100 000 reports and one lost and regained link; then, side by side,
# the connecting and the legacy console through one link loss each, and the
# configuration tool through 100 write and read rounds (50 on a model-1, 50
# on a model-3 reader) over a lossy serial line. long: 1 000 000 reports, 100
# link losses per console, 1000 rounds (hours). Each scenario is a Wine
# session of its own. Needs the native build in build/ and the Windows build
# in build-win/ (README.md); the CSV files and logs go to
# build-win/e2e-logs/soak-*.
set -u
mode=${1:-short}
case $mode in short | long) ;; *) echo "usage: $0 [short|long]" >&2; exit 2 ;; esac
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
export READERSIM=${READERSIM:-$root/build/tools/readersim/readersim}
cmake --build build --target readersim >/dev/null || exit 1
cmake --build build-win --target tagdesk-listen tagdesk-connect tagdesk-legacy readersetup uidriver >/dev/null || exit 1
status=0
mkdir -p build-win/e2e-logs
echo "=== soak_listen.sh $mode"
bash tests/e2e/soak_listen.sh build-win "$mode" || status=1
# The two light scenarios side by side; each one's output after it ends.
pids=()
for script in soak_links.sh soak_setup.sh; do
  bash "tests/e2e/$script" build-win "$mode" >"build-win/e2e-logs/$script.$mode.txt" 2>&1 &
  pids+=($!)
done
for i in 0 1; do
  wait "${pids[$i]}" || status=1
done
for script in soak_links.sh soak_setup.sh; do
  echo "=== $script $mode"
  cat "build-win/e2e-logs/$script.$mode.txt"
done
exit $status
