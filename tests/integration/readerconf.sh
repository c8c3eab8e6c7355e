#!/usr/bin/env bash
# readerconf against `readersim serial` on a pty pair (socat): every model
# at levels 1 to 3, refused files, a silent and a level-0 reader, a --repeat
# run of three readers, the RSSI threshold.
# Usage: readerconf.sh READERCONF READERSIM WORKDIR
set -u
RC=$1 SIM=$2 WORK=$3/readerconf-serial
rm -rf "$WORK" && mkdir -p "$WORK" || exit 1
TICK=(--tick-ms 100)  # the reply deadline: 3 ticks
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

socat pty,raw,echo=0,link="$WORK/tool" pty,raw,echo=0,link="$WORK/reader" &
SOCAT=$!
SIM_PID=
trap 'kill $SIM_PID $SOCAT 2>/dev/null; wait 2>/dev/null' EXIT
for _ in $(seq 100); do [ -e "$WORK/tool" ] && [ -e "$WORK/reader" ] && break; sleep 0.05; done

# reader OPTIONS...: a fresh reader on the pty; its lines go to $WORK/sim.out.
reader() {
  [ -n "$SIM_PID" ] && { kill "$SIM_PID"; wait "$SIM_PID" 2>/dev/null; }
  # Emptied here, not by the redirection of the background job, so the
  # wait below cannot see the ready line of the reader before.
  : >"$WORK/sim.out"
  "$SIM" serial --device "$WORK/reader" --tick-ms 10 "$@" >>"$WORK/sim.out" 2>&1 </dev/null 3>&- &
  SIM_PID=$!
  for _ in $(seq 100); do grep -q '^# readersim mode=serial' "$WORK/sim.out" && return; sleep 0.05; done
  fail "readersim $* did not start"
}
conf() { "$RC" "$@" "${TICK[@]}"; }
writes() { grep -c 'rx code=0x03' "$WORK/sim.out"; }
# The payload of the reader's last received write, as hex without blanks.
written() { grep 'rx code=0x03' "$WORK/sim.out" | tail -1 | sed 's/.*payload=\([0-9A-F]*\).*/\1/'; }
expect_rc() {  # WHAT WANT GOT
  [ "$2" = "$3" ] || fail "$1: exit $3, expected $2"
}

# ---- every model at every level -------------------------------------------
for model in 1 2 3 5 6 7 52; do
  for level in 1 2 3; do
    what="model $model level $level"
    reader --model "$model" --level "$level"
    conf read "$WORK/tool" >"$WORK/r1.json"
    expect_rc "$what: read" 0 $?
    grep -q "\"model\": $model," "$WORK/r1.json" || fail "$what: no model in $(cat "$WORK/r1.json")"
    conf write "$WORK/tool" "$WORK/r1.json" >/dev/null
    expect_rc "$what: write back" 0 $?
    conf read "$WORK/tool" >"$WORK/r2.json"
    cmp -s "$WORK/r1.json" "$WORK/r2.json" || fail "$what: record changed by writing it back"
    [ "$(writes)" = 1 ] || fail "$what: $(writes) writes"

    # An edited file: the reader receives the payload the page driver makes
    # (which the unit tests hold equal to the page's).
    sed -e 's/"device_id": [-0-9]*/"device_id": 77/' -e 's/"platform_port": [0-9]*/"platform_port": 9000/' \
      "$WORK/r1.json" >"$WORK/edit.json"
    want=$(conf write "$WORK/tool" "$WORK/edit.json" --dry-run --json | sed -n 's/.*"payload": "\(.*\)".*/\1/p' | tr -d ' ')
    conf write "$WORK/tool" "$WORK/edit.json" >/dev/null
    expect_rc "$what: edited write" 0 $?
    [ -n "$want" ] && [ "$(written)" = "$want" ] || fail "$what: wrote $(written), expected $want"
  done
done

# ---- a Chinese SSID travels in UTF-8 and reads back as written -------------
reader --model 3 --level 2
printf '{"ssid": "车间网络"}' | conf write "$WORK/tool" - >/dev/null
expect_rc "Chinese SSID" 0 $?
conf read "$WORK/tool" >"$WORK/wifi.json"
grep -q '"ssid": "车间网络"' "$WORK/wifi.json" || fail "Chinese SSID read back: $(cat "$WORK/wifi.json")"
conf write "$WORK/tool" "$WORK/wifi.json" >/dev/null
expect_rc "Chinese SSID written back" 0 $?
grep 'rx code=0x03' "$WORK/sim.out" | tail -1 | grep -q 'payload=[0-9A-F]\{178\}E8BDA6E997B4E7BD91E7BB9C00' ||
  fail "Chinese SSID: not sent in UTF-8"

# ---- refused files write nothing ------------------------------------------
reader --model 1 --level 3 --connect active
conf read "$WORK/tool" >"$WORK/active.json"
refusals=(
  '{"colour": "red"}|colour: 此型号没有这一项'
  '{"platform_port": "8800"}|platform_port: 类型不对，应为整数'
  '{"platform_port": 70000}|platform_port: 端口应在0到65535之间'
  '{"ip": "192.168.1.300"}|ip: IP格式不对'
  '{"device_name": "a-name-of-thirty-bytes-long-xx"}|device_name: 过长，最多29字节'
  '{"model": 3}|model: 与读卡器的型号（1）不同'
  '{"dhcp": false,|: JSON格式不对'
)
for entry in "${refusals[@]}"; do
  file=${entry%%|*} want=${entry#*|}
  printf '%s' "$file" | conf write "$WORK/tool" - >/dev/null 2>"$WORK/err"
  expect_rc "refusal $want" 1 $?
  grep -qF -- "$want" "$WORK/err" || fail "refusal: got '$(cat "$WORK/err")', expected '$want'"
done
[ "$(writes)" = 0 ] || fail "refused files wrote $(writes) times"

# ---- readers the tool cannot configure ------------------------------------
reader --silent reply
conf read "$WORK/tool" >/dev/null 2>&1
expect_rc "silent reader" 3 $?
reader --level 0
conf write "$WORK/tool" "$WORK/active.json" >/dev/null 2>&1
expect_rc "level 0" 3 $?
reader --model 4
conf read "$WORK/tool" >/dev/null 2>&1
expect_rc "model 4" 3 $?
reader --silent ack
conf write "$WORK/tool" "$WORK/active.json" >/dev/null 2>&1
expect_rc "unacknowledged write" 3 $?

# ---- a run of three readers, and a silent one between them ------------------
# The silent reader is not written: its row says so, and its address and ID
# go to the next reader.
echo '{"connect_mode": "wait", "rs485_baud": 9600}' >"$WORK/site.json"
rm -f "$WORK/answers" && mkfifo "$WORK/answers"
run=("--mac 02-00-00-00-00-01" "--silent reply" "--mac 02-00-00-00-00-02" "--mac 02-00-00-00-00-03")
reader ${run[0]}
conf write "$WORK/tool" "$WORK/site.json" --next-ip 10.0.0.10 --next-id 100 --repeat \
  <"$WORK/answers" >"$WORK/table" 2>"$WORK/prompts" &
RUN=$!
exec 3>"$WORK/answers"
for n in 1 2 3 4; do
  for _ in $(seq 100); do [ "$(grep -c 接下一台读卡器后按回车 "$WORK/prompts")" -ge "$n" ] && break; sleep 0.05; done
  [ "$n" -lt 4 ] && reader ${run[$n]} && echo >&3
done
echo q >&3
exec 3>&-
wait $RUN
expect_rc "repeat run" 3 $?
rows=("1 +02-00-00-00-00-01 +10\.0\.0\.10 +100 +ok"
      "2 +- +- +- +no reply"
      "3 +02-00-00-00-00-02 +10\.0\.0\.11 +101 +ok"
      "4 +02-00-00-00-00-03 +10\.0\.0\.12 +102 +ok")
for row in "${rows[@]}"; do
  grep -qE "^$row\$" "$WORK/table" || fail "repeat run: no row '$row' in: $(cat "$WORK/table")"
done
[ "$(grep -c '^[0-9]' "$WORK/table")" = 4 ] || fail "repeat run: $(cat "$WORK/table")"

# ---- the RSSI threshold ----------------------------------------------------------
reader --rssi-threshold -60
[ "$(conf threshold "$WORK/tool")" = -60 ] || fail "threshold read"
conf threshold "$WORK/tool" -45 >/dev/null
expect_rc "threshold -45" 0 $?
grep -q 'threshold=-45' "$WORK/sim.out" || fail "threshold -45 not written"
[ "$(conf threshold "$WORK/tool")" = -45 ] || fail "threshold read back"
conf threshold "$WORK/tool" 5 >/dev/null 2>"$WORK/err"
expect_rc "threshold 5" 1 $?
grep -qF 'threshold: 数值范围不对' "$WORK/err" || fail "threshold 5: $(cat "$WORK/err")"

if [ "$failures" -ne 0 ]; then
  echo "readerconf: $failures failures"
  exit 1
fi
echo "readerconf: all cases passed"
