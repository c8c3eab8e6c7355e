#!/usr/bin/env bash
# End-to-end scenarios of the listening console: tagdesk-listen.exe under
# Wine on a virtual display, driven by uidriver, with the software reader
# (readersim.exe, also under Wine) logging in over loopback UDP.
#
#   tests/e2e/listen_console.sh BUILD_DIR [SCREENSHOT.png]
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shot=${2:-$build/e2e-logs/listen-console.png}
. "$here/wine-env.sh"
. "$here/lib.sh"
e2e_setup "$build" || exit 1

CONSOLE=$build/console/listen/tagdesk-listen.exe
SIM=$build/tools/readersim/readersim.exe
PORT=18800
LOG=$E2E_LOGDIR

# Starts a reader NAME with its own log; any earlier reader of that name ends.
reader() {
  local name=$1
  shift
  [ -n "${E2E_PIDS[$name]:-}" ] && kill "${E2E_PIDS[$name]}" 2>/dev/null && e2e_wait "$name" 10
  e2e_start "$name" "$SIM" listen --server 127.0.0.1:$PORT --tick-ms 250 \
    --print-sent --pcap "$(wine_pcap "$name")" "$@"
}
# Substation 0's online time in the details list, in seconds.
online_seconds() {  # DETAILS
  local h m s
  IFS=: read -r h m s <<<"$(ui list-items "$1" SysListView32 | head -1 | cut -f4)"
  echo $((10#${h:-0} * 3600 + 10#${m:-0} * 60 + 10#${s:-0}))
}
stop_reader() {
  kill "${E2E_PIDS[$1]}" 2>/dev/null
  e2e_wait "$1" 10
}

e2e_start console "$CONSOLE"
WIN=$(ui wait-window TAGDESKTEST 30000) || { echo "the console did not open" >&2; exit 1; }

echo "--- the window, its mark and icon, the about box"
expect_eq "window size" "$(ui rect "$WIN" | cut -d' ' -f3-)" "958 649"
expect_identity tagDeskNet__20190109_QV 130
expect_about /

echo "--- defaults and start refusals"
expect_eq "mode panel defaults" "$(ui texts "$WIN" 1199-1201 | paste -sd' ')" "8800 dev001 314159"
expect_eq "status before start" "$(text_of 1041)" "未连接"
expect_eq "call button before start" "$(text_of 1179)" "呼叫"
expect_eq "call button disabled" "$(ui enabled "$WIN" 1179)" "0"
ui set-text "$WIN" 1199 "" >/dev/null
expect_message "empty port" 1016 "提示" "云端端口不能为空"
ui set-text "$WIN" 1199 "-1" >/dev/null
expect_message "negative port" 1016 "提示" "云端端口格式不对"
expect_eq "port still editable" "$(ui enabled "$WIN" 1199)" "1"
ui set-text "$WIN" 1199 "$PORT" >/dev/null
ui click "$WIN" 1016 >/dev/null
expect_text "started" 1016 "停止" 5000
expect_eq "mode inputs locked" "$(ui enabled "$WIN" 1199)" "0"

echo "--- a reader logs in and reports tags 30, 20, 10"
reader main --tags 3 --first-tag 30 --tag-step 4294967286 --substations 0 \
  --states 0,2,1,3,9 --extra 0AFF --low-voltage 3
expect_text "linked" 1041 "已连接" 20000
expect_row "row 1 is tag 10" 1 '^1\|0\|10\|正常\|0a ff\|-40 / 251\|[0-9]+$' 10
expect_row "row 2 is tag 20" 2 '^2\|0\|20\|正常\|0a ff\|-40 / 251\|[0-9]+$' 5
expect_row "row 3 is tag 30, low voltage" 3 '^3\|0\|30\|欠压\|0a ff\|-40 / 251\|[0-9]+$' 5
expect_text "tag count" 1043 "3" 5000

echo "--- call refusals"
ui set-text "$WIN" 1178 "" >/dev/null
expect_message "call without tag" 1179 "提示" "请输入要呼叫的标签ID"
ui set-text "$WIN" 1178 "20" >/dev/null
ui set-text "$WIN" 1181 "34" >/dev/null
expect_message "call substation 34" 1179 "提示" "分站号不能大于33"
ui set-text "$WIN" 1181 "0" >/dev/null
ui set-check "$WIN" 1005 0 >/dev/null
expect_message "call without lamp" 1179 "" "请选择一种灯模式"
ui set-check "$WIN" 1005 1 >/dev/null

echo "--- a call with green lamp and buzzer, repeated until stopped"
ui click "$WIN" 1179 >/dev/null
expect_text "calling" 1179 "停止" 3000
sleep 3.5
ui click "$WIN" 1179 >/dev/null
expect_text "call stopped" 1179 "启动" 3000
sleep 2.5
calls=$(tr -d '\r' <"$LOG/main.out" | grep -c ' code=0x27 .* sub=0 tag=20 action=5 lamp=1 signal=green+buzzer$')
stops=$(tr -d '\r' <"$LOG/main.out" | grep -c ' code=0x27 .* sub=0 tag=20 action=1 lamp=255 signal=stop$')
last=$(tr -d '\r' <"$LOG/main.out" | grep ' code=0x27 ' | tail -1)
[ "$calls" -ge 3 ] && echo "ok: $calls call frames" || fail "only $calls call frames"
expect_eq "one stop frame" "$stops" "1"
[[ $last == *signal=stop ]] && echo "ok: the stop frame ends the call" || fail "frames after the stop: $last"

echo "--- a short message"
ui set-text "$WIN" 1193 "20" >/dev/null
ui set-text "$WIN" 1194 "0" >/dev/null
ui set-text "$WIN" 1195 "40001" >/dev/null
expect_message "message number 40001" 1197 "提示" "短信编号不能大于40000"
ui set-text "$WIN" 1195 "40000" >/dev/null
ui set-text "$WIN" 1196 "abc短信" >/dev/null
ui click "$WIN" 1197 >/dev/null
year=$(( $(date +%Y) - 2020 ))
if wait_line "$LOG/main.out" " code=0x2A .* sub=0 tag=20 msg=40000 year=$year .* textlen=7 text=616263B6CCD0C5$" 5; then
  echo "ok: short message bytes (year byte $year, 7 GBK bytes)"
else
  fail "short message not received as expected: $(tr -d '\r' <"$LOG/main.out" | grep ' code=0x2A ' | tail -1)"
fi

echo "--- substation details"
ui click "$WIN" 1198 >/dev/null
DETAILS=$(ui wait-window ':分站详情' 5000) || fail "no details window"
if [ -n "${DETAILS:-}" ]; then
  expect_details_layout "$DETAILS" "20 10 420 400" "序号	50/分站号	70/状态	150/在线时长	150"
  for ((i = 0; i < 40; i++)); do
    items=$(ui list-items "$DETAILS" SysListView32)
    [ "$(echo "$items" | wc -l)" -eq 4 ] && break
    sleep 0.25
  done
  expect_eq "details rows" "$(echo "$items" | cut -f1-3 | paste -sd'/')" \
    "1	0	正常/2	2	天线未连接/3	3	正常，但读卡器拥堵/4	4	其他故障"
  expect_eq "online times of states 1 and 9" "$(echo "$items" | sed -n '2p;4p' | cut -f4 | paste -sd' ')" "00:00:00 00:00:00"
  # The list is refilled every 3 s: substation 0's online time, which the
  # console's 1-second tick counts, moves by 3 from one refill to the next.
  # Two free-running timers can meet at a tick's edge, so an odd step is
  # measured once more.
  step=
  for attempt in 1 2; do
    first=$(online_seconds "$DETAILS")
    for ((i = 0; i < 20; i++)); do
      sleep 0.25
      now=$(online_seconds "$DETAILS")
      [ "$now" != "$first" ] && break
    done
    step=$((now - first))
    [ "$step" -eq 3 ] && break
  done
  expect_eq "online seconds between two refills" "$step" "3"
  ui close "$DETAILS" >/dev/null
fi
e2e_screenshot "$shot" && echo "screenshot: $shot"
stop_reader main

echo "--- 25 tags page 12 / 12 / 1"
reader page --tags 25 --first-tag 1
expect_text "25 tags" 1043 "25" 20000
expect_row "page 1 starts at 1" 1 '^1\|0\|1\|' 5
expect_row "page 1 ends at 12" 12 '^12\|0\|12\|' 5
ui click "$WIN" 1004 >/dev/null
expect_row "page 2 starts at 13" 1 '^13\|0\|13\|' 5
ui click "$WIN" 1004 >/dev/null
expect_row "page 3 holds 25 alone" 1 '^25\|0\|25\|' 5
expect_row "page 3 row 2 is empty" 2 '^\|\|\|\|\|\|$' 5
ui click "$WIN" 1004 >/dev/null
expect_row "no page 4" 1 '^25\|' 3
ui click "$WIN" 1042 >/dev/null
ui click "$WIN" 1042 >/dev/null
expect_row "back to page 1" 1 '^1\|0\|1\|' 5
stop_reader page

echo "--- dB / cm"
for case in "-9|-9 / 3" "-21|-21 / 43" "0|0 / 0"; do
  rssi=${case%%|*}
  shown=${case#*|}
  reader db --tags 1 --first-tag 77 --rssi "$rssi"
  expect_row "RSSI $rssi shows $shown" 1 "^1\\|0\\|77\\|正常\\|\\|$shown\\|" 15
  stop_reader db
done

echo "--- stop freezes the grid"
ui click "$WIN" 1016 >/dev/null
expect_text "stopped" 1016 "开始" 3000
expect_eq "status after stop" "$(text_of 1041)" "未连接"
before=$(grid_row 1)
[[ $before == 1\|0\|77\|* ]] && echo "ok: the last rows stay" || fail "grid emptied by the stop: [$before]"
sleep 2.5  # two ticks of a running timer would have changed the row
expect_eq "grid frozen" "$(grid_row 1)" "$before"
expect_eq "call inputs locked" "$(ui enabled "$WIN" 1178)" "0"
expect_eq "mode inputs editable" "$(ui enabled "$WIN" 1199)" "1"

ui close "$WIN" >/dev/null
e2e_wait console 10
echo "--- the readers' captures"
for name in main page; do
  expect_capture "capture of reader $name" "$LOG/$name.pcap" "$LOG/$name.out" tagnet listen
done
expect_capture_values "main capture: login, tags, RSSI, states, lamp modes, message" "$LOG/main.pcap" \
  "tagnet.login.name tagnet.tag_id tagnet.rssi tagnet.state tagnet.lamp_mode tagnet.sms.number tagnet.sms.text" \
  "dev001/30 20 10/-40/0 2 1 3 9/1 255/40000/abc短信"
expect_eq "main capture: low voltage on tag 30 only" \
  "$(capture_fields "$LOG/main.pcap" tagnet.tag_id tagnet.low_voltage | awk -F'\t' '$2 != ""' | sort -u | tr '\t' : | paste -sd' ')" \
  "10:0 20:0 30:1"
e2e_finish
