#!/usr/bin/env bash
# Runs the COM-pair cases of the serial tests under Wine over a real pair of
# ports: socat joins two pseudo-terminals, Wine maps COM31 and COM32 to
# them, and the Windows build of serial_tests exchanges frames between the
# two through the Win32 adapter.
#
#   wine-com-pair.sh BUILD_DIR path/to/serial_tests.exe
#
# The prefix is BUILD_DIR/wineprefix-compair, kept apart from the other
# tests' prefix because the port mapping needs a restart of its wineserver.
set -u
build=$(cd "$1" && pwd) || exit 2
exe=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)

command -v socat >/dev/null || { echo "wine-com-pair.sh: socat is not installed" >&2; exit 1; }
# shellcheck source=../../e2e/wine-env.sh
. "$root/tests/e2e/wine-env.sh"
prefix=$build/wineprefix-compair
wine_env_prefix "$prefix" || exit 1

pair=$build/compair
mkdir -p "$pair"
rm -f "$pair/a" "$pair/b"
socat pty,raw,echo=0,link="$pair/a" pty,raw,echo=0,link="$pair/b" >"$pair/socat.log" 2>&1 </dev/null &
socat_pid=$!
trap 'kill "$socat_pid" 2>/dev/null; wait "$socat_pid" 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ -e "$pair/a" ] && [ -e "$pair/b" ] && break
  sleep 0.1
done
if ! [ -e "$pair/a" ] || ! [ -e "$pair/b" ]; then
  echo "wine-com-pair.sh: socat made no pair, see $pair/socat.log" >&2
  exit 1
fi

# Wine builds its COM devices from this key when its services start.
wine reg add 'HKLM\Software\Wine\Ports' /v COM31 /d "$pair/a" /f >"$pair/reg.log" 2>&1 </dev/null
wine reg add 'HKLM\Software\Wine\Ports' /v COM32 /d "$pair/b" /f >>"$pair/reg.log" 2>&1 </dev/null
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1

out=$pair/tests.out
TAGDESK_WINEPREFIX=$prefix "$root/tests/wine-run.sh" "$exe" --gtest_filter='ComPair.*' >"$out" 2>&1
rc=$?
cat "$out"
wineserver -k >/dev/null 2>&1
if [ "$rc" -eq 0 ] && grep -q '\[  SKIPPED \]' "$out"; then
  echo "wine-com-pair.sh: the pair was not usable, the cases skipped" >&2
  rc=1
fi
exit "$rc"
