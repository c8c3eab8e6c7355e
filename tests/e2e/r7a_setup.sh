#!/usr/bin/env bash
# End-to-end scenario of the legacy settings tool: r7a-setup.exe under Wine
# talks over COM1 to a software R7A (native readersim legacy-serial on the
# Linux end of a socat pty pair). The reader writes its parameter reply in
# two pieces and its acknowledgement behind noise bytes, which the tool's
# assembler has to cope with. The window fills with the record when the
# port opens; an edit is applied, the reader's log shows the written bytes,
# and a re-read shows them.
#
#   tests/e2e/r7a_setup.sh BUILD_DIR [SCREENSHOT.png]
#
# The native readersim comes from native_readersim (lib.sh).
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shot=${2:-$build/e2e-logs/r7a-setup.png}
. "$here/wine-env.sh"
. "$here/lib.sh"

sim=$(native_readersim "$build") || exit 1

E2E_LOGDIR=$build/e2e-logs/r7a-setup
e2e_setup "$build" || exit 1
TOOL=$build/r7a-setup/r7a-setup.exe
LOG=$E2E_LOGDIR/r7a.out

e2e_serial r7a COM1 >/dev/null || exit 1
"$sim" legacy-serial --device "$E2E_SERIAL_R7A" --print-sent --pcap "$E2E_LOGDIR/r7a.pcap" --reply-size 59 \
  --version-text R7A-e2e --rs485-baud 0 --antenna-baud 1 --antenna1-baud 2 \
  --ip 192.168.1.195 --mask 255.255.255.0 --gateway 192.168.1.1 --threshold -70 --flag 1 \
  --split reply --stray ack >"$LOG" 2>"$E2E_LOGDIR/r7a.err" </dev/null &
E2E_PIDS[reader-r7a]=$!
wait_line "$LOG" '^# readersim mode=legacy-serial' 5 || { echo "the reader did not start" >&2; exit 1; }

rx_count() { tr -d '\r' <"$LOG" | grep -c "^rx code=$1 "; }
ip_of() { ui get-ip "$WIN" "$1" | cut -f1; }

e2e_start tool "$TOOL"
WIN=$(ui wait-window CORVOLINKSDK_DEMO 30000) || { echo "the tool did not open" >&2; exit 1; }

echo "--- start"
expect_eq "title" "$(ui get-text "$WIN" .)" "QVR-R7A设置工具V1.7"
expect_eq "window at 550,180, 274 x 470, not centred" "$(ui rect "$WIN")" "550 180 274 470"
expect_identity corvoLinkTest__20170523_QV "107 108"
expect_eq "the mapped port is listed" "$(text_of 1013)" "COM1"
expect_eq "button" "$(text_of 1014)" "打开串口"
expect_eq "apply locked" "$(ui enabled "$WIN" 1047)" "0"

echo "--- open: the window fills with the record"
ui click "$WIN" 1014 >/dev/null
expect_text "port open" 1014 "关闭串口" 3000
expect_text "version" 1058 "R7A-e2e" 8000
expect_eq "IP" "$(ip_of 1003)" "192.168.1.195"
expect_eq "mask" "$(ip_of 1036)" "255.255.255.0"
expect_eq "gateway" "$(ip_of 1037)" "192.168.1.1"
expect_eq "RS485" "$(text_of 1023)" "9600"
expect_eq "antenna 0" "$(text_of 1020)" "19200"
expect_eq "antenna 1" "$(text_of 1057)" "38400"
expect_eq "ANT1 as ANT0" "$(ui checked "$WIN" 1059)" "1"
expect_eq "apply free" "$(ui enabled "$WIN" 1047)" "1"
expect_eq "one read request" "$(rx_count 0x01)" "1"

echo "--- edit and apply"
ui set-ip "$WIN" 1003 10.0.0.7 >/dev/null
ui select "$WIN" 1023 4 >/dev/null || fail "cannot select 115200"
ui click "$WIN" 1059 >/dev/null
ui click "$WIN" 1047 >/dev/null
if e2e_msgbox "$WIN" 5000; then
  expect_eq "acknowledged (caption)" "$E2E_BOX_CAPTION" "标题"
  expect_eq "acknowledged (text)" "$E2E_BOX_TEXT" "参数设定成功！"
  expect_eq "acknowledged (no owner)" "$E2E_BOX_OWNER" "0x0"
  expect_eq "acknowledged (no icon)" "$E2E_BOX_ICON" "none"
  ui answer "$E2E_BOX" >/dev/null
  e2e_ui wait-gone "$E2E_BOX" 5000 >/dev/null
else
  fail "no message after the write"
fi
line=$(tr -d '\r' <"$LOG" | grep '^rx code=0x03 ' | tail -1)
expected="rx code=0x03 name=write level=1 len=17 payload=0401020700000A00FFFFFF0101A8C0BA00"
expected+=" rs485=4 ant0=1 ant1=2 ip=10.0.0.7 mask=255.255.255.0 gateway=192.168.1.1 threshold=-70 flag=0"
expect_eq "the reader got the written record" "$line" "$expected"

echo "--- re-read"
ui click "$WIN" 1014 >/dev/null
expect_text "closed" 1014 "打开串口" 3000
expect_eq "fields emptied" "$(text_of 1058)" ""
expect_eq "apply locked again" "$(ui enabled "$WIN" 1047)" "0"
ui click "$WIN" 1014 >/dev/null
expect_text "re-read" 1058 "R7A-e2e" 8000
expect_eq "IP read back" "$(ip_of 1003)" "10.0.0.7"
expect_eq "RS485 read back" "$(text_of 1023)" "115200"
expect_eq "flag read back" "$(ui checked "$WIN" 1059)" "0"
expect_eq "two read requests" "$(rx_count 0x01)" "2"

e2e_screenshot "$shot" || true
ui close "$WIN" >/dev/null || fail "the tool did not close"
if e2e_wait tool 10; then echo "ok: the tool ended"; else fail "the tool did not end"; fi
echo "--- the reader's capture"
expect_serial_captures legacy
expect_capture_values "R7A: version, addresses and threshold" "$E2E_LOGDIR/r7a.pcap" \
  "tagserial.version_text tagserial.ip tagserial.threshold" "R7A-e2e/192.168.1.195 10.0.0.7/-70"
e2e_finish
