#!/usr/bin/env bash
# End-to-end scenarios of the connecting and the legacy console: the program
# under Wine logs in to the software reader (readersim.exe under Wine,
# waiting on 127.0.0.1:4099) at the address typed into its address control.
#
#   tests/e2e/client_console.sh connect|legacy BUILD_DIR [SCREENSHOT.png]
set -u
here=$(cd "$(dirname "$0")" && pwd)
kind=$1
build=$(cd "$2" && pwd)
shot=${3:-$build/e2e-logs/$kind-console.png}
. "$here/wine-env.sh"
. "$here/lib.sh"
e2e_setup "$build" || exit 1

case $kind in
  connect) CONSOLE=$build/console/connect/tagdesk-connect.exe; MODE=direct; VERSION=4; CMDVER=4; CALL="呼叫"
    HEIGHT=649; LIST="20 10 420 400"; COLUMNS="序号	50/分站号	70/状态	150/在线时长	150" ;;
  legacy) CONSOLE=$build/console/legacy/tagdesk-legacy.exe; MODE=legacy; VERSION=; CMDVER=2; CALL="启动"
    HEIGHT=639; LIST="20 10 300 400"; COLUMNS="序号	50/分站号	70/状态	150" ;;
  *) echo "usage: $0 connect|legacy BUILD_DIR" >&2; exit 2 ;;
esac
SIM=$build/tools/readersim/readersim.exe
LOG=$E2E_LOGDIR/$kind-reader.out

e2e_start console "$CONSOLE"
WIN=$(ui wait-window TAGDESKTEST 30000) || { echo "the console did not open" >&2; exit 1; }

echo "--- $kind: the window, its mark and icon, the about box"
expect_eq "window size" "$(ui rect "$WIN" | cut -d' ' -f3-)" "958 $HEIGHT"
expect_identity tagDeskNet__20190109_QV 130
expect_about "?" esc

echo "--- $kind: defaults"
expect_eq "default reader address" "$(ui get-ip "$WIN" 1180 | cut -f1)" "192.168.1.195"
expect_eq "status before start" "$(text_of 1041)" "未连接"
expect_eq "call button before start" "$(text_of 1179)" "$CALL"
expect_eq "call button disabled" "$(ui enabled "$WIN" 1179)" "0"

echo "--- $kind: the console logs in to the reader at 127.0.0.1"
args=(--bind 127.0.0.1 --tick-ms 250 --print-sent --pcap "$(wine_pcap "$kind-reader")" --tags 3 --first-tag 30 --tag-step 4294967286 --states 0,2,1 --extra 0AFF)
[ -n "$VERSION" ] && args+=(--version "$VERSION")
e2e_start "$kind-reader" "$SIM" "$MODE" "${args[@]}"
sleep 1
ui set-ip "$WIN" 1180 127.0.0.1 >/dev/null
ui click "$WIN" 1016 >/dev/null
expect_text "started" 1016 "停止" 5000
expect_eq "address locked" "$(ui enabled "$WIN" 1180)" "0"
expect_text "linked" 1041 "已连接" 20000
expect_row "row 1 is tag 10" 1 '^1\|0\|10\|正常\|0a ff\|-40 / 251\|[0-9]+$' 10
expect_row "row 3 is tag 30" 3 '^3\|0\|30\|正常\|0a ff\|-40 / 251\|[0-9]+$' 5

echo "--- $kind: a call to tag 100 at substation 1, green lamp and buzzer"
ui set-text "$WIN" 1178 "100" >/dev/null
ui set-text "$WIN" 1181 "1" >/dev/null
ui click "$WIN" 1179 >/dev/null
expect_text "calling" 1179 "停止" 3000
sleep 2.5
ui click "$WIN" 1179 >/dev/null
expect_text "call stopped" 1179 "启动" 3000
sleep 1.5
calls=$(tr -d '\r' <"$LOG" | grep -c "^rx .* ver=$CMDVER code=0x06 .* payload=01000000640501 ")
stops=$(tr -d '\r' <"$LOG" | grep -c "^rx .* ver=$CMDVER code=0x06 .* payload=010000006401FF ")
[ "$calls" -ge 2 ] && echo "ok: $calls call frames with version byte $CMDVER" || fail "only $calls call frames"
expect_eq "one stop frame" "$stops" "1"

echo "--- $kind: a short message"
ui set-text "$WIN" 1193 "100" >/dev/null
ui set-text "$WIN" 1194 "1" >/dev/null
ui set-text "$WIN" 1195 "7" >/dev/null
ui set-text "$WIN" 1196 "abc" >/dev/null
ui click "$WIN" 1197 >/dev/null
year=$(( $(date +%Y) - 2020 ))
if [ "$kind" = legacy ]; then
  pattern="^rx .* ver=2 code=0x09 .* len=124 .* msg=7 year=$year .* textlen=3 text=616263"
else
  pattern="^rx .* ver=4 code=0x09 .* len=17 .* msg=7 year=$year .* textlen=3 text=616263"
fi
if wait_line "$LOG" "$pattern" 5; then
  echo "ok: short message bytes"
else
  fail "short message not received as expected: $(tr -d '\r' <"$LOG" | grep ' code=0x09 ' | tail -1)"
fi

echo "--- $kind: substation details"
ui click "$WIN" 1198 >/dev/null
DETAILS=$(ui wait-window ':分站详情' 5000) || fail "no details window"
if [ -n "${DETAILS:-}" ]; then
  expect_details_layout "$DETAILS" "$LIST" "$COLUMNS"
  for ((i = 0; i < 40; i++)); do
    items=$(ui list-items "$DETAILS" SysListView32)
    [ "$(echo "$items" | grep -c .)" -eq 2 ] && break
    sleep 0.25
  done
  expect_eq "details rows" "$(echo "$items" | cut -f1-3 | paste -sd'/')" "1	0	正常/2	2	天线未连接"
  ui close "$DETAILS" >/dev/null
fi
e2e_screenshot "$shot" && echo "screenshot: $shot"

echo "--- $kind: stop"
ui click "$WIN" 1016 >/dev/null
expect_text "stopped" 1016 "开始" 3000
expect_eq "status after stop" "$(text_of 1041)" "未连接"
expect_eq "address editable" "$(ui enabled "$WIN" 1180)" "1"
logins=$(tr -d '\r' <"$LOG" | grep -c "^rx .* code=0x01 ")
[ "$logins" -ge 1 ] && echo "ok: $logins login(s) received" || fail "no login received"

ui close "$WIN" >/dev/null
e2e_wait console 10
echo "--- $kind: the reader's capture"
expect_capture "capture of the reader" "$E2E_LOGDIR/$kind-reader.pcap" "$LOG" tagnet "$MODE"
expect_capture_values "capture: login, reader version, tags, substations, extra data, states, lamp modes, message" \
  "$E2E_LOGDIR/$kind-reader.pcap" \
  "tagnet.login.name tagnet.reader_version tagnet.tag_id tagnet.substation tagnet.extra tagnet.state tagnet.lamp_mode tagnet.sms.number tagnet.sms.text" \
  "admin/$VERSION/30 20 10 100/0 1/0aff/0 2 1/1 255/7/abc"
e2e_finish
