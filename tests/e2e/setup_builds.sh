#!/usr/bin/env bash
# End-to-end scenarios of the older builds of the configuration tool under
# Wine against native software readers (the current build: setup_tool.sh):
#
#   COM2   model 1, level 3, wait mode, DHCP on, antenna-merge flag 1
#   COM10  model 7 (no page in V3.3 and V3.0)
#
#   tests/e2e/setup_builds.sh BUILD_DIR
#
# The native readersim comes from native_readersim (lib.sh).
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
. "$here/wine-env.sh"
. "$here/lib.sh"

sim=$(native_readersim "$build") || exit 1

E2E_LOGDIR=$build/e2e-logs/setup-builds
e2e_setup "$build" || exit 1

serial_reader wired COM2 --model 1 --level 3 --connect wait --device-id 55 --dhcp --antenna-merge 1
serial_reader dual COM10 --model 7

# The tools' "提示" boxes carry the information icon.
NOTICE_ICON=information

# The window after a page has come: the centred 582 x 190 start window, its
# top edge moved up by RISE and its height grown by GROWTH pixels.
expect_page_window() {  # WHAT RISE GROWTH
  local left top w h
  read -r left top w h <<<"$(centred 582 190)"
  expect_eq "$1" "$(ui rect "$WIN")" "$left $((top - $2)) $w $((h + $3))"
}

start_tool() {  # EXE
  e2e_start tool "$build/setup/$1"
  WIN=$(ui wait-window readerSetupKit 30000) || { echo "$1 did not open" >&2; exit 1; }
}

end_tool() {
  ui close "$WIN" >/dev/null || fail "the tool did not close"
  e2e_wait tool 10 || fail "the tool did not end"
}

echo "--- V3.5"
start_tool readersetup-v3.5.exe
expect_eq "title" "$(ui get-text "$WIN" .)" "网络读卡器配置工具 V3.5"
expect_eq "ports in the order found" "$(ui get-text "$WIN" 1001)" "COM2"
expect_eq "window centred, 582 x 190" "$(ui rect "$WIN")" "$(centred 582 190)"
expect_identity readerSetupKit__20220905_QV "102 103"
end_tool

echo "--- V3.3: a sorted port list, no page for model 7, no MAC on page 105"
start_tool readersetup-v3.3.exe
expect_eq "title" "$(ui get-text "$WIN" .)" "网络读卡器配置工具 V3.3"
expect_eq "COM10 sorts before COM2" "$(ui get-text "$WIN" 1001)" "COM10"
open_port 0
if wait_line "$E2E_LOGDIR/dual.out" '^rx code=0x01 ' 5; then echo "ok: the model-7 reader was asked"; else fail "no read request on COM10"; fi
if e2e_msgbox "$WIN" 3000 2>/dev/null; then
  fail "a message box for model 7: $E2E_BOX_TEXT"
  ui answer "$E2E_BOX" >/dev/null
else
  echo "ok: nothing for model 7"
fi
expect_eq "the port choice still shows" "$(ui get-text "$WIN" 1002)" "关闭串口"
ui click "$WIN" 1002 >/dev/null
expect_text "closed" 1002 "打开串口" 3000
open_port 1
expect_text "page 105" 1005 "V2.14-230612" 8000
expect_page_window "V3.3 window for page 105" 248 496
expect_eq "no MAC control" "$(ui find "$WIN" 1030 2>/dev/null)" ""
expect_eq "DHCP box kept" "$(ui checked "$WIN" 1012)" "1"
end_tool

echo "--- V3.0: page 105 without DHCP box, with the antenna-merge box"
start_tool readersetup-v3.0.exe
expect_eq "title" "$(ui get-text "$WIN" .)" "网络读卡器配置工具 V3.0"
open_port 1
expect_text "page 105" 1005 "V2.14-230612" 8000
expect_page_window "V3.0 window for page 105" 270 541
expect_eq "no DHCP box" "$(ui find "$WIN" 1012 2>/dev/null)" ""
expect_eq "addresses shown although the reader has DHCP on" "$(ui get-ip "$WIN" 1009 | cut -f1)" "192.168.1.200"
expect_eq "addresses editable" "$(ui enabled "$WIN" 1009)" "1"
expect_eq "merge box ticked" "$(ui checked "$WIN" 1015)" "1"
ui click "$WIN" 1015 >/dev/null
ui click "$WIN" 1004 >/dev/null
expect_box "applied" "提示" "配置成功" 5000
line=$(tr -d '\r' <"$E2E_LOGDIR/wired.out" | grep '^rx code=0x03 ' | tail -1)
if [[ $line == *" id=55 dhcp=0 ip=192.168.1.200 mask=255.255.255.0 gateway=192.168.1.1 "*" merge=0"* ]]; then
  echo "ok: DHCP 0, the shown addresses and the cleared merge flag reached the reader"
else
  fail "write request: [$line]"
fi
end_tool
echo "--- the readers' captures"
expect_serial_captures configuration
e2e_finish
