#!/usr/bin/env bash
# Runs one cross-compiled test program under Wine and exits with its exit code:
#
#   tests/wine-run.sh path/to/test.exe [ARG...]
#
# The Wine prefix is DIR/wineprefix, where DIR is the nearest folder above the
# program that holds CMakeCache.txt (else the program's own folder): the tests
# of one build share one prefix, and a fresh build starts with a fresh one.
# No display is needed: the prefix uses Wine's null display driver, so tests
# can still create windows and dialogs. TAGDESK_WINEPREFIX overrides the
# prefix location. A crash (unhandled exception) counts as failure.
set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [ARG...]" >&2
  exit 2
fi
exe=$1
shift
if [ ! -f "$exe" ]; then
  echo "wine-run.sh: no such program: $exe" >&2
  exit 2
fi
exe_dir=$(cd "$(dirname "$exe")" && pwd)
exe=$exe_dir/$(basename "$exe")

root=$exe_dir
while [ "$root" != / ] && [ ! -f "$root/CMakeCache.txt" ]; do
  root=$(dirname "$root")
done
[ -f "$root/CMakeCache.txt" ] || root=$exe_dir

here=$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")" && pwd)
# shellcheck source=e2e/wine-env.sh
. "$here/e2e/wine-env.sh"
wine_env_prefix "${TAGDESK_WINEPREFIX:-$root/wineprefix}" headless || exit 1

# The program's output goes to files: Wine's helper processes keep inherited
# pipes open, so a caller reading a pipe would wait for them forever.
out=$(mktemp) && err=$(mktemp) || exit 1
child=""
cleanup() {
  [ -n "$child" ] && kill "$child" 2>/dev/null
  rm -f "$out" "$err"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

wine "$exe" "$@" >"$out" 2>"$err" </dev/null &
child=$!
wait "$child"
rc=$?
child=""
cat "$out"
cat "$err" >&2
# Wine's debugger reports an unhandled exception, then the process ends with
# exit code 0: count it as the failure it is.
if [ "$rc" -eq 0 ] && grep -q '^wine: Unhandled ' "$err"; then
  echo "wine-run.sh: $(basename "$exe") crashed (unhandled exception)" >&2
  rc=1
fi
exit "$rc"
