#!/usr/bin/env bash
# The serial side of the Wine harness: the e2e prefix offers exactly the COM
# ports that e2e_serial maps, and bytes written to a mapped port reach the
# Linux end of its pty pair.
#
#   tests/e2e/serial_smoke.sh BUILD_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
. "$here/wine-env.sh"
. "$here/lib.sh"
E2E_LOGDIR=$build/e2e-logs/serial-smoke
e2e_setup "$build" || exit 1

ports() { ui serial-probe | paste -sd' '; }

expect_eq "no COM port before mapping" "$(ports)" ""
e2e_serial reader COM1 || exit 1
e2e_serial spare COM5 || exit 1
expect_eq "the mapped ports, and only they" "$(ports)" "COM1 COM5"

# cmd's echo opens COM1 as a file; the line crosses the pty pair.
wine cmd /c "echo serial-smoke>COM1" >"$E2E_LOGDIR/echo.out" 2>&1 </dev/null
expect_eq "bytes from COM1 at the reader's end" \
  "$(timeout 10 head -c 14 "$E2E_SERIAL_READER" | tr -d '\r\n')" "serial-smoke"
e2e_finish
