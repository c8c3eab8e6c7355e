#!/usr/bin/env bash
# Soak of the configuration tool over a faulty serial line: readersetup.exe
# under Wine against two native readers (readersim serial), a model-1 wired
# reader on COM1 and a model-3 WIFI reader on COM2, whose answers lose bytes,
# come in pieces cut at random points and are sometimes late (FAULTS below).
# A tool of its own serves each reader, side by side. Each round writes a new
# device ID with "应用" and reads the record again by closing and opening the
# port from the page. Every round must end in "配置成功" with the write in
# the reader's log byte for byte, or in the time-out message; never two boxes
# at once, never a box that stays. VmRSS and threads of each tool's Wine
# process (bench/proc-watch.sh) after the warm-up and at the end.
#
#   tests/e2e/soak_setup.sh BUILD_DIR [short|long]
#
# short: 50 rounds a reader (100 in all); long: 500 a reader (1000 in all).
. "$(dirname "$0")/soak-lib.sh" "$@"
ROUNDS=$(soak_size "${SOAK_ROUNDS:-50}" 500)   # a reader
SEED=${SOAK_SEED:-1}
TIMEOUT_TEXT="不能和设备正常通信，请检查设备是否上电"

sim=$(native_readersim "$build") || exit 1
E2E_LOGDIR=$build/e2e-logs/soak-setup-$mode
e2e_setup "$build" || exit 1
LOG=$E2E_LOGDIR
CSV=$LOG/soak-setup.csv
NOTICE_ICON=information
# The line: bytes lost (0.1 % in the short run, whose time CI counts; 0.2 %
# in the long run, about one parameter reply in five spoilt), replies in
# three pieces, one write in five cut again at random points with gaps of up
# to 80 ms (the tool gives up on a frame after a 50-ms pause), and 3 % of the
# answers late: near the tool's three-tick deadline at the wired reader (2
# ticks), past it at the WIFI reader (4 ticks).
FAULTS=(--seed "$SEED" ${SOAK_SERIAL_FAULTS:---drop-bytes $(soak_size 0.1 0.2) --split reply --split-parts 3
  --cut 20 --cut-gap-max 80 --late-pct 3})
serial_reader wired COM1 --model 1 --level 3 --connect wait --device-id 1 --version-text V3.6-soak \
  "${FAULTS[@]}" --late-ticks 2
serial_reader wifi COM2 --model 3 --level 3 --connect wait --device-id 1 --version-text V3.6-soak \
  --ssid soak-ap --wifi-password soak-secret "${FAULTS[@]}" --late-ticks 4
# The length of each reader's write request.
declare -A WRITE_LEN=([wired]=93 [wifi]=157)
# The memory baseline comes after the warm-up: the first box of each kind
# ("配置成功" and the time-out message) loads what it needs once, about
# 0.5 MB. It is taken after the first round (from round 2 on) by whose end
# both kinds have shown, or half-way when one never has.
WARMUP_ROUNDS=2
echo "reader,round,rss_kb,threads,apply,read" >"$CSV"

# Waits for one box, notes what it said, answers it and makes sure no other
# box follows it. Prints "ok", "timeout" or "other: TEXT"; "none" when no box.
one_box() {  # TIMEOUT_MS
  if ! e2e_msgbox "$WIN" "$1"; then
    echo none
    return
  fi
  local text=$E2E_BOX_TEXT try err
  # A box that stays after its answer is answered once more (and said so
  # on stderr), so that one lost click does not end the soak's count.
  # (uidriver's answer returns once the box has gone, or fails.)
  for try in 1 2; do
    err=$(e2e_ui answer "$E2E_BOX" 2>&1 >/dev/null) && break
    err="${err//$'\r'/} (exit $?)"
    echo "$name round $round: the box [$text] still shows after answer $try: $err" >&2
  done
  [ -z "$err" ] || { echo "stuck: $text"; return; }
  if e2e_msgbox "$WIN" 300 2>/dev/null; then
    echo "stacked: $text / $E2E_BOX_TEXT"
    ui answer "$E2E_BOX" >/dev/null
    return
  fi
  case $text in
    配置成功) echo ok ;;
    "$TIMEOUT_TEXT")
      # After its box the dialog closes its port: wait for that, so that the
      # next look at the page does not see the port still open.
      e2e_ui wait-text "$WIN" 1002 "打开串口" 2000 >/dev/null 2>&1
      echo timeout ;;
    *) echo "other: $text" ;;
  esac
}

# Opens the port from the page again (a few times) until "应用" can be
# pressed: a read still pending keeps it disabled, so wait for its reply or
# its time-out. Fails when the page has no open port after ten tries (a
# read of the WIFI reader fails about one time in three in the long run).
reopen_page() {
  local attempt w r
  for ((attempt = 0; attempt < 10; attempt++)); do
    [ "$(text_of 1002)" = "关闭串口" ] && [ "$(ui enabled "$WIN" 1004)" = 1 ] && return 0
    [ "$(text_of 1002)" != "关闭串口" ] && ui click "$WIN" 1002 >/dev/null
    for ((w = 0; w < 20; w++)); do
      [ "$(ui enabled "$WIN" 1004)" = 1 ] && break
      e2e_msgbox "$WIN" 250 2>/dev/null && break
    done
    if [ "$(ui enabled "$WIN" 1004)" != 1 ]; then
      r=$(one_box 5000)
      [ "$r" = none ] || [ "$r" = timeout ] || fail "$name round $round: reopening: $r"
    fi
  done
  [ "$(text_of 1002)" = "关闭串口" ] && [ "$(ui enabled "$WIN" 1004)" = 1 ]
}

# ROUNDS rounds against reader NAME, the port choice's item INDEX, in the
# tool TOOL[NAME]. Run in a subshell of its own: exits with the number of
# failed checks.
soak_reader() {  # NAME INDEX
  local name=$1 index=$2 i r round id w apply click close line read_result
  local base_rss= base_threads= base_round seen_success= seen_timeout= end_rss end_threads growth applied=0 timeouts=0 reads=0
  WIN=${TOOL[$name]}
  _proc_watch_pid=${E2E_PIDS[tool-$name]}
  # The first page: open from the port choice until a reply gets through.
  for ((i = 0; i < 10; i++)); do
    open_port "$index"
    if e2e_ui wait-text "$WIN" 1005 "V3.6-soak" 5000 >/dev/null 2>&1; then break; fi
    r=$(one_box 3000)
    [ "$r" = timeout ] || [ "$r" = none ] || fail "$name: opening: $r"
  done
  expect_text "$name: the page" 1005 "V3.6-soak" 1000
  read_result=ok
  for ((round = 1; round <= ROUNDS; round++)); do
    id=$((1000 + round))
    # After a good read the port is open on the page and "应用" can be
    # pressed; after a time-out the port is closed, so open it again. "应用"
    # is checked all the same: it has been seen disabled after
    # a good read.
    if { [ "$read_result" != ok ] || [ "$(ui enabled "$WIN" 1004)" != 1 ]; } && ! reopen_page; then
      fail "$name round $round: no page with an open port after ten tries"
      continue
    fi
    click=$(printf 'set-text %s 1019 %s\nclick %s 1004\n' "$WIN" "$id" "$WIN" | e2e_ui_script 2>&1)
    apply=$(one_box 8000)
    case $apply in
      ok)
        applied=$((applied + 1))
        line=$(tr -d '\r' <"$LOG/$name.out" | grep '^rx code=0x03 ' | tail -1)
        [[ $line == *" len=${WRITE_LEN[$name]} "*" id=$id "* ]] || fail "$name round $round: 配置成功 but the reader got [$line]" ;;
      timeout) timeouts=$((timeouts + 1)) ;;
      *)
        # What the page and the reader showed, to tell a click that was
        # refused from a request that went unanswered.
        fail "$name round $round: apply ended in [$apply]; the click said [${click//[$'\r\n']/ }]," \
          "1002 reads [$(text_of 1002)], 应用 enabled [$(ui enabled "$WIN" 1004)]," \
          "the reader's last request [$(tr -d '\r' <"$LOG/$name.out" | grep '^rx ' | tail -1)]" ;;
    esac
    # Read back: close, blank the ID (so that only a reply can put it back)
    # and open from the page. The reply shows the ID, or the tool's time-out
    # box comes three ticks after the request. After "配置成功" the port is
    # open, so the close goes in the same uidriver run; otherwise the page
    # says whether it is.
    close=
    if [ "$apply" = ok ] || [ "$(text_of 1002)" = "关闭串口" ]; then
      close="click $WIN 1002"
    fi
    printf '%s\nset-text %s 1019 ""\nclick %s 1002\n' "$close" "$WIN" "$WIN" | e2e_ui_script >/dev/null
    read_result=none
    for ((w = 0; w < 8; w++)); do
      if e2e_ui wait-text "$WIN" 1019 "$id" 1000 >/dev/null 2>&1; then
        read_result=ok reads=$((reads + 1))
        break
      fi
      if e2e_msgbox "$WIN" 100 2>/dev/null; then
        read_result=$(one_box 1000)
        break
      fi
    done
    # A write whose ack was spoilt may still have reached the reader.
    [ "$read_result" = ok ] || [ "$read_result" = timeout ] || fail "$name round $round: read ended in [$read_result]"
    echo "$name,$round,$(_proc_watch_status VmRSS),$(_proc_watch_status Threads),$apply,$read_result" >>"$CSV"
    [ "$apply" = ok ] && seen_success=1
    [ "$apply" = timeout ] || [ "$read_result" = timeout ] && seen_timeout=1
    if [ -z "$base_rss" ] && [ "$round" -ge "$WARMUP_ROUNDS" ] &&
      { [ "$seen_success$seen_timeout" = 11 ] || [ "$round" -ge $((ROUNDS / 2)) ]; }; then
      base_rss=$(_proc_watch_status VmRSS) base_threads=$(_proc_watch_status Threads) base_round=$round
    fi
  done

  end_rss=$(_proc_watch_status VmRSS) end_threads=$(_proc_watch_status Threads)
  growth=$((end_rss - base_rss))
  echo "$name: $ROUNDS rounds: $applied applied, $timeouts apply time-outs, $reads reads that showed the new ID"
  echo "$name: VmRSS $base_rss (after round $base_round) -> $end_rss KB ($growth KB), threads $base_threads -> $end_threads"
  expect_eq "$name: VmRSS growth below 1 MB" "$([ "$growth" -lt 1024 ] && echo yes)" "yes"
  expect_eq "$name: thread count unchanged" "$end_threads" "$base_threads"
  expect_eq "$name: some writes went through" "$([ "$applied" -gt 0 ] && echo yes)" "yes"
  exit "$E2E_FAILURES"
}

# One tool a reader; each window is renamed once found, so that the next
# tool's window, still with the tool's own caption, is told apart.
declare -A TOOL
title=
for name in wired wifi; do
  e2e_start "tool-$name" "$build/setup/readersetup.exe"
  TOOL[$name]=$(ui wait-window "readerSetupKit${title:+:$title}" 30000) ||
    { echo "the tool for $name did not open" >&2; exit 1; }
  [ -n "$title" ] || title=$(ui get-text "${TOOL[$name]}" .)
  ui set-text "${TOOL[$name]}" . "soak-$name" >/dev/null
done
declare -A RUN
soak_reader wired 0 >"$LOG/rounds-wired.txt" 2>&1 &
RUN[wired]=$!
soak_reader wifi 1 >"$LOG/rounds-wifi.txt" 2>&1 &
RUN[wifi]=$!
for name in wired wifi; do
  wait "${RUN[$name]}"
  E2E_FAILURES=$((E2E_FAILURES + $?))
  cat "$LOG/rounds-$name.txt"
  ui close "${TOOL[$name]}" >/dev/null
  e2e_wait "tool-$name" 10 >/dev/null || fail "$name: the tool did not end"
done
# What the line did, from each reader's summary at its end.
for name in wired wifi; do
  kill "${E2E_PIDS[reader-$name]}" 2>/dev/null
  wait "${E2E_PIDS[reader-$name]}" 2>/dev/null
  tr -d '\r' <"$LOG/$name.out" | grep '^# line ' | sed "s/^/$name: /"
done
e2e_finish
