#!/usr/bin/env bash
# Runs the COM-pair cases of the serial tests under Wine over a real pair of
# ports: socat joins two pseudo-terminals, Wine maps COM31 and COM32 to
# them (com-pair.sh), and the Windows build of serial_tests exchanges frames
# between the two through the Win32 adapter.
#
#   wine-com-pair.sh BUILD_DIR path/to/serial_tests.exe
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)
exe=$2
# shellcheck source=com-pair.sh
. "$here/com-pair.sh"
com_pair_up "$1" || exit 1

out=$COM_PAIR_DIR/tests.out
TAGDESK_WINEPREFIX=$WINEPREFIX "$root/tests/wine-run.sh" "$exe" --gtest_filter='ComPair.*' >"$out" 2>&1
rc=$?
cat "$out"
if [ "$rc" -eq 0 ] && grep -q '\[  SKIPPED \]' "$out"; then
  echo "wine-com-pair.sh: the pair was not usable, the cases skipped" >&2
  rc=1
fi
exit "$rc"
