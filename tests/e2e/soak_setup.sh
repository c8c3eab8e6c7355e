#!/usr/bin/env bash
# Soak of the configuration tool over a faulty serial line: readersetup.exe
# under Wine on COM1, a native model-1 reader (readersim serial) on the pty's
# other end whose answers lose bytes (--drop-bytes 0.2) and whose replies
# come in pieces (--split). Each round writes a new device ID with "应用"
# and reads the record again by closing and opening the port from the page. Every round
# must end in "配置成功" with the write in the reader's log byte for byte,
# or in the time-out message; never two boxes at once, never a box that
# stays. VmRSS and threads of the tool's Wine process (bench/proc-watch.sh)
# after two warm-up rounds and at the end.
#
#   tests/e2e/soak_setup.sh BUILD_DIR [short|long]
#
# short: 20 rounds; long: 1000.
. "$(dirname "$0")/soak-lib.sh" "$@"
ROUNDS=$(soak_size "${SOAK_ROUNDS:-20}" 1000)
SEED=${SOAK_SEED:-1}
TIMEOUT_TEXT="不能和设备正常通信，请检查设备是否上电"

sim=$(native_readersim "$build") || exit 1
E2E_LOGDIR=$build/e2e-logs/soak-setup-$mode
e2e_setup "$build" || exit 1
LOG=$E2E_LOGDIR
CSV=$LOG/soak-setup.csv
NOTICE_ICON=information
serial_reader wired COM1 --model 1 --level 3 --connect wait --device-id 1 --version-text V3.6-soak \
  --seed "$SEED" ${SOAK_SERIAL_FAULTS:---drop-bytes 0.2 --split reply --split-parts 3}

e2e_start tool "$build/setup/readersetup.exe"
WIN=$(ui wait-window readerSetupKit 30000) || { echo "the tool did not open" >&2; exit 1; }
pid=${E2E_PIDS[tool]}
_proc_watch_pid=$pid

# Waits for one box, notes what it said, answers it and makes sure no other
# box follows it. Prints "ok", "timeout" or "other: TEXT"; "none" when no box.
one_box() {  # TIMEOUT_MS
  if ! e2e_msgbox "$WIN" "$1"; then
    echo none
    return
  fi
  local text=$E2E_BOX_TEXT
  ui answer "$E2E_BOX" >/dev/null
  e2e_ui wait-gone "$E2E_BOX" 5000 >/dev/null || { echo "stuck: $text"; return; }
  if e2e_msgbox "$WIN" 300 2>/dev/null; then
    echo "stacked: $text / $E2E_BOX_TEXT"
    ui answer "$E2E_BOX" >/dev/null
    return
  fi
  case $text in
    配置成功) echo ok ;;
    "$TIMEOUT_TEXT") echo timeout ;;
    *) echo "other: $text" ;;
  esac
}

# The first page: open from the port choice until a reply gets through.
for ((i = 0; i < 10; i++)); do
  open_port 0
  if e2e_ui wait-text "$WIN" 1005 "V3.6-soak" 5000 >/dev/null 2>&1; then break; fi
  r=$(one_box 3000)
  [ "$r" = timeout ] || [ "$r" = none ] || fail "opening: $r"
done
expect_text "page 105" 1005 "V3.6-soak" 1000
# The baseline comes after the warm-up rounds: the first boxes of each kind
# load what they need once.
WARMUP_ROUNDS=2
base_rss= base_threads=
echo "round,rss_kb,threads,apply,read" >"$CSV"

applied=0 timeouts=0 reads=0
for ((round = 1; round <= ROUNDS; round++)); do
  id=$((1000 + round))
  # The port is open on the page; open it again when a time-out closed it.
  # A read still pending keeps "应用" disabled: wait for its reply or its
  # time-out, and open the port again (a few times) after a time-out.
  for ((attempt = 0; attempt < 5; attempt++)); do
    [ "$(text_of 1002)" = "关闭串口" ] && [ "$(ui enabled "$WIN" 1004)" = 1 ] && break
    [ "$(text_of 1002)" != "关闭串口" ] && ui click "$WIN" 1002 >/dev/null
    for ((w = 0; w < 20; w++)); do
      [ "$(ui enabled "$WIN" 1004)" = 1 ] && break
      e2e_msgbox "$WIN" 250 2>/dev/null && break
    done
    if [ "$(ui enabled "$WIN" 1004)" != 1 ]; then
      r=$(one_box 5000)
      [ "$r" = none ] || [ "$r" = timeout ] || fail "round $round: reopening: $r"
    fi
  done
  if [ "$(text_of 1002)" != "关闭串口" ] || [ "$(ui enabled "$WIN" 1004)" != 1 ]; then
    fail "round $round: no page with an open port after five tries"
    continue
  fi
  ui set-text "$WIN" 1019 "$id" >/dev/null
  ui click "$WIN" 1004 >/dev/null
  apply=$(one_box 8000)
  case $apply in
    ok)
      applied=$((applied + 1))
      line=$(tr -d '\r' <"$LOG/wired.out" | grep '^rx code=0x03 ' | tail -1)
      [[ $line == *" len=93 "*" id=$id "* ]] || fail "round $round: 配置成功 but the reader got [$line]" ;;
    timeout) timeouts=$((timeouts + 1)) ;;
    *) fail "round $round: apply ended in [$apply]" ;;
  esac
  # Read back: close, blank the ID (so that only a reply can put it back)
  # and open from the page.
  [ "$(text_of 1002)" = "关闭串口" ] && ui click "$WIN" 1002 >/dev/null
  ui set-text "$WIN" 1019 "" >/dev/null
  ui click "$WIN" 1002 >/dev/null
  read_result=none
  if e2e_ui wait-text "$WIN" 1019 "$id" 4500 >/dev/null 2>&1; then
    read_result=ok reads=$((reads + 1))
  else
    read_result=$(one_box 1000)
    # A write whose ack was spoilt may still have reached the reader.
    [ "$read_result" = timeout ] || [ "$read_result" = none ] || fail "round $round: read ended in [$read_result]"
  fi
  echo "$round,$(_proc_watch_status VmRSS),$(_proc_watch_status Threads),$apply,$read_result" >>"$CSV"
  if [ "$round" -eq "$WARMUP_ROUNDS" ]; then
    base_rss=$(_proc_watch_status VmRSS) base_threads=$(_proc_watch_status Threads)
  fi
done

end_rss=$(_proc_watch_status VmRSS) end_threads=$(_proc_watch_status Threads)
growth=$((end_rss - base_rss))
echo "$ROUNDS rounds: $applied applied, $timeouts apply time-outs, $reads reads that showed the new ID"
echo "VmRSS $base_rss -> $end_rss KB ($growth KB), threads $base_threads -> $end_threads"
tr -d '\r' <"$LOG/wired.out" | grep '^# line '
expect_eq "VmRSS growth below 1 MB" "$([ "$growth" -lt 1024 ] && echo yes)" "yes"
expect_eq "thread count unchanged" "$end_threads" "$base_threads"
expect_eq "some writes went through" "$([ "$applied" -gt 0 ] && echo yes)" "yes"
e2e_finish
