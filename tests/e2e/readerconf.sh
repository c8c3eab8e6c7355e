#!/usr/bin/env bash
# End-to-end scenario of readerconf.exe under Wine: the console program reads
# and writes readers over COM ports whose other ends are native readersim
# readers (socat pty pairs):
#
#   COM1  model 1 at level 3
#   COM2  model 3 (WIFI) at level 2
#   COM3  a reader that never answers
#
# Read prints the record; writing it back writes once and changes nothing;
# an edited file sends the payload that --dry-run shows; a Chinese SSID goes
# in UTF-8 and reads back; a refused file writes nothing; the silent reader
# ends with exit 3; the RSSI threshold is set with a negative VALUE.
#
#   tests/e2e/readerconf.sh BUILD_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
. "$here/wine-env.sh"
. "$here/lib.sh"

sim=$(native_readersim "$build") || exit 1

E2E_LOGDIR=$build/e2e-logs/readerconf
e2e_setup "$build" || exit 1
TOOL=$build/tools/readerconf/readerconf.exe

serial_reader wired COM1 --model 1 --level 3 --rssi-threshold -60
serial_reader wifi COM2 --model 3 --level 2
serial_reader mute COM3 --silent all

# run NAME ARGS...: readerconf.exe with ARGS; its output in $E2E_LOGDIR/NAME.out,
# its exit code returned.
run() {
  local name=$1
  shift
  e2e_start "$name" "$TOOL" "$@" --tick-ms 500
  e2e_wait "$name" 60
}
out() { tr -d '\r' <"$E2E_LOGDIR/$1.out"; }
writes() { grep -c '^rx code=0x03 ' "$E2E_LOGDIR/$1.out"; }
written() { grep '^rx code=0x03 ' "$E2E_LOGDIR/$1.out" | tail -1 | sed 's/.*payload=\([0-9A-F]*\).*/\1/'; }
# A file of the test as the Windows program names it.
winpath() { echo "Z:$1"; }

echo "--- read and write back"
run read1 read COM1
expect_eq "read COM1" "$?" 0
grep -q '"mac": "02-51-56-00-00-01"' "$E2E_LOGDIR/read1.out" && echo "ok: MAC" || fail "no MAC in $(out read1)"
out read1 >"$E2E_LOGDIR/record.json"
run back write COM1 "$(winpath "$E2E_LOGDIR/record.json")"
expect_eq "write back" "$?" 0
expect_eq "one write" "$(writes wired)" 1
run read2 read COM1
expect_eq "record unchanged" "$(out read2)" "$(out read1)"

echo "--- an edited file"
sed -e 's/"ip": "[0-9.]*"/"ip": "10.9.8.7"/' -e 's/"device_id": [0-9]*/"device_id": 4321/' \
  "$E2E_LOGDIR/record.json" >"$E2E_LOGDIR/edited.json"
run dry write COM1 "$(winpath "$E2E_LOGDIR/edited.json")" --dry-run --json
expect_eq "dry run" "$?" 0
want=$(out dry | sed -n 's/.*"payload": "\(.*\)".*/\1/p' | tr -d ' ')
expect_eq "dry run writes nothing" "$(writes wired)" 1
run edit write COM1 "$(winpath "$E2E_LOGDIR/edited.json")"
expect_eq "edited write" "$?" 0
expect_eq "the reader got the payload shown" "$(written wired)" "$want"
run read3 read COM1
grep -q '"ip": "10.9.8.7"' "$E2E_LOGDIR/read3.out" && echo "ok: IP read back" || fail "IP not read back: $(out read3)"

echo "--- a refused file"
printf '{"platform_port": 8800, "ip": "10.1.1"}' >"$E2E_LOGDIR/bad.json"
run bad write COM1 "$(winpath "$E2E_LOGDIR/bad.json")"
expect_eq "refused" "$?" 1
expect_eq "refusal text" "$(tr -d '\r' <"$E2E_LOGDIR/bad.err")" "platform_port: 当前设置下不能修改此项"
expect_eq "nothing written" "$(writes wired)" 2

echo "--- a Chinese SSID"
printf '{"ssid": "车间网络", "wifi_password": "门禁2024"}' >"$E2E_LOGDIR/ssid.json"
run ssid write COM2 "$(winpath "$E2E_LOGDIR/ssid.json")"
expect_eq "SSID written" "$?" 0
run read4 read COM2
grep -q '"ssid": "车间网络"' "$E2E_LOGDIR/read4.out" && echo "ok: SSID read back" || fail "SSID: $(out read4)"

echo "--- a silent reader"
run silent read COM3
expect_eq "silent reader" "$?" 3

echo "--- the RSSI threshold"
run t1 threshold COM1 -45
expect_eq "threshold -45" "$?" 0
expect_eq "threshold read back" "$(out t1)" "-45"
grep -q 'threshold=-45' "$E2E_LOGDIR/wired.out" && echo "ok: written" || fail "threshold not written"

echo "--- the readers' captures"
expect_serial_captures configuration
expect_capture_values "wired: model, device ids, thresholds read and written" "$E2E_LOGDIR/wired.pcap" \
  "tagserial.model tagserial.device_id tagserial.threshold" "1/1 4321/-45"
expect_capture_values "WIFI: model, levels, network names read and written" "$E2E_LOGDIR/wifi.pcap" \
  "tagserial.model tagserial.level tagserial.ssid" "3/0 2/reader-ap 车间网络"
e2e_finish
