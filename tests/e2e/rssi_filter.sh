#!/usr/bin/env bash
# End-to-end scenario of the signal filter tool: rssifilter.exe under Wine
# talks over COM ports to software readers (native readersim on the Linux
# ends of socat pty pairs):
#
#   COM1  a reader whose threshold is -60
#   COM2  a reader that answers the read request but never the threshold read
#   COM3  a reader that acknowledges a threshold write with 0x04
#
# The tool reads the threshold, writes a new one (the reader's log shows the
# bytes), reads it back, refuses bad values, and reports the silent reader.
#
#   tests/e2e/rssi_filter.sh BUILD_DIR [SCREENSHOT.png]
#
# The native readersim comes from native_readersim (lib.sh).
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shot=${2:-$build/e2e-logs/rssi-filter.png}
. "$here/wine-env.sh"
. "$here/lib.sh"

sim=$(native_readersim "$build") || exit 1

E2E_LOGDIR=$build/e2e-logs/rssi-filter
e2e_setup "$build" || exit 1
TOOL=$build/rssifilter/rssifilter.exe

serial_reader filter COM1 --rssi-threshold -60 --version-text V2.14-rssi
serial_reader mute COM2 --silent rssi-reply
serial_reader plain COM3 --rssi-threshold -20 --rssi-ack 0x04

# The tool's "提示" box carries the information icon.
NOTICE_ICON=information

# Types TEXT into the threshold edit and presses "应用".
apply() {  # TEXT
  ui set-text "$WIN" 1024 "$1" >/dev/null
  ui click "$WIN" 1067 >/dev/null
}

# The reader's received lines of one command.
rx_lines() { tr -d '\r' <"$E2E_LOGDIR/$1.out" | grep "^rx code=$2 "; }

e2e_start tool "$TOOL"
WIN=$(ui wait-window CORVOLINKSDK_DEMO 30000) || { echo "the tool did not open" >&2; exit 1; }

echo "--- the closed tool"
expect_eq "title" "$(ui get-text "$WIN" .)" "RSSI阈值设置工具 V1.0"
expect_eq "window centred, 402 x 360" "$(ui rect "$WIN")" "$(centred 402 360)"
expect_identity corvoLinkTest__20170523_QV "107 108"
expect_eq "the mapped ports are listed" "$(text_of 1020)" "COM1"
expect_eq "button" "$(text_of 1014)" "打开串口"
expect_eq "threshold locked" "$(ui enabled "$WIN" 1024)" "0"

echo "--- open: the record, then the threshold"
ui click "$WIN" 1014 >/dev/null
expect_text "port open" 1014 "关闭串口" 3000
expect_text "the threshold appears" 1024 "-60" 8000
expect_eq "version" "$(text_of 1066)" "V2.14-rssi"
expect_eq "threshold free" "$(ui enabled "$WIN" 1024)" "1"
expect_eq "list locked while open" "$(ui enabled "$WIN" 1020)" "0"
expect_eq "the threshold read, byte for byte" "$(rx_lines filter 0x07 | tail -1)" \
  "rx code=0x07 name=configCmdRssiRead level=0 len=0 payload="

echo "--- bad values are refused"
apply "-128"
expect_box "below the range" "" "数值范围不对" 5000
apply "1.5"
expect_box "not a number" "" "输入格式不对" 5000
apply ""
expect_box "empty" "" "RSSI值不能为空" 5000
expect_eq "nothing written" "$(rx_lines filter 0x09)" ""

echo "--- write a new threshold"
apply "-45"
expect_box "applied" "提示" "配置成功" 5000
expect_eq "the reader got -45 (0xD3)" "$(rx_lines filter 0x09 | tail -1)" \
  "rx code=0x09 name=configCmdRssiWrite level=0 len=1 payload=D3 threshold=-45"

echo "--- a re-read shows it"
ui click "$WIN" 1014 >/dev/null
expect_text "closed" 1014 "打开串口" 3000
expect_eq "threshold locked when closed" "$(ui enabled "$WIN" 1024)" "0"
expect_eq "apply locked when closed" "$(ui enabled "$WIN" 1067)" "0"
ui set-text "$WIN" 1024 "" >/dev/null
ui click "$WIN" 1014 >/dev/null
expect_text "read back" 1024 "-45" 8000
e2e_screenshot "$shot" || true

echo "--- a reader that never answers the threshold read"
ui click "$WIN" 1014 >/dev/null
expect_text "closed" 1014 "打开串口" 3000
ui select "$WIN" 1020 1 >/dev/null || fail "cannot select COM2"
ui click "$WIN" 1014 >/dev/null
expect_text "port open" 1014 "关闭串口" 3000
expect_text "its version" 1066 "V2.14-230612" 5000
expect_box "no threshold" "" "不能和设备正常通信，请检查设备是否上电" 8000
expect_text "port closed after the time-out" 1014 "打开串口" 3000
expect_eq "list enabled again" "$(ui enabled "$WIN" 1020)" "1"
if wait_line "$E2E_LOGDIR/mute.out" '^rx code=0x07 ' 1; then echo "ok: the threshold was asked"; else fail "no threshold read at COM2"; fi

echo "--- a reader that acknowledges with 0x04"
ui select "$WIN" 1020 2 >/dev/null || fail "cannot select COM3"
ui click "$WIN" 1014 >/dev/null
expect_text "its threshold" 1024 "-20" 8000
apply "-30"
expect_box "applied, acknowledged with 0x04" "提示" "配置成功" 5000
if wait_line "$E2E_LOGDIR/plain.out" '^tx code=0x04 ' 2; then echo "ok: the reader answered 0x04"; else fail "no 0x04 from COM3"; fi

ui close "$WIN" >/dev/null || fail "the tool did not close"
if e2e_wait tool 10; then echo "ok: the tool ended"; else fail "the tool did not end"; fi
echo "--- the readers' captures"
expect_serial_captures configuration
expect_capture_values "filter: thresholds read and written (signed)" "$E2E_LOGDIR/filter.pcap" \
  "tagserial.threshold" "-60 -45"
e2e_finish
