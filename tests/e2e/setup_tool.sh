#!/usr/bin/env bash
# End-to-end scenarios of the reader configuration tool: readersetup.exe
# under Wine talks over COM ports to software readers (native readersim on
# the Linux ends of socat pty pairs). Each port has a reader of its own
# personality, and the tool's port list picks the one a step needs:
#
#   COM1  never answers a read request
#   COM2  level 0 (the tool must refuse it)
#   COM3  model 4 (no page for it)
#   COM4  model 1, level 3, wait mode, device ID 12345
#   COM5  model 1, level 1, wait mode, device ID 777
#   COM6  model 3 (WIFI), device ID 4242
#   COM7  model 5 (domain name)
#   COM8  model 7 (wired or WIFI), WIFI chosen
#   COM9  model 1, answers 4.25 to 4.5 s after a request: after the time-out
#   COM10 model 1, answers 1.5 to 1.75 s after a request: in time, but late
#         enough to minimise the window first
#
# A page showing is refreshed by any later reply, so each of the last four
# starts the tool afresh and opens its port from the port choice.
#
#   tests/e2e/setup_tool.sh BUILD_DIR [SCREENSHOT.png]
#
# The native readersim comes from native_readersim (lib.sh).
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shot=${2:-$build/e2e-logs/setup-tool.png}
. "$here/wine-env.sh"
. "$here/lib.sh"

sim=$(native_readersim "$build") || exit 1

E2E_LOGDIR=$build/e2e-logs/setup-tool
e2e_setup "$build" || exit 1
TOOL=$build/setup/readersetup.exe

serial_reader silent COM1 --silent reply
serial_reader old COM2 --level 0
serial_reader unknown COM3 --model 4
serial_reader wired COM4 --model 1 --level 3 --connect wait --device-id 12345 --version-text V3.6-e2e
serial_reader low COM5 --model 1 --level 1 --connect wait --device-id 777 --device-name gate-1 --platform 10.0.0.7:9000
serial_reader wifi COM6 --model 3 --connect wait --device-id 4242 --ssid plant-ap --wifi-password ap-secret
serial_reader domain COM7 --model 5 --domain reader.example.net
serial_reader dual COM8 --model 7 --network wifi --ssid dual-ap --wifi-password dual-secret
serial_reader late COM9 --model 1 --tick-ms 250 --late reply --late-ticks 18
serial_reader slow COM10 --model 1 --connect wait --version-text V-slow --tick-ms 250 --late reply --late-ticks 7

rx_count() { tr -d '\r' <"$E2E_LOGDIR/$1.out" | grep -c "^rx code=$2 "; }
tx_count() { tr -d '\r' <"$E2E_LOGDIR/$1.out" | grep -c "^tx code=$2 "; }

# The tool's "提示" boxes carry the information icon.
NOTICE_ICON=information

# The window after a page has come: the centred start window, its top edge
# moved up by RISE and its height grown by GROWTH pixels.
expect_page_window() {  # WHAT RISE GROWTH
  local left top w h
  read -r left top w h <<<"$(centred 582 190)"
  expect_eq "$1" "$(ui rect "$WIN")" "$left $((top - $2)) $w $((h + $3))"
}

# The eye button 1021 beside the password 1020: it masks and unmasks the
# text, which keeps at most its first 29 bytes.
expect_eye() {  # PASSWORD_SHOWN_AFTER
  expect_eq "password masked" "$(ui password-char "$WIN" 1020)" "*"
  ui click "$WIN" 1021 >/dev/null
  expect_eq "the eye shows the password" "$(ui password-char "$WIN" 1020)" ""
  expect_eq "the password after the eye" "$(text_of 1020)" "$1"
  ui click "$WIN" 1021 >/dev/null
  expect_eq "the eye masks it again" "$(ui password-char "$WIN" 1020)" "*"
  expect_eq "the password after masking" "$(text_of 1020)" "$1"
}

start_tool() {
  e2e_start tool "$TOOL"
  WIN=$(ui wait-window readerSetupKit 30000) || { echo "the tool did not open" >&2; exit 1; }
}

# Ends the tool as the user does, by closing its window.
end_tool() {
  ui close "$WIN" >/dev/null || fail "the tool did not close"
  if e2e_wait tool 10; then echo "ok: the tool ended"; else fail "the tool did not end"; fi
}

# The last write request a reader received.
last_write() { tr -d '\r' <"$E2E_LOGDIR/$1.out" | grep '^rx code=0x03 ' | tail -1; }

expect_write() {  # WHAT READER GLOB
  local line
  line=$(last_write "$2")
  # shellcheck disable=SC2053  # the pattern is a glob on purpose
  if [[ $line == $3 ]]; then echo "ok: $1"; else fail "$1: [$line]"; fi
}

start_tool

echo "--- the port choice"
expect_eq "window centred, 582 x 190" "$(ui rect "$WIN")" "$(centred 582 190)"
expect_identity readerSetupKit__20220905_QV "102 103"
expect_eq "title" "$(ui get-text "$WIN" .)" "网络读卡器配置工具 V3.6"
expect_eq "the mapped ports are listed" "$(ui get-text "$WIN" 1001)" "COM1"
expect_eq "button" "$(text_of 1002)" "打开串口"

echo "--- a reader that never answers"
open_port 0
expect_text "port open" 1002 "关闭串口" 3000
expect_eq "list locked while open" "$(ui enabled "$WIN" 1001)" "0"
expect_box "no reply" "" "不能和设备正常通信，请检查设备是否上电" 8000
expect_text "port closed after the time-out" 1002 "打开串口" 3000
expect_eq "list enabled again" "$(ui enabled "$WIN" 1001)" "1"
expect_eq "the silent reader got one read request" "$(rx_count silent 0x01)" "1"

echo "--- a reply that comes while the time-out box shows counts as none"
start_rect=$(ui show "$WIN" restore)
open_port 8
if e2e_msgbox "$WIN" 8000; then
  expect_eq "no reply in time" "$E2E_BOX_TEXT" "不能和设备正常通信，请检查设备是否上电"
  if wait_line "$E2E_LOGDIR/late.out" '^tx code=0x02 ' 8; then echo "ok: the late reply went out"; else fail "the late reader sent no reply"; fi
  sleep 0.5  # the tool cuts it while the box shows
  ui answer "$E2E_BOX" >/dev/null
  e2e_ui wait-gone "$E2E_BOX" 5000 >/dev/null
else
  fail "no time-out message for the late reader"
fi
expect_text "the port choice shows its port closed" 1002 "打开串口" 3000
expect_eq "list enabled again" "$(ui enabled "$WIN" 1001)" "1"
expect_eq "no page for the late reply" "$(text_of 1004 2>/dev/null)" ""
expect_eq "the window keeps its size" "$(ui show "$WIN" restore)" "$start_rect"

echo "--- a reader of level 0"
open_port 1
expect_box "level 0" "提示" "网络读卡器版本低，请用旧版本的配置工具" 5000
expect_text "port closed after the refusal" 1002 "打开串口" 3000

echo "--- a reader of an unknown model"
open_port 2
if wait_line "$E2E_LOGDIR/unknown.out" '^tx code=0x02 ' 5; then echo "ok: model 4 answered"; else fail "model 4 reader sent no reply"; fi
if e2e_msgbox "$WIN" 4000 2>/dev/null; then
  fail "a message box for model 4: $E2E_BOX_TEXT"
  ui answer "$E2E_BOX" >/dev/null
else
  echo "ok: no message for model 4"
fi
expect_eq "no page for model 4" "$(text_of 1004 2>/dev/null)" ""
expect_eq "the port choice still shows" "$(text_of 1002)" "关闭串口"
ui click "$WIN" 1002 >/dev/null
expect_text "closed again" 1002 "打开串口" 3000

echo "--- model 1, level 3: page 105 with the record's values"
open_port 3
expect_text "version" 1005 "V3.6-e2e" 8000
expect_eq "MAC at level 3" "$(text_of 1030)" "02-51-56-00-00-01"
expect_eq "wait mode" "$(text_of 1016)" "等待平台连接（默认）"
expect_eq "device ID label" "$(text_of 1017)" "设备ID："
expect_eq "device ID" "$(text_of 1019)" "12345"
expect_eq "IP" "$(ui get-ip "$WIN" 1009 | cut -f1)" "192.168.1.200"
expect_eq "gateway" "$(ui get-ip "$WIN" 1007 | cut -f1)" "192.168.1.1"
expect_eq "platform controls hidden in wait mode" "$(ui visible "$WIN" 1022)" "0"
expect_eq "the page keeps the port open" "$(text_of 1002)" "关闭串口"
expect_page_window "window for page 105" 263 526
expect_eq "one read request" "$(rx_count wired 0x01)" "1"

echo "--- edit and apply"
ui set-text "$WIN" 1019 "4321" >/dev/null
ui set-ip "$WIN" 1009 192.168.1.201 >/dev/null
ui click "$WIN" 1004 >/dev/null
expect_box "applied" "提示" "配置成功" 5000
line=$(tr -d '\r' <"$E2E_LOGDIR/wired.out" | grep '^rx code=0x03 ' | tail -1)
if [[ $line == *" len=93 "*" model=1 mode=0 user=admin password=314159 "*" id=4321 dhcp=0 ip=192.168.1.201 mask=255.255.255.0 gateway=192.168.1.1 "* ]]; then
  echo "ok: the 93-byte write reached the reader"
else
  fail "write request: [$line]"
fi

echo "--- the reader's record holds the new values"
ui click "$WIN" 1002 >/dev/null
expect_text "closed" 1002 "打开串口" 3000
ui click "$WIN" 1002 >/dev/null
expect_text "re-read" 1002 "关闭串口" 3000
expect_text "device ID read back" 1019 "4321" 8000
expect_eq "IP read back" "$(ui get-ip "$WIN" 1009 | cut -f1)" "192.168.1.201"
expect_eq "two read requests" "$(rx_count wired 0x01)" "2"

echo "--- the connect-mode switch puts the record's active values in"
ui select "$WIN" 1016 1 >/dev/null || fail "cannot select active mode"
expect_eq "device name label" "$(text_of 1017)" "设备名称："
expect_eq "device name" "$(text_of 1019)" "admin"
expect_eq "platform IP shown" "$(ui visible "$WIN" 1022)" "1"
expect_eq "platform IP" "$(ui get-ip "$WIN" 1022 | cut -f1)" "192.168.1.100"
expect_eq "platform port" "$(text_of 1023)" "8800"
expect_eye "$(text_of 1020)"
ui select "$WIN" 1016 0 >/dev/null
expect_eq "wait mode again" "$(text_of 1019)" "4321"

echo "--- a check of apply: an empty device ID"
ui set-text "$WIN" 1019 "" >/dev/null
ui click "$WIN" 1004 >/dev/null
expect_box "empty ID" "" "设备ID不能为空" 5000
expect_eq "nothing written" "$(rx_count wired 0x03)" "1"

echo "--- a level-1 reader refreshes the page"
ui click "$WIN" 1002 >/dev/null
expect_text "closed" 1002 "打开串口" 3000
ui select "$WIN" 1001 4 >/dev/null || fail "cannot select COM5 on the page"
ui click "$WIN" 1002 >/dev/null
expect_text "version of the level-1 reader" 1005 "V2.14-230612" 8000
expect_eq "MAC below level 3" "$(text_of 1030)" "未识别"
expect_eq "device ID not asked below level 2" "$(text_of 1019)" "0"
ui select "$WIN" 1016 1 >/dev/null
expect_eq "its device name" "$(text_of 1019)" "gate-1"
expect_eq "its platform IP" "$(ui get-ip "$WIN" 1022 | cut -f1)" "10.0.0.7"
expect_eq "its platform port" "$(text_of 1023)" "9000"
ui select "$WIN" 1016 0 >/dev/null
expect_eq "the switch shows the record's device ID" "$(text_of 1019)" "777"

e2e_screenshot "$shot" || true
end_tool

echo "--- model 3: the WIFI page, its first reply with the window maximised"
start_tool
read -r left top width height <<<"$(ui show "$WIN" restore)"
ui show "$WIN" max >/dev/null || fail "cannot maximise"
open_port 5
expect_text "SSID" 1010 "plant-ap" 8000
expect_eq "restored, the window has grown for the page" "$(ui show "$WIN" restore)" \
  "$left $((top - 246)) $width $((height + 493))"
expect_page_window "window for page 107" 246 493
expect_eq "WIFI password in clear" "$(text_of 1011)" "ap-secret"
expect_eq "MAC at level 3" "$(text_of 1030)" "02-51-56-00-00-01"
expect_eq "device ID" "$(text_of 1019)" "4242"
expect_eq "antenna baud rate shown" "$(text_of 1013)" "115200（默认）"
expect_eq "antenna baud rate locked" "$(ui enabled "$WIN" 1013)" "0"
ui set-text "$WIN" 1010 "" >/dev/null
ui click "$WIN" 1004 >/dev/null
expect_box "empty SSID" "" "WIFI名称不能为空" 5000
ui set-text "$WIN" 1010 "工厂网络" >/dev/null
ui click "$WIN" 1004 >/dev/null
expect_box "WIFI applied" "提示" "配置成功" 5000
expect_write "the 157-byte write with the SSID in UTF-8" wifi \
  "* len=157 * model=3 mode=0 * id=4242 * ssid=\\\\xE5\\\\xB7\\\\xA5\\\\xE5\\\\x8E\\\\x82\\\\xE7\\\\xBD\\\\x91\\\\xE7\\\\xBB\\\\x9C wifi-password=ap-secret*"
end_tool

echo "--- model 5: the domain page"
start_tool
open_port 6
expect_text "device name" 1019 "admin" 8000
expect_page_window "window for page 114" 156 312
expect_eq "domain enabled" "$(ui checked "$WIN" 1029)" "1"
expect_eq "domain name" "$(text_of 1028)" "reader.example.net"
expect_eq "platform IP locked" "$(ui enabled "$WIN" 1022)" "0"
expect_eq "platform port" "$(text_of 1023)" "8800"
ui click "$WIN" 1029 >/dev/null
expect_eq "the box frees the platform IP" "$(ui enabled "$WIN" 1022)" "1"
expect_eq "and locks the domain" "$(ui enabled "$WIN" 1028)" "0"
ui click "$WIN" 1004 >/dev/null
expect_box "no platform IP" "" "平台IP格式不对" 5000
ui set-ip "$WIN" 1022 10.1.2.3 >/dev/null
ui click "$WIN" 1004 >/dev/null
expect_box "domain page applied" "提示" "配置成功" 5000
expect_write "the 133-byte write with the platform IP" domain \
  "* len=133 * model=5 user=admin password=314159 domain-on=0 * platform=10.1.2.3:8800 *"
ui set-text "$WIN" 1020 "abcdefghij0123456789ABCDEFGHIJ" >/dev/null
expect_eye "abcdefghij0123456789ABCDEFGHI"
end_tool

echo "--- model 7: the dual-network page"
start_tool
open_port 7
expect_text "SSID of the WIFI network" 1010 "dual-ap" 8000
expect_page_window "window for page 117" 246 493
expect_eq "WIFI chosen" "$(ui checked "$WIN" 1032)" "1"
expect_eq "WIFI MAC" "$(text_of 1030)" "02-51-56-00-00-02"
expect_eq "WIFI address" "$(ui get-ip "$WIN" 1009 | cut -f1)" "192.168.2.200"
ui click "$WIN" 1031 >/dev/null
expect_eq "wired chosen" "$(ui checked "$WIN" 1031)" "1"
expect_eq "SSID emptied" "$(text_of 1010)" ""
expect_eq "SSID locked" "$(ui enabled "$WIN" 1010)" "0"
expect_eq "wired MAC" "$(text_of 1030)" "02-51-56-00-00-01"
expect_eq "wired address" "$(ui get-ip "$WIN" 1009 | cut -f1)" "192.168.1.200"
ui click "$WIN" 1004 >/dev/null
expect_box "dual page applied" "提示" "配置成功" 5000
expect_write "the 164-byte write for the wired network" dual \
  "* len=164 * model=7 network=0 * ip=192.168.1.200 * wifi-ip=0.0.0.0 *"
ui click "$WIN" 1002 >/dev/null
ui click "$WIN" 1002 >/dev/null
expect_text "re-read" 1002 "关闭串口" 3000
# The re-read hides the identity until the reply shows the page again.
for ((i = 0; i < 40; i++)); do
  [ "$(ui visible "$WIN" 1019)" = 1 ] && break
  sleep 0.2
done
expect_eq "the reader now uses its wired network" "$(ui checked "$WIN" 1031)" "1"
end_tool

echo "--- replies while the window is minimised"
start_tool
read -r left top width height <<<"$(ui show "$WIN" restore)"
open_port 9
ui show "$WIN" min >/dev/null || fail "cannot minimise"
wait_line "$E2E_LOGDIR/slow.out" '^tx code=0x02 ' 5 || fail "the slow reader sent no reply"
sleep 0.5
grown="$left $((top - 263)) $width $((height + 526))"
expect_eq "restored, the window has grown for the page" "$(ui show "$WIN" restore)" "$grown"
expect_text "page 105 shows the reader" 1005 "V-slow" 3000
ui click "$WIN" 1002 >/dev/null
ui click "$WIN" 1002 >/dev/null
expect_text "re-read" 1005 "" 3000
ui show "$WIN" min >/dev/null || fail "cannot minimise"
for ((i = 0; i < 20; i++)); do
  [ "$(tx_count slow 0x02)" = 2 ] && break
  sleep 0.25
done
expect_eq "the second reply went out" "$(tx_count slow 0x02)" "2"
sleep 0.5
expect_eq "the tool still runs, restored at the page's size" "$(ui show "$WIN" restore 2>&1)" "$grown"
expect_text "the page refreshed" 1005 "V-slow" 3000
expect_eq "the page keeps the port open" "$(text_of 1002)" "关闭串口"
end_tool
echo "--- the readers' captures"
expect_serial_captures configuration
# What each reader replied, and what the tool wrote, by the model's layout.
expect_capture_values "wired: model, device ids, addresses read and written" "$E2E_LOGDIR/wired.pcap" \
  "tagserial.model tagserial.device_id tagserial.ip" "1/12345 4321/192.168.1.200 192.168.1.201"
expect_capture_values "WIFI: model, device id, network names read and written" "$E2E_LOGDIR/wifi.pcap" \
  "tagserial.model tagserial.device_id tagserial.ssid" "3/4242/plant-ap 工厂网络"
expect_capture_values "domain: model and name" "$E2E_LOGDIR/domain.pcap" \
  "tagserial.model tagserial.domain" "5/reader.example.net"
expect_capture_values "dual network: model and network name" "$E2E_LOGDIR/dual.pcap" \
  "tagserial.model tagserial.ssid" "7/dual-ap"
expect_capture_values "level-0 reader: the level of every frame" "$E2E_LOGDIR/old.pcap" "tagserial.level" "0"
e2e_finish
