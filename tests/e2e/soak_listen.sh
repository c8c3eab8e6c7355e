#!/usr/bin/env bash
# Soak of the listening console: tagdesk-listen.exe under Wine takes a long
# stream of tag reports from the native software reader through a faulty
# line (loss, duplication, reordering, corruption, bursts) and one heartbeat
# silence long enough for the console to drop the link and for the reader
# to log in again. The Wine process is read from /proc (bench/proc-watch.sh)
# once a second into a CSV with the status panel's figures.
#
#   tests/e2e/soak_listen.sh BUILD_DIR [short|long]
#
# short: 100 000 reports; long: 1 000 000. 5000 tags on substations 0..33,
# SOAK_RATE reports per second (default 10000, measured as the rate Wine's
# Winsock takes here without loss; docs/reliability.md). At the end:
# - "标签总数" equals the distinct tags whose sound reports the line passed;
# - the console is linked ("已连接");
# - the first grid rows' "活跃次数" equal the sound reports the line passed
#   for those tags since the last login (nothing lost inside the host);
# - VmRSS grew by less than 1 MB after warm-up; the thread count is unchanged.
. "$(dirname "$0")/soak-lib.sh" "$@"
REPORTS=$(soak_size "${SOAK_REPORTS:-100000}" 1000000)
RATE=${SOAK_RATE:-10000}
TICK_MS=10
PER_TICK=$((RATE * TICK_MS / 1000))
SILENCE=65          # more than the console's 60-second heartbeat time-out
# Half the reports before the silence, half after the new login. The line's
# silence is periodic: it covers [SILENCE_AT, SILENCE_AT + SILENCE) of the
# reader's clock and would come back one period later, after the run ends.
HALF=$((REPORTS / RATE / 2))
[ "$HALF" -ge 4 ] || HALF=4
SILENCE_AT=$((HALF + 5))   # the first login and auth take a few seconds
WARMUP=2                   # seconds after the store filled before the memory baseline
DURATION=$((SILENCE_AT + SILENCE + 4 + HALF))
PORT=18810
SEED=${SOAK_SEED:-1}

sim=$(native_readersim "$build") || exit 1
E2E_LOGDIR=$build/e2e-logs/soak-listen-$mode
e2e_setup "$build" || exit 1
LOG=$E2E_LOGDIR
CSV=$LOG/soak-listen.csv

e2e_start console "$build/console/listen/tagdesk-listen.exe"
WIN=$(ui wait-window TAGDESKTEST 30000) || { echo "the console did not open" >&2; exit 1; }
ui set-text "$WIN" 1199 "$PORT" >/dev/null
ui click "$WIN" 1016 >/dev/null
expect_text "started" 1016 "停止" 5000
pid=${E2E_PIDS[console]}

subs=$(seq -s, 0 33)
echo "--- $REPORTS reports at $RATE/s, 5000 tags on 34 substations, silence of $SILENCE s at $SILENCE_AT s, seed $SEED"
"$sim" listen --server 127.0.0.1:$PORT --tick-ms $TICK_MS --rate $PER_TICK --tags 5000 \
  --substations "$subs" --heartbeat 1000 --login-retry 300 --relogin-misses 3 \
  --duration "$DURATION" --seed "$SEED" --loss 1 --dup 1 --corrupt 1 --reorder 8 --burst 16 \
  --silence "$SILENCE" --silence-every $((SILENCE_AT + SILENCE)) --print-sent \
  >"$LOG/reader.out" 2>"$LOG/reader.err" </dev/null &
E2E_PIDS[reader]=$!
start=$EPOCHREALTIME

# /proc is read every second. The console's panel is read every second
# until the store is full, then not until the line's silence, every second
# during it, and not after it until the reader has ended (the CSV's
# panel_read column says which rows read it; the other rows repeat the last
# reading, and are blank after the silence). Each panel read starts a
# uidriver process under Wine, and its start-up holds the Wine server up
# long enough for the console's socket buffer (512 KB, about a tenth of a
# second of reports at 10 000 a second) to overflow: with a read every
# second, two short runs in four lost one to two and a half seconds of the
# reports that the sample counts. The silence passes nothing, so reads then
# lose nothing, and they see the link go down.
echo "t_s,rss_kb,threads,tags,dropped,linked,panel_read" >"$CSV"
proc_watch_begin "$pid"
base_rss= base_threads= status= tags= dropped=
while kill -0 "${E2E_PIDS[reader]}" 2>/dev/null; do
  sleep 1
  t=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
  sec=${t%.*}
  rss=$(_proc_watch_status VmRSS) threads=$(_proc_watch_status Threads)
  read_panel=0
  if [ "$sec" -gt "$SILENCE_AT" ] && [ "$sec" -lt $((SILENCE_AT + SILENCE - 1)) ]; then
    read_panel=1
  elif [ "$sec" -lt "$SILENCE_AT" ] && [ -z "${full_at:-}" ]; then
    read_panel=1
  fi
  if [ "$read_panel" = 1 ]; then
    IFS=$'\t' read -r status tags dropped <<<"$(ui texts "$WIN" 1041 1043 1044 | paste -sd$'\t')"
  fi
  linked=0; [ "$status" = "已连接" ] && linked=1
  [ "$sec" -ge $((SILENCE_AT + SILENCE - 1)) ] && tags= dropped= linked=
  echo "$t,$rss,$threads,$tags,$dropped,$linked,$read_panel" >>"$CSV"
  # Warm-up: every tag in the store and WARMUP more seconds of reports.
  [ -z "${full_at:-}" ] && [ "${tags:-0}" = 5000 ] && full_at=$sec
  if [ -z "$base_rss" ] && [ -n "${full_at:-}" ] && [ "$sec" -ge $((full_at + WARMUP)) ]; then
    base_rss=$rss base_threads=$threads
    echo "warm-up over at $t s: VmRSS $rss KB, $threads threads, $tags tags"
  fi
done
sleep 2   # the last reports in flight, one console tick
rows=$(for r in 1 2 3 12; do grid_row "$r"; done)
IFS=$'\t' read -r status tags dropped <<<"$(ui texts "$WIN" 1041 1043 1044 | paste -sd$'\t')"
end_rss=$(_proc_watch_status VmRSS) end_threads=$(_proc_watch_status Threads)
proc_watch_end "whole run"

out=$LOG/reader.out
summary=$(tr -d '\r' <"$out" | grep '^# line ')
echo "reader: $summary"
sound_reports=$(tr -d '\r' <"$out" | grep '^tx .* code=0x24 ' )
offered_reports=$(echo "$sound_reports" | wc -l)
distinct=$(echo "$sound_reports" | grep -o ' tag=[0-9]*' | sort -u | wc -l)
echo "sound reports passed by the line: $offered_reports, distinct tags: $distinct"
expect_eq "reports offered (at least $REPORTS)" "$([ "$offered_reports" -ge "$REPORTS" ] && echo yes)" "yes"
expect_eq "the link was lost in the silence" \
  "$(awk -F, -v a=$SILENCE_AT 'NR > 1 && $1 > a && $6 == 0 { n++ } END { print (n > 0) ? "yes" : "no" }' "$CSV")" "yes"
expect_eq "logged in again" "$(tr -d '\r' <"$out" | grep -c '^# auth-ok' | awk '{ print ($1 >= 2) ? "yes" : "no" }')" "yes"
expect_eq "linked at the end" "$status" "已连接"
expect_eq "标签总数 is the distinct tags that reached the console" "$tags" "$distinct"

# 活跃次数 of the first rows against the sound reports since the last login.
last_auth=$(tr -d '\r' <"$out" | grep -n '^# auth-ok' | tail -1 | cut -d: -f1)
since=$(tr -d '\r' <"$out" | tail -n +"$last_auth" | grep '^tx .* code=0x24 ')
lost=0
while IFS='|' read -r _ _ tag _ _ _ active; do
  [ -n "$tag" ] || continue
  want=$(echo "$since" | grep -c " tag=$tag ")
  [ "$active" = "$want" ] || lost=$((lost + want - active))
  echo "  tag $tag: 活跃次数 $active, sound reports since the last login $want"
done <<<"$rows"
expect_eq "reports lost inside the host (sample of four tags)" "$lost" "0"

growth=$((end_rss - base_rss))
echo "VmRSS after warm-up $base_rss KB, at the end $end_rss KB ($growth KB); threads $base_threads -> $end_threads"
expect_eq "VmRSS growth after warm-up below 1 MB" "$([ "$growth" -lt 1024 ] && echo yes)" "yes"
expect_eq "thread count unchanged" "$end_threads" "$base_threads"
{
  echo "mode=$mode reports=$offered_reports rate=$RATE seed=$SEED distinct=$distinct shown=$tags"
  echo "$summary"
  echo "rss_base_kb=$base_rss rss_end_kb=$end_rss threads=$base_threads/$end_threads lost_in_host=$lost"
} >"$LOG/soak-listen.summary"
e2e_finish
